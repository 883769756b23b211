// The error report's message box in the Qt front-end.
#include "ui/error_report.h"

#include "ui/error_text.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdlib>

namespace ui {

void showErrorReport(const QString& title, std::exception_ptr e)
{
    const QString text = QString::fromStdString(reportText(describe(e)));
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void endProgramWithFailure()
{
    QCoreApplication::exit(EXIT_FAILURE);
}

} // namespace ui
