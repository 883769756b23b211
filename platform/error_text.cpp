// The numbered report's wording.
#include "platform/error_text.h"

#include "platform/runtime_error.h"

#include <cstdio>
#include <new>

namespace platform {

ReportedError describe(const std::exception_ptr& e) noexcept
{
    try {
        std::rethrow_exception(e);
    } catch (const platform::RuntimeError& err) {
        return {err.number(), err.description().c_str(), ""};
    } catch (const std::bad_alloc&) {
        return {platform::kOutOfMemory, platform::kOutOfMemoryDescription, ""};
    } catch (const std::exception& err) {
        return {platform::kInternalError, "Errore interno: ", err.what()};
    } catch (...) {
        return {platform::kInternalError, "Errore interno sconosciuto", ""};
    }
}

namespace {

constexpr char kBoxSeparator[] = "\n\n";

} // namespace

std::string reportText(const ReportedError& error)
{
    std::string text(platform::formatReport(nullptr, 0, error.number, kBoxSeparator, error.lead, error.detail), '\0');
    formatReportText(error, text.data(), text.size() + 1);
    return text;
}

void formatReportText(const ReportedError& error, char* buffer, std::size_t size) noexcept
{
    platform::formatReport(buffer, size, error.number, kBoxSeparator, error.lead, error.detail);
}

void printReport(const ReportedError& error, const char* title) noexcept
{
    char line[4096];
    platform::formatReport(line, sizeof line, error.number, " ", error.lead, error.detail);
    std::fprintf(stderr, "%s%s%s\n", title ? title : "", title ? ": " : "", line);
    std::fflush(stderr);
}

} // namespace platform
