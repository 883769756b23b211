// Which message tells a fatal fault or an unannounced end, and the hand-over form.
#include "platform/fault_report.h"

#include <cctype>
#include <cstdlib>

namespace platform::faultReport {

MessageView faultMessage(const Activity& a) noexcept
{
    if (a.function)
        return {Message::functionFaulted, {a.function, a.library}};
    if (a.loading)
        return {Message::loadingFaulted, {a.library}};
    if (*a.library && a.exiting)
        return {Message::exitFaulted, {a.library}};
    if (*a.library)
        return {Message::faultedOutsideCall, {a.library}};
    return {Message::programFaulted};
}

MessageView endMessage(const Activity& a) noexcept
{
    if (a.function)
        return {Message::endedInCall, {a.function, a.library}};
    if (a.loading)
        return {Message::endedWhileLoading, {a.library}};
    if (*a.library)
        return {Message::endedOutsideCall, {a.library}};
    return {Message::endedUnexpectedly};
}

void appendHandOver(Text& out, unsigned long process, int number, const MessageView& message,
                    const MessageView* reason) noexcept
{
    out.appendNumber(process);
    out.append(":");
    appendEncoded(out, number, message, reason);
}

std::optional<HandOver> readHandOver(const std::string& text)
{
    const auto first = text.find(':');
    if (first == std::string::npos || first == 0)
        return std::nullopt;
    const auto second = text.find(':', first + 1);
    if (second == std::string::npos || !std::isdigit(static_cast<unsigned char>(text[0]))
        || !std::isdigit(static_cast<unsigned char>(text[first + 1])))
        return std::nullopt;
    char* end = nullptr;
    const unsigned long process = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + first)
        return std::nullopt;
    std::strtol(text.c_str() + first + 1, &end, 10);
    if (end != text.c_str() + second)
        return std::nullopt;
    if (std::optional<RuntimeError> error = decodeError(std::string_view(text).substr(first + 1)))
        return HandOver{process, std::move(*error)};
    return HandOver{process, RuntimeError(kInternalError, Message::unknownInternalError)};
}

} // namespace platform::faultReport
