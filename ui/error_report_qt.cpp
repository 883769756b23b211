// The error report's message box in the Qt front-end, with stderr as its
// fallback when the box itself cannot be made.
#include "ui/error_report.h"

#include "platform/error_text.h"

#include <QCoreApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShortcut>

#include <cstdlib>

namespace ui {

namespace {

void showBox(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    copyTextOnCtrlC(box);
    box.exec();
}

} // namespace

void copyTextOnCtrlC(QMessageBox& box)
{
    auto* copy = new QShortcut(QKeySequence::Copy, &box);
    QObject::connect(copy, &QShortcut::activated, &box, [&box] { QGuiApplication::clipboard()->setText(box.text()); });
}

void showErrorReport(const QString& title, std::exception_ptr e, ReportBox box) noexcept
{
    const platform::ReportedError error = platform::describe(e);
    try {
        box(title, QString::fromStdString(platform::reportText(error)));
    } catch (...) {
        platform::printReport(error);
    }
}

void showErrorReport(const QString& title, std::exception_ptr e) noexcept
{
    // Also on stderr, for whoever started the program from a terminal or a script.
    platform::printReport(platform::describe(e), title.toLocal8Bit().constData());
    showErrorReport(title, std::move(e), showBox);
}

void endProgramWithFailure()
{
    QCoreApplication::exit(EXIT_FAILURE);
}

} // namespace ui
