#include "builtin/textout.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <string>

namespace {

std::string fixed10(double v)
{
    char buf[FIXED10_MAX];
    return std::string(buf, put_fixed10(buf, v));
}

std::string printf_fixed10(double v)
{
    char buf[FIXED10_MAX + 1];
    std::snprintf(buf, sizeof buf, "%.10f", v);
    return buf;
}

TEST(Fixed10, SameDigitsAsPrintf)
{
    // Halfway cases (2^-11 ends in ...25 at the eleventh place), the eleventh digit
    // carrying into the integer part, negative zero, subnormals and the extremes.
    const double named[] = {
        0.0,          -0.0,  1.0,     0.00048828125, -0.00048828125, 0.99999999995, 0.9999999999949999,
        2.5e-11,      5e-11, 1e-10,   0.0035685325,  0.9999995240,   1215.0,        -123456.7890123456,
        8.99999999e8, 9.0e8, DBL_MIN, DBL_TRUE_MIN,  1e22,           1e300,         DBL_MAX,
        -DBL_MAX};
    for (double v : named)
        EXPECT_EQ(fixed10(v), printf_fixed10(v)) << "value " << std::hexfloat << v;

    // Random values from 1e-12 to 1e6, and values next to the halfway points
    // between two printed results, where the rounding decides the last digit.
    std::mt19937_64 bits(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        const double v = unit(bits) * std::pow(10.0, static_cast<int>(bits() % 19) - 12);
        ASSERT_EQ(fixed10(v), printf_fixed10(v)) << "value " << std::hexfloat << v;
        const double halfway = (std::floor(v * 1e10) + 0.5) / 1e10;
        for (double w : {std::nextafter(halfway, -HUGE_VAL), halfway, std::nextafter(halfway, HUGE_VAL)})
            ASSERT_EQ(fixed10(w), printf_fixed10(w)) << "value " << std::hexfloat << w;
    }
    // Odd multiples of 2^-11 end exactly halfway at the eleventh decimal; odd
    // multiples of smaller powers of two fall just beside such halfway points.
    for (int k = 1; k < 4096; ++k) {
        const double tie = std::ldexp(2 * k + 1, -(11 + k % 23));
        ASSERT_EQ(fixed10(tie), printf_fixed10(tie)) << "value " << std::hexfloat << tie;
    }
}

TEST(Fixed10, NonNumbersAndInfinitiesInTheCLibraryForm)
{
    EXPECT_EQ(fixed10(HUGE_VAL), "inf");
    EXPECT_EQ(fixed10(-HUGE_VAL), "-inf");
    EXPECT_EQ(fixed10(std::nan("")), "nan");
    EXPECT_EQ(fixed10(-std::nan("")), "-nan");
}

TEST(PutInt, SameDigitsAsPrintf)
{
    for (int v : {0, 1, -1, 1215, 1687, INT_MAX, INT_MIN}) {
        char buf[INT_MAX_CHARS];
        EXPECT_EQ(std::string(buf, put_int(buf, v)), std::to_string(v));
    }
}

}  // namespace
