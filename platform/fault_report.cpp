// The fatal fault report's wording and hand-over form.
#include "platform/fault_report.h"

#include <cstdlib>

namespace platform::faultReport {

void Text::append(const char* text) noexcept
{
    for (; *text; ++text, ++wanted_)
        if (length_ + 1 < size_)
            buffer_[length_++] = *text;
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

void Text::clear() noexcept
{
    length_ = wanted_ = 0;
    if (size_ > 0)
        buffer_[0] = '\0';
}

void appendDescription(Text& out, const char* library, const char* function, bool loading, bool exiting,
                       const char* fault) noexcept
{
    if (function) {
        out.append("la funzione '");
        out.append(function);
        out.append("' della libreria '");
        out.append(library);
        out.append("' si è interrotta: ");
    } else if (loading) {
        out.append("la libreria '");
        out.append(library);
        out.append("' si è interrotta durante il caricamento: ");
    } else if (*library && exiting) {
        out.append("la libreria '");
        out.append(library);
        out.append("' si è interrotta alla chiusura del programma: ");
    } else if (*library) {
        out.append("il programma si è interrotto fuori da una chiamata alla libreria '");
        out.append(library);
        out.append("' (in un thread della libreria o alla chiusura): ");
    } else {
        out.append("il programma si è interrotto: ");
    }
    out.append(fault);
}

void appendEndDescription(Text& out, const char* library, const char* function, bool loading,
                          const char* how) noexcept
{
    if (function) {
        out.append("il programma è terminato durante una chiamata a '");
        out.append(function);
        out.append("' della libreria '");
        out.append(library);
        out.append("': ");
    } else if (loading) {
        out.append("il programma è terminato durante il caricamento della libreria '");
        out.append(library);
        out.append("': ");
    } else if (*library) {
        out.append("il programma è terminato fuori da una chiamata alla libreria '");
        out.append(library);
        out.append("': ");
    } else {
        out.append("il programma è terminato inaspettatamente: ");
    }
    out.append(how);
}

std::string description(const char* library, const char* function, bool loading, const char* fault)
{
    char buffer[1024];
    Text text(buffer, sizeof buffer);
    appendDescription(text, library, function, loading, false, fault);
    return std::string(text.data(), text.length());
}

void appendHandOverHead(Text& out, unsigned long process, int number) noexcept
{
    out.appendNumber(process);
    out.append(":");
    out.appendNumber(static_cast<unsigned long>(number));
    out.append(":");
}

std::optional<HandOver> readHandOver(const std::string& text)
{
    const auto first = text.find(':');
    if (first == std::string::npos)
        return std::nullopt;
    const auto second = text.find(':', first + 1);
    if (second == std::string::npos || first == 0 || second == first + 1)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long process = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + first)
        return std::nullopt;
    const long number = std::strtol(text.c_str() + first + 1, &end, 10);
    if (end != text.c_str() + second)
        return std::nullopt;
    return HandOver{process, RuntimeError(static_cast<ErrorNumber>(number), text.substr(second + 1))};
}

} // namespace platform::faultReport
