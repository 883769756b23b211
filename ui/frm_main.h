// FrmMain, the program's only window: two option buttons choose the method and
// two push buttons each start one timed run, whose result shows in a modal
// message box titled with the program's name.
#pragma once

#include "core/runs.h"

#include <QWidget>

class QPushButton;
class QRadioButton;

namespace ui {

class FrmMain final : public QWidget, public core::RunWindow {
    Q_OBJECT

public:
    // The window of the program called programTitle, whose runs use env; its controls are made, not shown.
    explicit FrmMain(const QString& programTitle,
                     const core::RunEnvironment& env = core::RunEnvironment::system(),
                     QWidget* parent = nullptr);

    // Makes the program's folder the current directory; runs before the window is first shown.
    void Form_Load();

    bool Option1Selected() const override;
    void MsgBox(const std::u16string& prompt) override;

    QPushButton* Command1;
    QPushButton* Command2;
    QRadioButton* Option1;
    QRadioButton* Option2;

public slots:
    // Bytes-to-text run; an error ends the program through the error report.
    void Command1_Click();
    // Text-to-bytes run; an error ends the program through the error report.
    void Command2_Click();

protected:
    // Enter and keypad Enter press the focused push button, which is not a default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString programTitle_;
    core::RunEnvironment env_;
};

// Registers installed fonts for the family the option captions ask for, which Linux lacks.
void registerFontSubstitutions();

} // namespace ui
