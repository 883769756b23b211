// The bulk steps for processors the build has no vector form for.
#include "platform/bulk.h"

namespace platform::bulk {

bool widen(const std::uint8_t* in, std::size_t n, char16_t* out) noexcept
{
    return widenPlain(in, n, out);
}

char16_t narrow(const char16_t* in, std::size_t n, char* out) noexcept
{
    return narrowPlain(in, n, out);
}

} // namespace platform::bulk
