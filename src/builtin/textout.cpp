#include "builtin/textout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint64_t TEN_TO_10 = 10000000000ULL;

// Below this magnitude, v * 10^10 rounded fits in 63 bits and the fast path is exact.
constexpr double FAST_LIMIT = 9.0e8;

// "00" "01" ... "99": two digits per step.
constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the `count` (even) lowest decimal digits of n, zero-padded.
char* put_digits(char* p, std::uint64_t n, int count)
{
    for (int i = count - 2; i >= 0; i -= 2) {
        std::memcpy(p + i, DIGIT_PAIRS + 2 * (n % 100), 2);
        n /= 100;
    }
    return p + count;
}

// |v| * 10^10 rounded to the nearest integer, ties to even, as printf rounds the
// exact binary value; for 0 <= |v| < FAST_LIMIT. v = m 2^-s exactly, so the
// product m 10^10 (up to 87 bits, kept as hi:lo) is shifted right by s.
std::uint64_t scaled_by_ten_to_10(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased != 0)
        m |= std::uint64_t{1} << 52;
    const int s = biased != 0 ? 1075 - biased : 1074;  // >= 23 below FAST_LIMIT
    if (m == 0 || s >= 88)                             // m 10^10 < 2^87: under half a unit
        return 0;

    // m * 10^10 as hi:lo, from 32-bit halves.
    const std::uint64_t m_lo = m & 0xFFFFFFFFu;
    const std::uint64_t m_hi = m >> 32;
    const std::uint64_t t_lo = TEN_TO_10 & 0xFFFFFFFFu;
    const std::uint64_t t_hi = TEN_TO_10 >> 32;
    const std::uint64_t ll = m_lo * t_lo;
    const std::uint64_t mid = m_hi * t_lo + (ll >> 32) + m_lo * t_hi;  // no overflow: m_hi < 2^21, t_hi < 3
    const std::uint64_t lo = (mid << 32) | (ll & 0xFFFFFFFFu);
    const std::uint64_t hi = (mid >> 32) + m_hi * t_hi;

    std::uint64_t n = 0;
    std::uint64_t rest_hi = 0;  // the bits shifted out, and half a unit, as hi:lo
    std::uint64_t rest_lo = 0;
    std::uint64_t half_hi = 0;
    std::uint64_t half_lo = 0;
    if (s < 64) {
        n = (hi << (64 - s)) | (lo >> s);
        rest_lo = lo & ((std::uint64_t{1} << s) - 1);
        half_lo = std::uint64_t{1} << (s - 1);
    } else {
        n = hi >> (s - 64);
        rest_hi = hi & ((std::uint64_t{1} << (s - 64)) - 1);
        rest_lo = lo;
        if (s == 64)
            half_lo = std::uint64_t{1} << 63;
        else
            half_hi = std::uint64_t{1} << (s - 65);
    }
    const bool above = rest_hi > half_hi || (rest_hi == half_hi && rest_lo > half_lo);
    const bool tie = rest_hi == half_hi && rest_lo == half_lo;
    if (above || (tie && (n & 1) != 0))
        ++n;
    return n;
}

}  // namespace

char* put_fixed10(char* p, double v)
{
    // Spelled out so that the log and the table read the same on every platform,
    // whatever its printf would make of them.
    if (!std::isfinite(v)) {
        if (std::signbit(v))
            *p++ = '-';
        return std::copy_n(std::isnan(v) ? "nan" : "inf", 3, p);
    }
    if (!(std::fabs(v) < FAST_LIMIT))
        return std::to_chars(p, p + FIXED10_MAX, v, std::chars_format::fixed, 10).ptr;

    // Formatting the log's numbers is most of a run's time: compositions and
    // corrections go through this exact integer path instead.
    if (std::signbit(v))
        *p++ = '-';
    const std::uint64_t n = scaled_by_ten_to_10(v);
    p = std::to_chars(p, p + INT_MAX_CHARS, n / TEN_TO_10).ptr;
    *p++ = '.';
    return put_digits(p, n % TEN_TO_10, 10);
}

char* put_int(char* p, int v)
{
    return std::to_chars(p, p + INT_MAX_CHARS, v).ptr;
}
