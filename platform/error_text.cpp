// The numbered report's heading and layout around an error's description.
#include "platform/error_text.h"

#include "platform/runtime_error.h"

#include <cstdio>
#include <new>

namespace platform {

ReportedError describe(const RuntimeError& error) noexcept
{
    ReportedError reported{error.number(), error.message().view(), std::nullopt};
    if (error.reason())
        reported.reason = error.reason()->view();
    return reported;
}

ReportedError describe(const std::exception_ptr& e) noexcept
{
    try {
        std::rethrow_exception(e);
    } catch (const RuntimeError& err) {
        return describe(err);
    } catch (const std::bad_alloc&) {
        return {kOutOfMemory, {Message::outOfMemory}, std::nullopt};
    } catch (const std::exception& err) {
        return {kInternalError, {Message::internalError, {err.what()}}, std::nullopt};
    } catch (...) {
        return {kInternalError, {Message::unknownInternalError}, std::nullopt};
    }
}

std::size_t formatReport(char* buffer, std::size_t size, Language language, const ReportedError& error,
                         const char* separator) noexcept
{
    Text report(buffer, size);
    char number[24];
    Text digits(number, sizeof number);
    digits.appendSigned(error.number);
    appendMessage(report, language, {Message::reportHeading, {number}});
    report.append(separator);
    appendMessage(report, language, error.message, error.reason ? &*error.reason : nullptr);
    return report.wanted();
}

namespace {

constexpr char kBoxSeparator[] = "\n\n";

std::string formatted(const ReportedError& error, Language language, const char* separator)
{
    std::string text(formatReport(nullptr, 0, language, error, separator), '\0');
    formatReport(text.data(), text.size() + 1, language, error, separator);
    return text;
}

} // namespace

std::string reportText(const ReportedError& error)
{
    return formatted(error, programLanguage(), kBoxSeparator);
}

void formatReportText(const ReportedError& error, char* buffer, std::size_t size) noexcept
{
    formatReport(buffer, size, programLanguage(), error, kBoxSeparator);
}

std::string reportLine(const ReportedError& error, Language language)
{
    return formatted(error, language, " ");
}

std::string encoded(const ReportedError& error)
{
    const MessageView* reason = error.reason ? &*error.reason : nullptr;
    Text measure(nullptr, 0);
    appendEncoded(measure, error.number, error.message, reason);
    std::string text(measure.wanted(), '\0');
    Text out(text.data(), text.size() + 1);
    appendEncoded(out, error.number, error.message, reason);
    return text;
}

void printReport(const ReportedError& error, const char* title) noexcept
{
    char line[4096];
    formatReport(line, sizeof line, programLanguage(), error, " ");
    std::fprintf(stderr, "%s%s%s\n", title ? title : "", title ? ": " : "", line);
    std::fflush(stderr);
}

} // namespace platform
