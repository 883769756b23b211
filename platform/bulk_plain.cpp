// The bulk steps one element at a time: what every build has, for processors
// without a vector form and for the vector forms' tails.
#include "platform/bulk.h"

namespace platform::bulk {

bool widenPlain(const std::uint8_t* in, std::size_t n, char16_t* out) noexcept
{
    bool special = false;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = in[i];
        special |= in[i] >= 0x80 && in[i] < 0xA0;
    }
    return special;
}

char16_t narrowPlain(const char16_t* in, std::size_t n, char* out) noexcept
{
    char16_t seen = 0;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<char>(in[i]);
        seen |= in[i];
    }
    return seen;
}

} // namespace platform::bulk
