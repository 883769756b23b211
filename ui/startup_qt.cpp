// Start-up: everything between main() and the event loop.
#include "ui/startup.h"

#include "ui/display.h"
#include "ui/error_report.h"
#include "ui/frm_main.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace ui {

int runProgram(int argc, char* argv[], const ProgramInfo& info)
{
    if (const std::string problem = displayProblem(argc, argv); !problem.empty()) {
        std::fprintf(stderr,
                     "%s: nessuno schermo grafico raggiungibile (%s).\n"
                     "Avviare il programma in una sessione grafica, oppure senza schermo con:\n"
                     "  xvfb-run %s\n",
                     info.name, problem.c_str(), argv[0]);
        return EXIT_FAILURE;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(info.name));
    QApplication::setApplicationVersion(QString::fromUtf8(info.version));
    QApplication::setOrganizationName(QString::fromUtf8(info.company));
    registerFontSubstitutions();

    const QString title = QString::fromUtf8(info.name);
    std::optional<FrmMain> window;
    if (!runReportingErrors(title, [&] {
            window.emplace(title);
            window->Form_Load();
        }))
        return EXIT_FAILURE;
    window->show();
    if (info.quitWhenShown)
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}

} // namespace ui
