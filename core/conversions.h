// The program's own conversions between a byte array and a text, one element
// at a time through the code page's character services. Their per-character
// cost is what the timed runs measure, so neither builds in bulk.
#pragma once

#include "core/byte_array.h"
#include "platform/codepage.h"

#include <cstdint>
#include <string>

namespace core {

// A text of lx characters, one per element of mat from index 0 on; raises 6
// for lx = INT32_MIN and 9 at the first element outside mat.
std::u16string Quendril(const ByteArray& mat, std::int32_t lx,
                        const platform::CodePage& cp = platform::ansiCodePage());

// Stores the code of each character of buf in mat from index 0 on; raises 9 at
// the first element outside mat and 6 for a code outside 0-255, keeping what
// it already stored.
void StringToArray(const std::u16string& buf, ByteArray& mat,
                   const platform::CodePage& cp = platform::ansiCodePage());

} // namespace core
