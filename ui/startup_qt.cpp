// Start-up in the Qt front-end: everything between main() and the event loop.
// Whatever keeps the toolkit from starting (no display, a platform that cannot
// start, a bad scale factor) ends the program with one paragraph on stderr and
// status 1, never with an abort.
#include "ui/startup.h"

#include "platform/fatal_fault.h"
#include "platform/heap.h"
#include "ui/display.h"
#include "ui/error_report.h"
#include "ui/error_text.h"
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
// The largest scale factor taken: 16 already makes the window 4992 pixels wide.
constexpr int kMaxScaleFactor = 16;

// Says what keeps the program from starting and how to start it, then ends it with status 1.
// A missing platform plugin's package is named instead.
[[noreturn]] void failToStart(const std::string& problem, const std::string& package = {})
{
    if (!package.empty()) {
        std::fprintf(stderr,
                     "%s: impossibile avviare l'interfaccia grafica (%s).\n"
                     "Manca il pacchetto %s: installarlo con\n"
                     "  apt-get install %s\n",
                     programName, problem.c_str(), package.c_str(), package.c_str());
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    std::fprintf(stderr,
                 "%s: impossibile avviare l'interfaccia grafica (%s).\n"
                 "Avviare il programma in una sessione grafica, oppure senza schermo con:\n"
                 "  xvfb-run %s\n",
                 programName, problem.c_str(), programPath);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

// During start-up the toolkit's fatal errors (a platform plugin that cannot
// start, say) end the program as failToStart does, instead of aborting; the
// reason given is what the toolkit said before, or the error's first line.
void onStartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        startupMessages << message;
        return;
    }
    const QString reason = startupMessages.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0)
                                                     : startupMessages.join(QStringLiteral("; "));
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const QString everything = startupMessages.join(QLatin1Char('\n')) + QLatin1Char('\n') + message;
    failToStart(reason.toStdString(), missingPlatformPackage(everything.toStdString(), wayland && *wayland));
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
// the program's usual box, then status 1.
int reportFatalFault(const platform::RuntimeError& error, char* argv0, const ProgramInfo& info)
{
    if (!displayProblem().empty() || !scaleFactorProblem().empty()) {
        printReport({error.number(), error.description().c_str(), ""}, info.name);
        return EXIT_FAILURE;
    }
    ToolkitArguments arguments(argv0, info);
    QApplication app(arguments.argc, arguments.argv);
    setIdentity(info);
    showErrorReport(QString::fromUtf8(info.name), std::make_exception_ptr(error));
    return EXIT_FAILURE;
}

} // namespace

int runProgram(int, char* argv[], const ProgramInfo& info)
{
    platform::keepFreedMemory();
    if (const auto fault = platform::prepareProcess())
        return reportFatalFault(*fault, argv[0], info);
    programName = info.name;
    programPath = argv[0];
    if (const std::string problem = displayProblem(); !problem.empty())
        failToStart(problem);
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
    endStartup();
    if (info.quitWhenShown)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}

} // namespace ui
