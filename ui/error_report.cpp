// The error report's wording and its message box.
#include "ui/error_report.h"

#include "platform/runtime_error.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdlib>
#include <new>

namespace ui {

ReportedError describe(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const platform::RuntimeError& err) {
        return {err.number(), QString::fromStdString(err.description())};
    } catch (const std::bad_alloc&) {
        return {platform::kOutOfMemory, QString::fromUtf8(platform::kOutOfMemoryDescription)};
    } catch (const std::exception& err) {
        return {platform::kInternalError, QStringLiteral("Errore interno: ") + QString::fromUtf8(err.what())};
    } catch (...) {
        return {platform::kInternalError, QStringLiteral("Errore interno sconosciuto")};
    }
}

QString reportText(const ReportedError& error)
{
    return QStringLiteral("Errore di run-time '%1':\n\n%2").arg(error.number).arg(error.description);
}

void showErrorReport(const QString& title, std::exception_ptr e)
{
    QMessageBox box(QMessageBox::Critical, title, reportText(describe(e)), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void endProgramWithFailure()
{
    QCoreApplication::exit(EXIT_FAILURE);
}

} // namespace ui
