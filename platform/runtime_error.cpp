// Numbered run-time errors: construction, the form in which one process of
// the program hands an error to another, and the errors the arithmetic, the
// allocations and the array checks raise.
#include "platform/runtime_error.h"

#include <utility>

namespace platform {

namespace {

constexpr ErrorNumber kNumbers[] = {kOverflow,     kOutOfMemory,   kSubscriptOutOfRange, kLibraryNotLoadable,
                                    kInternalError, kFileNotFound, kPathNotFound,        kEntryPointNotFound};

// Whether byte c is written as %XX: anything but printable ASCII, and the two marks the form uses.
bool needsEscape(unsigned char c) noexcept
{
    return c < 0x20 || c >= 0x7F || c == '%' || c == ':';
}

void appendEscaped(Text& out, const char* text) noexcept
{
    for (; text && *text; ++text) {
        const auto c = static_cast<unsigned char>(*text);
        if (!needsEscape(c)) {
            out.append(text, 1);
            continue;
        }
        const char escape[] = {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 0xF]};
        out.append(escape, sizeof escape);
    }
}

// Appends "<message>:<arguments...>:" for as many arguments as message takes.
void appendFields(Text& out, const MessageView& message) noexcept
{
    out.appendNumber(static_cast<unsigned long>(message.id));
    out.append(":");
    for (std::size_t i = 0; i < shapeOf(message.id).arguments; ++i) {
        appendEscaped(out, message.arguments[i]);
        out.append(":");
    }
}

int hexValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> unescaped(std::string_view field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            text += field[i];
            continue;
        }
        if (i + 2 >= field.size() || hexValue(field[i + 1]) < 0 || hexValue(field[i + 2]) < 0)
            return std::nullopt;
        text += static_cast<char>(hexValue(field[i + 1]) * 16 + hexValue(field[i + 2]));
        i += 2;
    }
    return text;
}

// The unsigned decimal number field is, when it is one and at most limit.
std::optional<unsigned long> numberIn(std::string_view field, unsigned long limit)
{
    if (field.empty() || field.size() > 9)
        return std::nullopt;
    unsigned long value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= limit ? std::optional<unsigned long>(value) : std::nullopt;
}

// Reads a message and its arguments from fields, starting at next, which it moves past them.
std::optional<Wording> readWording(const std::vector<std::string_view>& fields, std::size_t& next)
{
    if (next >= fields.size())
        return std::nullopt;
    const auto id = numberIn(fields[next++], kMessageCount - 1);
    if (!id)
        return std::nullopt;
    Wording wording{static_cast<Message>(*id), {}};
    for (std::size_t i = 0; i < shapeOf(wording.id).arguments; ++i) {
        std::optional<std::string> argument = next < fields.size() ? unescaped(fields[next++]) : std::nullopt;
        if (!argument)
            return std::nullopt;
        wording.arguments.push_back(std::move(*argument));
    }
    return wording;
}

std::vector<std::string_view> fieldsOf(std::string_view text)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(':', start);
        fields.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

} // namespace

MessageView Wording::view() const noexcept
{
    MessageView v{id, {}};
    for (std::size_t i = 0; i < arguments.size() && i < kMaxArguments; ++i)
        v.arguments[i] = arguments[i].c_str();
    return v;
}

Wording verbatim(std::string text)
{
    return {Message::verbatim, {std::move(text)}};
}

RuntimeError::RuntimeError(ErrorNumber number, Message message, std::vector<std::string> arguments)
    : number_(number), message_{message, std::move(arguments)}, what_(description(Language::english))
{
}

RuntimeError::RuntimeError(ErrorNumber number, Message message, std::vector<std::string> arguments, Wording reason)
    : number_(number), message_{message, std::move(arguments)}, reason_(std::move(reason)),
      what_(description(Language::english))
{
}

RuntimeError::RuntimeError(ErrorNumber number, const MessageView& message, const MessageView* reason)
    : number_(number), message_{message.id, {}}
{
    const auto copy = [](const MessageView& view) {
        Wording wording{view.id, {}};
        for (std::size_t i = 0; i < shapeOf(view.id).arguments; ++i)
            wording.arguments.emplace_back(view.arguments[i] ? view.arguments[i] : "");
        return wording;
    };
    message_ = copy(message);
    if (reason)
        reason_ = copy(*reason);
    what_ = description(Language::english);
}

std::string RuntimeError::description(Language language) const
{
    const MessageView reason = reason_ ? reason_->view() : MessageView{};
    return renderMessage(language, message_.view(), reason_ ? &reason : nullptr);
}

void appendEncoded(Text& out, int number, const MessageView& message, const MessageView* reason) noexcept
{
    out.appendSigned(number);
    out.append(":");
    appendFields(out, message);
    if (shapeOf(message.id).reason)
        appendFields(out, reason ? *reason : MessageView{Message::unknownReason});
}

std::optional<RuntimeError> decodeError(std::string_view text)
{
    if (!text.ends_with(':'))
        return std::nullopt;
    const std::vector<std::string_view> fields = fieldsOf(text.substr(0, text.size() - 1));
    const auto number = numberIn(fields[0], 9999);
    bool known = false;
    for (ErrorNumber n : kNumbers)
        known = known || (number && *number == static_cast<unsigned long>(n));
    std::size_t next = 1;
    std::optional<Wording> message = known ? readWording(fields, next) : std::nullopt;
    if (!message)
        return std::nullopt;
    if (!shapeOf(message->id).reason)
        return next == fields.size() ? std::optional<RuntimeError>(RuntimeError(
                   static_cast<ErrorNumber>(*number), message->id, std::move(message->arguments)))
                                     : std::nullopt;
    std::optional<Wording> reason = readWording(fields, next);
    if (!reason || next != fields.size() || shapeOf(reason->id).reason)
        return std::nullopt;
    return RuntimeError(static_cast<ErrorNumber>(*number), message->id, std::move(message->arguments),
                        std::move(*reason));
}

void raiseOverflow()
{
    throw RuntimeError(kOverflow, Message::overflow);
}

void raiseOutOfMemory()
{
    throw RuntimeError(kOutOfMemory, Message::outOfMemory);
}

void raiseSubscriptOutOfRange()
{
    throw RuntimeError(kSubscriptOutOfRange, Message::subscriptOutOfRange);
}

} // namespace platform
