// The main window on the offscreen platform: layout, captions, fonts, option
// group, focus, its load procedure, both buttons with both methods, and the
// error report. Modal boxes are caught by a polling timer with a deadline.
#include "core/quendril_library.h"
#include "tests/test_support.h"
#include "ui/error_report.h"
#include "ui/display.h"
#include "platform/error_text.h"
#include "ui/frm_main.h"

#include <QAbstractButton>
#include <QDir>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using ui::FrmMain;

namespace {

// Waits for the next modal message box, records what it shows and presses OK.
// A box that does not appear within the deadline leaves `seen` false.
class ModalCatcher : public QObject {
public:
    ModalCatcher()
    {
        connect(&timer_, &QTimer::timeout, this, &ModalCatcher::poll);
        clock_.start();
        timer_.start(20);
    }

    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;

private:
    void poll()
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = true;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            timer_.stop();
            box->button(QMessageBox::Ok)->click();
        } else if (clock_.elapsed() > 10000) {
            timer_.stop();
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    }

    QTimer timer_;
    QElapsedTimer clock_;
};

// How long a window may take to become active: the bound only ends a wait for
// one that never does, so a busy machine cannot reach it.
constexpr int kActivationMs = 60000;

const QRegularExpression kTime(QStringLiteral("^impiegati -?\\d+[.,]\\d{3} sec\\.$"));

} // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::registerFontSubstitutions(); }

    void layoutMatchesTheDesign()
    {
        FrmMain w(QStringLiteral("Tarmelo"));
        QCOMPARE(w.size(), QSize(312, 213));
        QCOMPARE(w.Option1->geometry(), QRect(32, 8, 209, 33));
        QCOMPARE(w.Option2->geometry(), QRect(32, 40, 225, 25));
        QCOMPARE(w.Command1->geometry(), QRect(32, 80, 121, 33));
        QCOMPARE(w.Command2->geometry(), QRect(32, 120, 121, 33));
        for (QWidget* c : {static_cast<QWidget*>(w.Command1), static_cast<QWidget*>(w.Command2),
                           static_cast<QWidget*>(w.Option1), static_cast<QWidget*>(w.Option2)})
            QCOMPARE(c->parentWidget(), &w);
    }

    void captionsAreExactWithNoAccessKeys()
    {
        FrmMain w(QStringLiteral("Tarmelo"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Verifica Conversione & Prestazioni"));
        QCOMPARE(w.Option1->text(), QStringLiteral("Utilizza la DLL"));
        QCOMPARE(w.Option2->text(), QStringLiteral("Utilizza il Codice VB"));
        QCOMPARE(w.Command1->text(), QStringLiteral("Quendril"));
        QCOMPARE(w.Command2->text(), QStringLiteral("StringToArray"));
        for (QAbstractButton* b : {static_cast<QAbstractButton*>(w.Command1),
                                   static_cast<QAbstractButton*>(w.Command2),
                                   static_cast<QAbstractButton*>(w.Option1),
                                   static_cast<QAbstractButton*>(w.Option2)})
            QVERIFY(b->shortcut().isEmpty());
        QVERIFY(!w.Command1->isDefault() && !w.Command1->autoDefault());
        QVERIFY(!w.Command2->isDefault() && !w.Command2->autoDefault());
        QVERIFY(!w.windowIcon().isNull());
    }

    void optionFontsResolveToAnInstalledSansAndCaptionsFit()
    {
        FrmMain w(QStringLiteral("Tarmelo"));
        for (QRadioButton* o : {w.Option1, w.Option2}) {
            QCOMPARE(o->font().family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(o->font().pointSizeF(), 9.75);
            QCOMPARE(o->font().weight(), QFont::Bold);
            const QString real = QFontInfo(o->font()).family();
            QVERIFY2(real == QStringLiteral("Liberation Sans") || real == QStringLiteral("DejaVu Sans"),
                     qPrintable(real));
            QVERIFY2(o->sizeHint().width() <= o->width(), qPrintable(o->text()));
            QVERIFY2(o->sizeHint().height() <= o->height(), qPrintable(o->text()));
        }
        for (QPushButton* b : {w.Command1, w.Command2}) {
            QCOMPARE(b->font(), w.font());
            QVERIFY2(b->sizeHint().width() <= b->width(), qPrintable(b->text()));
        }
    }

    void iconGroupHoldsTheThreeImages()
    {
        QFile ico(QStringLiteral(RESOURCES_DIR "/icon.ico"));
        QVERIFY(ico.open(QIODevice::ReadOnly));
        const QByteArray data = ico.readAll();
        QVERIFY(data.size() > 6 + 3 * 16);
        const auto u16 = [&](int at) { return quint8(data[at]) | quint8(data[at + 1]) << 8; };
        QCOMPARE(u16(0), 0); // reserved
        QCOMPARE(u16(2), 1); // icon
        QCOMPARE(u16(4), 3); // images
        struct Image {
            int size, colours, bits;
        };
        const Image expected[] = {{32, 2, 1}, {32, 16, 4}, {16, 16, 4}};
        for (int i = 0; i < 3; ++i) {
            const int entry = 6 + 16 * i;
            QCOMPARE(int(quint8(data[entry])), expected[i].size);
            QCOMPARE(int(quint8(data[entry + 1])), expected[i].size);
            QCOMPARE(int(quint8(data[entry + 2])), expected[i].colours);
            QCOMPARE(u16(entry + 6), expected[i].bits);
        }
    }

    void optionsFormOneExclusiveGroup()
    {
        FrmMain w(QStringLiteral("Tarmelo"));
        QVERIFY(w.Option1->isChecked() && !w.Option2->isChecked());
        QVERIFY(w.Option1Selected());
        w.Option2->click();
        QVERIFY(!w.Option1->isChecked() && w.Option2->isChecked());
        QVERIFY(!w.Option1Selected());
        w.Option1->click();
        QVERIFY(w.Option1->isChecked() && !w.Option2->isChecked());
    }

    void tabOrderStartsAtCommand1WhichHoldsTheFocus()
    {
        FrmMain w(QStringLiteral("Tarmelo"));
        QCOMPARE(w.nextInFocusChain(), static_cast<QWidget*>(w.Command1));
        QCOMPARE(w.Command1->nextInFocusChain(), static_cast<QWidget*>(w.Command2));
        QCOMPARE(w.Command2->nextInFocusChain(), static_cast<QWidget*>(w.Option1));
        QCOMPARE(w.Option1->nextInFocusChain(), static_cast<QWidget*>(w.Option2));
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w, kActivationMs));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.Command1));
    }

    void formLoadMakesTheProgramsFolderCurrent()
    {
        testing_support::TempFolder elsewhere;
        testing_support::CurrentDirectory cwd(elsewhere.path());
        FrmMain w(QStringLiteral("Tarmelo"));
        w.Form_Load();
        QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
    }

    void bothButtonsWithBothMethodsShowTheirResult_data()
    {
        QTest::addColumn<bool>("library");
        QTest::newRow("Utilizza la DLL") << true;
        QTest::newRow("Utilizza il Codice VB") << false;
    }

    void bothButtonsWithBothMethodsShowTheirResult()
    {
        QFETCH(bool, library);
        FrmMain w(QStringLiteral("Fesdrin"));
        (library ? w.Option1 : w.Option2)->click();

        ModalCatcher first;
        w.Command1->click();
        QVERIFY(first.seen);
        QCOMPARE(first.title, QStringLiteral("Fesdrin"));
        QCOMPARE(first.icon, QMessageBox::NoIcon);
        QCOMPARE(first.buttons, 1);
        const QStringList lines = first.text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral(" 50000"));
        QVERIFY2(kTime.match(lines[1]).hasMatch(), qPrintable(lines[1]));

        ModalCatcher second;
        w.Command2->click();
        QVERIFY(second.seen);
        QCOMPARE(second.title, QStringLiteral("Fesdrin"));
        QVERIFY2(kTime.match(second.text).hasMatch(), qPrintable(second.text));
    }

    void inProgramMethodNeedsNoLibrary()
    {
        core::QuendrilLibrary absent(testing_support::kFakes + "/empty", testing_support::kAbsentLibrary);
        const core::RunEnvironment env{&absent, core::systemTicks(), u".", platform::ansiCodePage()};
        FrmMain w(QStringLiteral("Tarmelo"), env);
        w.Option2->click();
        ModalCatcher one;
        w.Command1->click();
        QVERIFY(one.seen);
        QVERIFY(one.text.startsWith(QStringLiteral(" 50000\n")));
        ModalCatcher two;
        w.Command2->click();
        QVERIFY(two.seen);
    }

    void enterPressesTheFocusedPushButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }

    void enterPressesTheFocusedPushButton()
    {
        QFETCH(int, key);
        FrmMain w(QStringLiteral("Tarmelo"));
        w.Option2->click();
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w, kActivationMs));
        w.Command2->setFocus();
        ModalCatcher box;
        QTest::keyClick(w.Command2, static_cast<Qt::Key>(key));
        QVERIFY(box.seen);
        QVERIFY2(kTime.match(box.text).hasMatch(), qPrintable(box.text));
        QVERIFY(!w.Command2->isDefault());
    }

    void missingPlatformPluginNamesItsPackage_data()
    {
        QTest::addColumn<QString>("messages");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<QString>("package");
        const QString notFound = "Could not find the Qt platform plugin \"%1\" in \"\"\nThis application failed to start";
        const QString found = "could not connect to display \nCould not load the Qt platform plugin \"xcb\" in \"\" even "
                              "though it was found.\nAvailable platform plugins are: %1.\n\nReinstalling may fix this.";
        QTest::newRow("x11 plugin missing") << notFound.arg("xcb") << false << VC_X11_PLUGIN_PACKAGE;
        QTest::newRow("wayland plugin missing") << notFound.arg("wayland") << true << VC_WAYLAND_PLUGIN_PACKAGE;
        QTest::newRow("wayland session, no wayland plugin")
            << found.arg("eglfs, minimal, offscreen, xcb") << true << VC_WAYLAND_PLUGIN_PACKAGE;
        QTest::newRow("wayland session, wayland plugin there")
            << found.arg("eglfs, wayland-egl, wayland, xcb") << true << "";
        QTest::newRow("no display, nothing missing") << found.arg("eglfs, minimal, offscreen, xcb") << false << "";
    }

    void missingPlatformPluginNamesItsPackage()
    {
        QFETCH(QString, messages);
        QFETCH(bool, wayland);
        QFETCH(QString, package);
        QCOMPARE(QString::fromStdString(ui::missingPlatformPackage(messages.toStdString(), wayland)), package);
    }

    void unreachableDisplaysAreNamed_data()
    {
        QTest::addColumn<QString>("messages");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("problem");
        const QString x11 = "could not connect to display %1\nCould not load the Qt platform plugin \"xcb\"";
        const QString both = "Failed to create wl_display (No such file or directory)\n" + x11;
        QTest::newRow("DISPLAY unset") << x11.arg("") << QString() << QString()
                                       << "la variabile DISPLAY non è impostata";
        QTest::newRow("no X server") << x11.arg(":9999") << ":9999" << QString()
                                     << "impossibile collegarsi allo schermo ':9999'";
        QTest::newRow("no compositor, DISPLAY unset")
            << both.arg("") << QString() << "nothing"
            << "impossibile collegarsi al compositore Wayland 'nothing'; la variabile DISPLAY non è impostata";
        QTest::newRow("no compositor alone") << "Failed to create wl_display (Connection refused)" << ":0"
                                             << "wayland-1" << "impossibile collegarsi al compositore Wayland 'wayland-1'";
        QTest::newRow("a plugin not found") << "Could not find the Qt platform plugin \"bogus\" in \"\"" << ":0"
                                            << "wayland-0" << "";
    }

    void unreachableDisplaysAreNamed()
    {
        QFETCH(QString, messages);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, problem);
        const QByteArray x = display.toUtf8(), w = wayland.toUtf8();
        const std::string found = ui::displayProblem(messages.toStdString(), display.isNull() ? nullptr : x.constData(),
                                                     wayland.isNull() ? nullptr : w.constData());
        QCOMPARE(QString::fromStdString(found), problem);
    }

    void reportGoesToStderrWhenItsBoxCannotBeMade()
    {
        testing_support::TempFolder folder;
        const std::string path = (folder.path() / "stderr").string();
        std::fflush(stderr);
        const int saved = dup(fileno(stderr));
        QVERIFY(std::freopen(path.c_str(), "w", stderr));
        ui::showErrorReport(QStringLiteral("Tarmelo"),
                            std::make_exception_ptr(platform::RuntimeError(platform::kFileNotFound, platform::Message::libraryNotFound, {"manca"})),
                            [](const QString&, const QString&) { throw std::bad_alloc(); });
        std::fflush(stderr);
        dup2(saved, fileno(stderr));
        close(saved);
        QFile written(QString::fromStdString(path));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("Errore di run-time '53': impossibile trovare la libreria 'manca'\n"));
    }

    void reportNamesNumberAndDescriptionOfAnyException()
    {
        const auto of = [](auto e) { return platform::describe(std::make_exception_ptr(e)); };
        QCOMPARE(of(platform::RuntimeError(platform::kSubscriptOutOfRange, platform::Message::subscriptOutOfRange)).number, 9);
        QCOMPARE(of(std::bad_alloc()).number, 7);
        QCOMPARE(of(std::runtime_error("x")).number, 51);
        QCOMPARE(platform::reportText({6, {platform::Message::overflow}, std::nullopt}),
                 std::string("Errore di run-time '6':\n\nOverflow: il risultato non sta in un intero a 32 bit"));
    }

    // Last: once the program is asked to end, no later event loop runs in this process.
    void errorInARunIsReportedAndEndsTheProgramWithFailure()
    {
        core::QuendrilLibrary absent(testing_support::kFakes + "/empty", testing_support::kAbsentLibrary);
        const core::RunEnvironment env{&absent, core::systemTicks(), u".", platform::ansiCodePage()};
        FrmMain w(QStringLiteral("Tarmelo"), env);

        ModalCatcher report;
        QEventLoop loop;
        QTimer::singleShot(0, &w, [&] { w.Command1->click(); });
        QTimer::singleShot(15000, &loop, [&] { loop.exit(99); });
        QCOMPARE(loop.exec(), EXIT_FAILURE);
        QVERIFY(report.seen);
        QCOMPARE(report.title, QStringLiteral("Tarmelo"));
        QVERIFY2(report.text.startsWith(QStringLiteral("Errore di run-time '53':")), qPrintable(report.text));
        QVERIFY(report.text.contains(QString::fromStdString(testing_support::kAbsentLibrary)));
    }
};

QTEST_MAIN(FrmMainTest)
#include <frm_main_test.moc>
