// Numbered run-time errors, as the program reports them to the user, and the
// checked 32-bit arithmetic that raises them. Every failure the core can meet
// leaves it as a RuntimeError: a number, a message and its arguments, and the
// message's reason, rendered in the language of whoever reports it.
#pragma once

#include "platform/messages.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Every number the program raises or reports, as the platform numbers them.
enum ErrorNumber : int {
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kLibraryNotLoadable = 48,
    kInternalError = 51,
    kFileNotFound = 53,
    kPathNotFound = 76,
    kEntryPointNotFound = 453,
};

// A message with arguments of its own (UTF-8).
struct Wording {
    Message id;
    std::vector<std::string> arguments;

    // The message with arguments pointing into this wording.
    MessageView view() const noexcept;
};

// Words no table holds, the same in every language: the system's reason for a failed call.
Wording verbatim(std::string text);

class RuntimeError : public std::exception {
public:
    // Error number with message and its arguments.
    RuntimeError(ErrorNumber number, Message message, std::vector<std::string> arguments = {});
    // The same, with the message's reason.
    RuntimeError(ErrorNumber number, Message message, std::vector<std::string> arguments, Wording reason);
    // The same, copied from views.
    RuntimeError(ErrorNumber number, const MessageView& message, const MessageView* reason);

    ErrorNumber number() const noexcept { return number_; }
    const Wording& message() const noexcept { return message_; }
    const std::optional<Wording>& reason() const noexcept { return reason_; }
    // The description, message and reason, rendered in language.
    std::string description(Language language) const;
    // The description in English.
    const char* what() const noexcept override { return what_.c_str(); }

private:
    ErrorNumber number_;
    Wording message_;
    std::optional<Wording> reason_;
    std::string what_;
};

// Appends error number with message and reason in a form any image of this
// program reads back, whatever bytes the arguments hold, in printable ASCII:
// "<number>:<message>:<arguments...>:[<reason>:<its arguments...>:]" (the
// reason where the message takes one, unknownReason when none is given), every
// field ended by ':' (so that one cut short is told) and every argument with
// '%', ':' and bytes outside printable ASCII escaped as %XX. No allocation.
void appendEncoded(Text& out, int number, const MessageView& message, const MessageView* reason) noexcept;
// The error text encodes; none unless text has exactly that form, with a
// known number, known messages and as many arguments as they take.
std::optional<RuntimeError> decodeError(std::string_view text);

// Throws error 6 (overflow).
[[noreturn]] void raiseOverflow();
// Throws error 7 (out of memory).
[[noreturn]] void raiseOutOfMemory();
// Throws error 9 (index outside the array's bounds).
[[noreturn]] void raiseSubscriptOutOfRange();

// Returns v as a 32-bit value; raises error 6 when it does not fit.
inline std::int32_t narrow(std::int64_t v)
{
    if (v < INT32_MIN || v > INT32_MAX)
        raiseOverflow();
    return static_cast<std::int32_t>(v);
}

// Returns a + b; raises error 6 when the sum does not fit in 32 bits.
inline std::int32_t checkedAdd(std::int32_t a, std::int32_t b)
{
    return narrow(std::int64_t{a} + b);
}

// Returns a - b; raises error 6 when the difference does not fit in 32 bits.
inline std::int32_t checkedSub(std::int32_t a, std::int32_t b)
{
    return narrow(std::int64_t{a} - b);
}

} // namespace platform
