// The bulk steps of the code page's conversions between counted byte strings
// and texts, one pass each: with the processor's vector instructions where the
// build has them (bulk_sse2.cpp), plain loops elsewhere (bulk_generic.cpp), so
// that their speed does not hang on the optimiser's level.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::bulk {

// Writes the n bytes from in to out, each as the character of the same value;
// true when any of them lies in 0x80-0x9F.
bool widen(const std::uint8_t* in, std::size_t n, char16_t* out) noexcept;
// Writes the low byte of each of the n characters from in to out; returns
// every bit any of them has.
char16_t narrow(const char16_t* in, std::size_t n, char* out) noexcept;

// The same, one element at a time: the vector forms' tail and their reference.
bool widenPlain(const std::uint8_t* in, std::size_t n, char16_t* out) noexcept;
char16_t narrowPlain(const char16_t* in, std::size_t n, char* out) noexcept;

} // namespace platform::bulk
