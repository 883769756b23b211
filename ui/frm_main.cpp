// The main window's controls, their layout in pixels at 96 dpi (Qt scales them
// on denser screens), and its event procedures.
#include "ui/frm_main.h"

#include "platform/folders.h"
#include "ui/error_report.h"

#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace ui {

namespace {

// The family the option captions ask for; start-up substitutes an installed one.
const QString kOptionFamily = QStringLiteral("MS Sans Serif");

QPushButton* pushButton(QWidget* parent, const char* caption, QRect rect)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setGeometry(rect);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QRadioButton* optionButton(QWidget* parent, const char* caption, QRect rect)
{
    auto* b = new QRadioButton(QString::fromUtf8(caption), parent);
    QFont font(kOptionFamily);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Bold);
    b->setFont(font);
    b->setGeometry(rect);
    return b;
}

} // namespace

void registerFontSubstitutions()
{
    // Liberation Sans has the proportions of the sans-serif the captions were
    // drawn with; DejaVu Sans is the fallback every Debian desktop has.
    QFont::insertSubstitutions(kOptionFamily,
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

FrmMain::FrmMain(const QString& programTitle, const core::RunEnvironment& env, QWidget* parent)
    : QWidget(parent), programTitle_(programTitle), env_(env)
{
    setWindowTitle(QStringLiteral("Verifica Conversione & Prestazioni"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-16.png"));
    icon.addFile(QStringLiteral(":/icon-32.png"));
    setWindowIcon(icon);
    resize(312, 213);

    // Created in tab order, which is also the focus chain.
    Command1 = pushButton(this, "Quendril", {32, 80, 121, 33});
    Command2 = pushButton(this, "StringToArray", {32, 120, 121, 33});
    Option1 = optionButton(this, "Utilizza la DLL", {32, 8, 209, 33});
    Option2 = optionButton(this, "Utilizza il Codice VB", {32, 40, 225, 25});
    Option1->setChecked(true);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &FrmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmMain::Command2_Click);
}

void FrmMain::Form_Load()
{
    platform::setCurrentDirectory(platform::programFolder());
}

bool FrmMain::Option1Selected() const
{
    return Option1->isChecked();
}

void FrmMain::MsgBox(const std::u16string& prompt)
{
    QString text = QString::fromStdU16String(prompt);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, programTitle_, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void FrmMain::Command1_Click()
{
    runReportingErrors(programTitle_, [this] { core::Command1_Click(*this, env_); });
}

void FrmMain::Command2_Click()
{
    runReportingErrors(programTitle_, [this] { core::Command2_Click(*this, env_); });
}

} // namespace ui
