#pragma once
// Bytes of pixel rows compared with one value eight or sixteen at a time:
// page rows are read millions of times a job, and nearly all their bytes are
// paper or ink.
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bytelanes {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// 0x80 in each byte of x that is not zero, 0 in the others: a byte's own top
// bit or the carry from its low seven bits, which never reaches the next.
constexpr uint64_t NonZeroBytes(uint64_t x)
{
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    return (((x & kLow7) + kLow7) | x) & kHighBits;
}

// 0x80 in each byte of x that is zero.
constexpr uint64_t ZeroBytes(uint64_t x)
{
    return NonZeroBytes(x) ^ kHighBits;
}

// The top bits of `high` (0x80 or 0 a byte, as the two above give) as one
// byte, the byte first in memory to bit 0 (FirstLowest) or to bit 7
// (FirstHighest). Each multiplier's bits lift every byte's bit to its place
// without two ever meeting, so nothing carries.
constexpr uint8_t FirstLowest(uint64_t high)
{
    constexpr uint64_t kGather =
        std::endian::native == std::endian::little ? 0x0102040810204080ull : 0x8040201008040201ull;
    return static_cast<uint8_t>(((high >> 7) * kGather) >> 56);
}

constexpr uint8_t FirstHighest(uint64_t high)
{
    constexpr uint64_t kGather =
        std::endian::native == std::endian::little ? 0x8040201008040201ull : 0x0102040810204080ull;
    return static_cast<uint8_t>(((high >> 7) * kGather) >> 56);
}

static_assert(std::endian::native != std::endian::little || (FirstLowest(ZeroBytes(0x0000FF0001000000ull)) == 0xD7 &&
                                                             FirstLowest(ZeroBytes(0x80FFFFFFFFFFFF01ull)) == 0x00 &&
                                                             FirstHighest(ZeroBytes(0x0100000000000080ull)) == 0x7E));

#if defined(__SSE2__)
// Bit k set where the k-th of the sixteen bytes from `bytes` on equals the
// byte `value` holds sixteen times.
inline unsigned EqualMask16(const uint8_t* bytes, __m128i value)
{
    const __m128i read = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(read, value)));
}
#endif

}  // namespace bytelanes
