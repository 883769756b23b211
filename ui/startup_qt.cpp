// Start-up in the Qt front-end: everything between main() and the event loop.
// Whatever keeps the toolkit from starting (no display, a platform that cannot
// start, a bad scale factor) ends the program with one paragraph on stderr and
// status 1, never with an abort: the toolkit's fatal start-up error is caught
// and told in the program's words.
#include "ui/startup.h"

#include "core/runs.h"
#include "platform/fatal_fault.h"
#include "platform/isolation/supervisor.h"
#include "platform/heap.h"
#include "ui/display.h"
#include "ui/error_report.h"
#include "platform/error_text.h"
#include "ui/frm_main.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace ui {

namespace {

const char* programName = "";
const char* programPath = "";
QtMessageHandler toolkitHandler = nullptr;
// What the toolkit said while starting, held back so that a failure is told in one paragraph.
QStringList startupMessages;
// In the image a fatal fault handed over to, the fault it reports.
const platform::RuntimeError* faultToReport = nullptr;
// The largest scale factor taken: 16 already makes the window 4992 pixels wide.
constexpr int kMaxScaleFactor = 16;

// Says what keeps the program from starting and how to start it, then ends it with status 1.
// A missing platform plugin's package is named instead.
[[noreturn]] void failToStart(const std::string& problem, const std::string& package = {})
{
    std::fprintf(stderr, "%s: impossibile avviare l'interfaccia grafica (%s).\n", programName, problem.c_str());
    if (!package.empty())
        std::fprintf(stderr, "Manca il pacchetto %s: installarlo con\n  apt-get install %s\n", package.c_str(),
                     package.c_str());
    else
        std::fprintf(stderr, "Avviare il programma in una sessione grafica, oppure senza schermo con:\n  xvfb-run %s\n",
                     programPath);
    std::fflush(stderr);
    platform::announceEnd(EXIT_FAILURE);
    std::_Exit(EXIT_FAILURE);
}

// A fatal fault's report on stderr alone, for when its box cannot be shown.
void printFaultReport(const platform::RuntimeError& error, const char* name)
{
    platform::printReport(platform::describe(error), name);
}

// During start-up the toolkit's fatal errors (no display, a platform plugin
// that cannot start) end the program as failToStart does, instead of aborting;
// the reason given is the displays it could not reach, else what it said
// before, or the error's first line. In the image reporting a fatal fault, the
// fault's report goes to stderr instead.
void onStartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        startupMessages << message;
        return;
    }
    if (faultToReport) {
        printFaultReport(*faultToReport, programName);
        std::_Exit(EXIT_FAILURE);
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string everything =
        (startupMessages.join(QLatin1Char('\n')) + QLatin1Char('\n') + message).toStdString();
    const std::string package = missingPlatformPackage(everything, wayland && *wayland);
    std::string reason = package.empty() ? displayProblem(everything, std::getenv("DISPLAY"), wayland) : "";
    if (reason.empty())
        reason = (startupMessages.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0)
                                            : startupMessages.join(QStringLiteral("; ")))
                     .toStdString();
    failToStart(reason, package);
}

// Ends start-up: the toolkit's own handler again, and what it said so far passed on to it.
void endStartup()
{
    qInstallMessageHandler(toolkitHandler);
    for (const QString& message : std::as_const(startupMessages))
        qWarning().noquote() << message;
    startupMessages.clear();
}

// Empty when QT_SCALE_FACTOR is unset or a positive finite number; otherwise what is wrong with it.
std::string scaleFactorProblem()
{
    const char* value = std::getenv("QT_SCALE_FACTOR");
    if (!value || !*value)
        return {};
    char* end = nullptr;
    const double factor = std::strtod(value, &end);
    if (*end == '\0' && std::isfinite(factor) && factor > 0 && factor <= kMaxScaleFactor)
        return {};
    return std::string("QT_SCALE_FACTOR vale '") + value + "', non un numero maggiore di 0 e al più "
           + std::to_string(kMaxScaleFactor);
}

// The program takes no command line: the toolkit sees the program's name and
// the X11 instance name, the application id, so that WM_CLASS matches the
// desktop entry on both counts.
struct ToolkitArguments {
    ToolkitArguments(char* argv0, const ProgramInfo& info) : instance(info.appId)
    {
        argv[0] = argv0;
    }
    std::string nameOption = "-name";
    std::string instance;
    int argc = 3;
    char* argv[4] = {nullptr, nameOption.data(), instance.data(), nullptr};
};

// The application's identity: the id the desktop matches its windows by (the
// X11 class and the Wayland app id), its version and its maker. Titles are
// always given, so the id is never shown.
void setIdentity(const ProgramInfo& info)
{
    QApplication::setApplicationName(QString::fromUtf8(info.appId));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(info.appId));
    QApplication::setApplicationVersion(QString::fromUtf8(info.version));
    QApplication::setOrganizationName(QString::fromUtf8(info.company));
}

// In the image a fatal fault handed over to: the report, on stderr and in
// the program's usual box (on stderr alone when the toolkit cannot start), then status 1.
int reportFatalFault(const platform::RuntimeError& error, char* argv0, const ProgramInfo& info)
{
    if (!scaleFactorProblem().empty()) {
        printFaultReport(error, info.name);
        return EXIT_FAILURE;
    }
    programName = info.name;
    faultToReport = &error;
    ToolkitArguments arguments(argv0, info);
    toolkitHandler = qInstallMessageHandler(onStartupMessage);
    QApplication app(arguments.argc, arguments.argv);
    endStartup();
    setIdentity(info);
    showErrorReport(QString::fromUtf8(info.name), std::make_exception_ptr(error));
    return EXIT_FAILURE;
}

// The program itself, in the supervised child: the window until it is closed.
int runWindow(char* argv[], const ProgramInfo& info)
{
    platform::superviseProcess();
    programName = info.name;
    programPath = argv[0];
    if (const std::string problem = scaleFactorProblem(); !problem.empty())
        failToStart(problem);

    ToolkitArguments arguments(argv[0], info);
    toolkitHandler = qInstallMessageHandler(onStartupMessage);
    QApplication app(arguments.argc, arguments.argv);
    setIdentity(info);
    registerFontSubstitutions();

    const QString title = QString::fromUtf8(info.name);
    std::optional<FrmMain> window;
    if (!runReportingErrors(title, [&] {
            window.emplace(title);
            window->Form_Load();
        }))
        return EXIT_FAILURE;
    window->show();
    core::prepareProcessLibrary();
    endStartup();
    if (info.quitWhenShown)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}

} // namespace

int runProgram(int, char* argv[], const ProgramInfo& info)
{
    platform::keepFreedMemory();
    const auto fault = platform::prepareProcess();
    const int status = fault ? reportFatalFault(*fault, argv[0], info) : runWindow(argv, info);
    platform::announceEnd(status);
    return status;
}

} // namespace ui
