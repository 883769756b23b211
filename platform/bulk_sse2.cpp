// The bulk steps with SSE2, sixteen elements a step; the plain loops finish
// what is left. Every load and store is unaligned: the strings come from
// different allocators.
#include "platform/bulk.h"

#include <emmintrin.h>

namespace platform::bulk {

bool widen(const std::uint8_t* in, std::size_t n, char16_t* out) noexcept
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi8(static_cast<char>(0x80));
    // Bytes 0x80-0x9F are those below 0x20 once their top bit is flipped: one
    // running minimum finds them.
    __m128i least = _mm_set1_epi8(-1);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
        least = _mm_min_epu8(least, _mm_xor_si128(bytes, top));
    }
    // Any lane below 0x20 shows as a lane of least equal to its minimum with 0x1F.
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(least, _mm_set1_epi8(0x1F)), least);
    const bool special = _mm_movemask_epi8(low) != 0;
    return widenPlain(in + i, n - i, out + i) || special;
}

char16_t narrow(const char16_t* in, std::size_t n, char* out) noexcept
{
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    __m128i seen = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        seen = _mm_or_si128(seen, _mm_or_si128(a, b));
        // Masked to their low bytes first, the characters pack without saturating.
        const __m128i packed = _mm_packus_epi16(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
    alignas(16) char16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), seen);
    char16_t all = narrowPlain(in + i, n - i, out + i);
    for (char16_t lane : lanes)
        all |= lane;
    return all;
}

} // namespace platform::bulk
