// Private to the platform layer: the two tables of templates, one entry per
// message in the order of the identifiers, which each table's source checks
// when it is compiled.
#pragma once

#include "platform/messages.h"

#include <array>

namespace platform::messages {

struct Template {
    Message id;
    const char* text;
};
using Table = std::array<Template, kMessageCount>;

// Whether every identifier has its template, in its place.
constexpr bool complete(const Table& table)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].id != static_cast<Message>(i) || table[i].text == nullptr)
            return false;
    return true;
}

extern const Table kItalian;
extern const Table kEnglish;

} // namespace platform::messages
