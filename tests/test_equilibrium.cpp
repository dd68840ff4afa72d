#include "builtin/equilibrium.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Reference {
    int T;
    double xl;
    double xs;
};

// Worked equilibria, to ten decimals, from 1215 K up to the melting point of Si.
constexpr Reference REFERENCES[] = {
    {1215, 0.0035685325, 0.0143338561}, {1300, 0.1041538068, 0.3022920153},
    {1450, 0.3630322604, 0.6516578088}, {1600, 0.7329440749, 0.8904202800},
    {1686, 0.9967088540, 0.9988279178}, {1687, 0.9999986614, 0.9999995240},
};

TEST(Equilibrium, BothConditionsVanishAtTheClosedFormPoints)
{
    for (const Reference& ref : REFERENCES) {
        const Exact e = exact_equilibrium(ref.T);
        EXPECT_NEAR(e.xl, ref.xl, 6e-11) << "closed form xl at T=" << ref.T;
        EXPECT_NEAR(e.xs, ref.xs, 6e-11) << "closed form xs at T=" << ref.T;
        // Near 1687 K, 1 - x keeps only about six digits, so f2 is zero to about 1e-6 J/mol.
        EXPECT_NEAR(f1(e.xl, e.xs, ref.T), 0.0, 1e-8) << "T=" << ref.T << " xl=" << e.xl << " xs=" << e.xs;
        EXPECT_NEAR(f2(e.xl, e.xs, ref.T), 0.0, 1e-5) << "T=" << ref.T << " xl=" << e.xl << " xs=" << e.xs;
    }
}

TEST(Equilibrium, ConditionsAtEqualCompositionsAreTheFreeEnergiesOfFusion)
{
    for (double x : {1e-9, 0.25, 0.5, 0.999}) {
        EXPECT_EQ(f1(x, x, 1687), DH_SI - DS_SI * 1687) << "x=" << x;
        EXPECT_EQ(f2(x, x, 1300), DH_2 - DS_2 * 1300) << "x=" << x;
    }
    EXPECT_NEAR(f1(0.5, 0.5, 1687), 0.0121, 1e-10);
    EXPECT_NEAR(DH_SI / DS_SI, 1687.0, 1e-3) << "melting point of Si";
    EXPECT_NEAR(DH_2 / DS_2, 1211.4, 1e-2) << "melting point of the second component";
}

TEST(Equilibrium, DerivativesMatchCentralDifferences)
{
    struct Point {
        double xl, xs;
        int T;
    };
    for (const Point& p : {Point{0.2, 0.6, 1300}, Point{0.7, 0.4, 1500}, Point{0.9, 0.95, 1680}}) {
        const double e = 1e-6;
        const double n11 = (f1(p.xl + e, p.xs, p.T) - f1(p.xl - e, p.xs, p.T)) / (2 * e);
        const double n12 = (f1(p.xl, p.xs + e, p.T) - f1(p.xl, p.xs - e, p.T)) / (2 * e);
        const double n21 = (f2(p.xl + e, p.xs, p.T) - f2(p.xl - e, p.xs, p.T)) / (2 * e);
        const double n22 = (f2(p.xl, p.xs + e, p.T) - f2(p.xl, p.xs - e, p.T)) / (2 * e);
        EXPECT_NEAR(d11(p.xl, p.T), n11, 1e-5 * std::fabs(n11)) << "d11 at xl=" << p.xl << " T=" << p.T;
        EXPECT_NEAR(d12(p.xs, p.T), n12, 1e-5 * std::fabs(n12)) << "d12 at xs=" << p.xs << " T=" << p.T;
        EXPECT_NEAR(d21(p.xl, p.T), n21, 1e-5 * std::fabs(n21)) << "d21 at xl=" << p.xl << " T=" << p.T;
        EXPECT_NEAR(d22(p.xs, p.T), n22, 1e-5 * std::fabs(n22)) << "d22 at xs=" << p.xs << " T=" << p.T;
    }
}

TEST(Equilibrium, EdgesOfTheRangeGiveInfinitiesAndNonNumbersWithoutError)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(d11(0.0, 1500), inf);
    EXPECT_EQ(d12(0.0, 1500), -inf);
    EXPECT_EQ(d21(1.0, 1500), inf) << "xl - 1 is +0 at xl = 1";
    EXPECT_LT(d21(0.999, 1500), 0.0);
    EXPECT_EQ(d22(1.0, 1500), inf);
    EXPECT_EQ(f1(0.0, 0.3, 1500), -inf);
    EXPECT_EQ(f2(1.0, 0.3, 1500), -inf);
    EXPECT_TRUE(std::isnan(f1(0.0, 0.0, 1500)));
    EXPECT_TRUE(std::isnan(f2(1.0, 1.0, 1500)));
}

}  // namespace
