// A plain model of the in-program conversions, for the fuzzers to check the
// real routines against: the same characters, the same bytes, the same error
// number and the same partial writes.
#pragma once

#include "core/byte_array.h"
#include "platform/codepage.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

struct Array {
    bool exists;
    std::int32_t lowerBound;
    std::vector<std::uint8_t> elements;

    // The element at index, or null outside the array.
    std::uint8_t* at(std::int64_t index)
    {
        const std::int64_t offset = index - lowerBound;
        if (!exists || offset < 0 || offset >= static_cast<std::int64_t>(elements.size()))
            return nullptr;
        return &elements[static_cast<std::size_t>(offset)];
    }
};

struct Outcome {
    int error = 0;
    std::u16string text;
};

inline Outcome quendril(Array mat, std::int32_t lx, const platform::CodePage& cp)
{
    if (lx == INT32_MIN)
        return {6, {}};
    Outcome out;
    for (std::int64_t i = 0; i < lx; ++i) {
        const std::uint8_t* e = mat.at(i);
        if (!e)
            return {9, {}};
        out.text.push_back(cp.charFromCode(*e));
    }
    return out;
}

inline int stringToArray(const std::u16string& buf, Array& mat, const platform::CodePage& cp)
{
    for (std::size_t i = 0; i < buf.size(); ++i) {
        std::uint8_t* e = mat.at(static_cast<std::int64_t>(i));
        if (!e)
            return 9;
        const std::int16_t code = cp.codeOfChar(buf[i]);
        if (code < 0 || code > 255)
            return 6;
        *e = static_cast<std::uint8_t>(code);
    }
    return 0;
}

} // namespace oracle
