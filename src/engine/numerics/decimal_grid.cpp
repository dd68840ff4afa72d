#include "engine/numerics/decimal_grid.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t EXACT_INTEGERS = std::int64_t{1} << 53;  // doubles hold every integer below
constexpr int EXACT_POWERS = 22;                                // 10^22 is the largest exact power of ten

// v as digits * 10^exponent, from its shortest round-trip form; false if the
// digits do not fit.
bool decimal_of(double v, std::int64_t& digits, int& exponent)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    digits = 0;
    exponent = 0;
    bool negative = false;
    bool after_point = false;
    for (const char* p = text; p != end; ++p) {
        if (*p == '-') {
            negative = true;
        } else if (*p == '.') {
            after_point = true;
        } else if (*p == 'e') {
            int e = 0;
            std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, e);
            exponent += e;
            break;
        } else {
            if (digits >= EXACT_INTEGERS / 10)
                return false;
            digits = digits * 10 + (*p - '0');
            exponent -= after_point ? 1 : 0;
        }
    }
    digits = negative ? -digits : digits;
    return true;
}

// digits * 10^shift, false where it leaves the exact integers.
bool scaled(std::int64_t digits, int shift, std::int64_t& out)
{
    out = digits;
    for (int k = 0; k < shift; ++k) {
        if (out >= EXACT_INTEGERS / 10 || out <= -EXACT_INTEGERS / 10)
            return false;
        out *= 10;
    }
    return true;
}

}  // namespace

double decimal_grid_point(double first, double step, long long i)
{
    const double plain = first + static_cast<double>(i) * step;
    std::int64_t first_digits = 0;
    std::int64_t step_digits = 0;
    int first_exponent = 0;
    int step_exponent = 0;
    if (!std::isfinite(plain) || !decimal_of(first, first_digits, first_exponent) ||
        !decimal_of(step, step_digits, step_exponent))
        return plain;
    if (first_digits == 0)
        first_exponent = step_exponent;
    const int unit = std::min(first_exponent, step_exponent);  // the finer last digit: 10^unit
    std::int64_t first_units = 0;
    std::int64_t step_units = 0;
    if (!scaled(first_digits, first_exponent - unit, first_units) ||
        !scaled(step_digits, step_exponent - unit, step_units) ||
        std::fabs(static_cast<double>(i)) * std::fabs(static_cast<double>(step_units)) >=
            static_cast<double>(EXACT_INTEGERS))
        return plain;
    const std::int64_t units = first_units + static_cast<std::int64_t>(i) * step_units;
    if (units >= EXACT_INTEGERS || units <= -EXACT_INTEGERS || unit < -EXACT_POWERS || unit > EXACT_POWERS)
        return plain;
    const double power = std::pow(10.0, std::abs(unit));  // exact up to 10^22
    return unit < 0 ? static_cast<double>(units) / power : static_cast<double>(units) * power;
}
