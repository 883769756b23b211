// Rendering a message from its language's table into memory the caller owns.
#include "platform/messages.h"

#include "platform/message_tables.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<Language> language{Language::italian};

const messages::Table& tableOf(Language l) noexcept
{
    return l == Language::english ? messages::kEnglish : messages::kItalian;
}

// The shape one template gives: its highest argument, and whether it has %R.
MessageShape shapeOfTemplate(const char* text) noexcept
{
    MessageShape shape{0, false};
    for (; *text; ++text) {
        if (text[0] != '%')
            continue;
        if (text[1] >= '1' && text[1] <= '0' + static_cast<int>(kMaxArguments)) {
            const auto n = static_cast<std::size_t>(text[1] - '0');
            shape.arguments = n > shape.arguments ? n : shape.arguments;
        } else if (text[1] == 'R') {
            shape.reason = true;
        }
    }
    return shape;
}

} // namespace

Language programLanguage() noexcept
{
    return language.load(std::memory_order_relaxed);
}

void setProgramLanguage(Language l) noexcept
{
    language.store(l, std::memory_order_relaxed);
}

const char* messageTemplate(Language l, Message message) noexcept
{
    const auto index = static_cast<std::size_t>(message);
    return tableOf(l)[index < kMessageCount ? index : static_cast<std::size_t>(Message::unknownInternalError)].text;
}

MessageShape shapeOf(Message message) noexcept
{
    const MessageShape italian = shapeOfTemplate(messageTemplate(Language::italian, message));
    const MessageShape english = shapeOfTemplate(messageTemplate(Language::english, message));
    return {italian.arguments > english.arguments ? italian.arguments : english.arguments,
            italian.reason || english.reason};
}

void Text::append(const char* text) noexcept
{
    for (; *text; ++text, ++wanted_)
        if (length_ + 1 < size_)
            buffer_[length_++] = *text;
    if (size_ > 0)
        buffer_[length_] = '\0';
}

void Text::append(const char* text, std::size_t length) noexcept
{
    for (std::size_t i = 0; i < length; ++i, ++wanted_)
        if (length_ + 1 < size_)
            buffer_[length_++] = text[i];
    if (size_ > 0)
        buffer_[length_] = '\0';
}

void Text::appendNumber(unsigned long value) noexcept
{
    char digits[24];
    char* first = digits + sizeof digits - 1;
    *first = '\0';
    do
        *--first = static_cast<char>('0' + value % 10);
    while ((value /= 10) > 0);
    append(first);
}

void Text::appendSigned(long value) noexcept
{
    if (value < 0)
        append("-");
    appendNumber(value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value));
}

void Text::appendHex(unsigned long value) noexcept
{
    char digits[24];
    char* first = digits + sizeof digits - 1;
    *first = '\0';
    for (int n = 0; n < 8 || value > 0; ++n, value >>= 4)
        *--first = "0123456789ABCDEF"[value & 0xF];
    append(first);
}

void Text::clear() noexcept
{
    length_ = wanted_ = 0;
    if (size_ > 0)
        buffer_[0] = '\0';
}

void appendMessage(Text& out, Language l, const MessageView& message, const MessageView* reason) noexcept
{
    const char* text = messageTemplate(l, message.id);
    while (*text) {
        if (text[0] == '%' && text[1] >= '1' && text[1] <= '0' + static_cast<int>(kMaxArguments)) {
            if (const char* argument = message.arguments[static_cast<std::size_t>(text[1] - '1')])
                out.append(argument);
            text += 2;
        } else if (text[0] == '%' && text[1] == 'R') {
            if (reason)
                appendMessage(out, l, *reason);
            text += 2;
        } else {
            const char* end = text + 1;
            while (*end && *end != '%')
                ++end;
            out.append(text, static_cast<std::size_t>(end - text));
            text = end;
        }
    }
}

std::string renderMessage(Language l, const MessageView& message, const MessageView* reason)
{
    Text measure(nullptr, 0);
    appendMessage(measure, l, message, reason);
    std::string text(measure.wanted(), '\0');
    Text out(text.data(), text.size() + 1);
    appendMessage(out, l, message, reason);
    return text;
}

} // namespace platform
