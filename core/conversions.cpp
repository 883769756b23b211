// The in-program conversions. Quendril appends one character per step by
// building a fresh text of exactly i + 1 characters from the previous one, so
// its copying grows with the square of the length; StringToArray takes a new
// one-character text per character.
#include "core/conversions.h"

#include "platform/runtime_error.h"

#include <utility>

namespace core {

using platform::checkedAdd;
using platform::checkedSub;

std::u16string Quendril(const ByteArray& mat, std::int32_t lx, const platform::CodePage& cp)
{
    std::u16string acc;
    const std::int32_t last = checkedSub(lx, 1);
    for (std::int32_t i = 0; i <= last; i = checkedAdd(i, 1)) {
        const char16_t c = cp.charFromCode(mat.at(i));
        std::u16string next;
        next.reserve(acc.size() + 1);
        next.append(acc);
        next.push_back(c);
        acc = std::move(next);
    }
    return acc;
}

void StringToArray(const std::u16string& buf, ByteArray& mat, const platform::CodePage& cp)
{
    const auto n = platform::narrow(static_cast<std::int64_t>(buf.size()));
    for (std::int32_t i = 1; i <= n; i = checkedAdd(i, 1)) {
        const std::u16string one(1, buf[static_cast<std::size_t>(i - 1)]);
        std::uint8_t& element = mat.at(i - 1);
        const std::int16_t code = cp.codeOfChar(one[0]);
        if (code < 0 || code > 0xFF)
            platform::raiseOverflow();
        element = static_cast<std::uint8_t>(code);
    }
}

} // namespace core
