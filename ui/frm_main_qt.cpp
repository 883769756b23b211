// The main window in Qt: its controls made from the shared design, laid out
// in pixels at 96 dpi (Qt scales them on denser screens), and its event
// procedures.
#include "ui/frm_main.h"

#include "platform/folders.h"
#include "ui/error_report.h"
#include "ui/form_design.h"

#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace ui {

namespace {

// Qt's pixels are those of a 96 dpi screen.
constexpr int kQtDpi = 96;

int pixels(int twips)
{
    return design::toPixels(twips, kQtDpi);
}

// The control a design entry describes, made as a child of parent.
QAbstractButton* makeControl(QWidget* parent, const design::Control& c)
{
    QAbstractButton* b = nullptr;
    const QString caption = QString::fromUtf8(c.caption);
    if (c.kind == design::Kind::PushButton) {
        auto* push = new QPushButton(caption, parent);
        push->setAutoDefault(false);
        push->setDefault(false);
        b = push;
    } else {
        b = new QRadioButton(caption, parent);
    }
    if (c.font) {
        QFont font(QString::fromUtf8(c.font->family));
        font.setPointSizeF(c.font->pointSize);
        font.setWeight(static_cast<QFont::Weight>(c.font->weight));
        b->setFont(font);
    }
    b->setGeometry(pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height));
    return b;
}

} // namespace

void registerFontSubstitutions()
{
    // Liberation Sans has the proportions of the sans-serif the captions were
    // drawn with; DejaVu Sans is the fallback every Debian desktop has.
    QFont::insertSubstitutions(QString::fromUtf8(design::kOptionFont.family),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

FrmMain::FrmMain(const QString& programTitle, const core::RunEnvironment& env, QWidget* parent)
    : QWidget(parent), programTitle_(programTitle), env_(env)
{
    setWindowTitle(QString::fromUtf8(design::kCaption));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-16.png"));
    icon.addFile(QStringLiteral(":/icon-32.png"));
    setWindowIcon(icon);
    resize(pixels(design::kClientWidth), pixels(design::kClientHeight));

    // Created in tab order, which is also the focus chain.
    std::array<QAbstractButton*, design::kControls.size()> made{};
    for (std::size_t i = 0; i < made.size(); ++i)
        made[i] = makeControl(this, design::kControls[i]);
    Command1 = static_cast<QPushButton*>(made[design::Command1]);
    Command2 = static_cast<QPushButton*>(made[design::Command2]);
    Option1 = static_cast<QRadioButton*>(made[design::Option1]);
    Option2 = static_cast<QRadioButton*>(made[design::Option2]);
    made[design::kSelectedAtStart]->setChecked(true);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &FrmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &FrmMain::Command2_Click);
}

void FrmMain::Form_Load()
{
    platform::setCurrentDrive(platform::programFolder());
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
    copyTextOnCtrlC(box);
    box.exec();
}

void FrmMain::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget* focus = focusWidget();
    if (enter && event->modifiers() == Qt::NoModifier && (focus == Command1 || focus == Command2)) {
        static_cast<QPushButton*>(focus)->click();
        return;
    }
    QWidget::keyPressEvent(event);
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
