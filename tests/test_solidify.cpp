// Solidification against closed forms: the Scheil integral for a constant
// partition coefficient, the ideal lens's liquidus, solidus and lever rule, the
// mass balance of the whole crystal, and a congruent composition.
#include "builtin/builtin_system.h"
#include "engine/scheil.h"
#include "engine/solidify.h"
#include "formats/system_file.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// x_S = k x_L integrates to 1 - f = (x_L / x0)^(1 / (k - 1)), which is
// x_S = k x0 (1 - f)^(k - 1), for a liquid losing A (k > 1) or gaining it (k < 1).
TEST(Scheil, ConstantPartitionCoefficientClosedForm)
{
    struct Case {
        double k, from, to;
    };
    for (const Case& c :
         {Case{0.3, 0.02, 0.2}, Case{0.05, 0.001, 0.015}, Case{2.5, 0.1, 1e-6}, Case{8.0, 0.05, 1e-12}}) {
        const double got = scheil_log_remaining(c.from, c.to, [&](double x) { return c.k * x; });
        const double exact = std::log(c.to / c.from) / (c.k - 1.0);
        EXPECT_NEAR(got, exact, 1e-10 * std::fabs(exact))
            << "k=" << c.k << " from " << c.from << " to " << c.to;
    }
}

// The mean composition of the whole crystal is x0: a lever balance over the
// segregation profile (trapezoids) and the remainder frozen at the end.
double crystal_mean(const Solidification& r)
{
    double mean = 0.0;
    for (std::size_t i = 1; i < r.g.size(); ++i)
        mean += 0.5 * (r.x_solid[i] + r.x_solid[i - 1]) * (r.g[i] - r.g[i - 1]);
    return mean;
}

void check_profile(const Solidification& r, const std::string& what)
{
    ASSERT_GE(r.g.size(), 2u) << what;
    EXPECT_EQ(r.g.front(), 0.0) << what;
    EXPECT_EQ(r.g.back(), 1.0) << what;
    for (std::size_t i = 1; i < r.g.size(); ++i)
        ASSERT_GT(r.g[i], r.g[i - 1]) << what << ": g not increasing at point " << i;
    EXPECT_NEAR(crystal_mean(r), r.x0, 1e-4) << what << ": the crystal's mean composition";
}

// The ideal lens: xs = (1 - b) / (a - b) and xl = a xs at every temperature, so the
// liquidus of x0 is where xl = x0, the solidus where xs = x0, and the lever rule is
// exact from them. Scheil ends at the second component's melting point, below the
// solidus.
TEST(Solidify, IdealLensAgainstTheClosedForm)
{
    const System s = builtin_system();
    const auto closed = [](double T, double& xl, double& xs) {
        const double RT = 8.315 * T;
        const double a = std::exp(-(50208.0 - 29.7617 * T) / RT);
        const double b = std::exp(-(36944.72 - 30.4975 * T) / RT);
        xs = (1.0 - b) / (a - b);
        xl = a * xs;
    };
    for (double x0 : {0.02, 0.3, 0.5, 0.8, 0.995}) {
        const std::string what = "x0=" + std::to_string(x0);
        const Solidification r = solidify(s, x0, 1.0);
        ASSERT_TRUE(r.doubts.empty()) << what << ": " << r.doubts[0].why;
        double xl = 0.0;
        double xs = 0.0;
        closed(r.liquidus, xl, xs);
        EXPECT_NEAR(xl, x0, 1e-12) << what << ": liquidus " << r.liquidus;
        closed(r.solidus, xl, xs);
        EXPECT_NEAR(xs, x0, 1e-12) << what << ": solidus " << r.solidus;
        for (const SolidificationRow& row : r.rows) {
            if (row.T >= r.liquidus || row.T <= r.solidus)
                continue;
            closed(row.T, xl, xs);
            EXPECT_NEAR(row.f_lever, (x0 - xl) / (xs - xl), 1e-10) << what << " T=" << row.T;
            EXPECT_LE(row.f_scheil, row.f_lever + 1e-12) << what << ": Scheil freezes later, T=" << row.T;
        }
        EXPECT_EQ(r.scheil_end, PathEnd::pure_component) << what;
        EXPECT_DOUBLE_EQ(r.scheil_end_T, s.b.melting_point()) << what;
        EXPECT_LE(r.scheil_end_T, r.solidus) << what;
        EXPECT_EQ(r.rows.front().T, r.liquidus) << what;
        EXPECT_EQ(r.rows.back().T, r.scheil_end_T) << what;
        EXPECT_GE(r.g.size(), 1000u) << what;
        check_profile(r, what);
    }
}

// A eutectic system: the Scheil liquid reaches the eutectic liquid's composition
// and the rest of it freezes there; equilibrium freezing ends there too for x0
// between the solids' ends, and both paths have two rows at its temperature.
TEST(Solidify, ScheilEndsAtTheEutectic)
{
    const System s = example_system("eutectic");
    for (double x0 : {0.1, 0.3, 0.8}) {
        const std::string what = "x0=" + std::to_string(x0);
        const Solidification r = solidify(s, x0, 1.0);
        ASSERT_TRUE(r.doubts.empty()) << what << ": " << r.doubts[0].why;
        EXPECT_EQ(r.scheil_end, PathEnd::invariant) << what;
        EXPECT_EQ(r.scheil_kind, InvariantKind::eutectic) << what;
        EXPECT_NEAR(r.scheil_end_T, 607.6814713338503, 1e-8) << what;
        EXPECT_NEAR(r.scheil_last_solid, 0.4506840414499509, 1e-9) << what;
        EXPECT_GT(r.scheil_remaining, 0.0) << what;
        EXPECT_LE(r.scheil_end_T, r.solidus) << what;
        const SolidificationRow& before = r.rows[r.rows.size() - 2];
        const SolidificationRow& after = r.rows.back();
        EXPECT_EQ(before.T, r.scheil_end_T) << what;
        EXPECT_EQ(after.T, r.scheil_end_T) << what;
        EXPECT_NEAR(before.f_scheil, 1.0 - r.scheil_remaining, 1e-12) << what;
        EXPECT_EQ(after.f_scheil, 1.0) << what;
        EXPECT_TRUE(std::isnan(after.xl_scheil)) << what << ": no liquid left";
        check_profile(r, what);
    }
}

// x0 at a congruent point: liquidus = solidus, two rows there with f = 0 and 1.
TEST(Solidify, CongruentComposition)
{
    const Solidification r = solidify(example_system("congruent-minimum"), 0.5625, 1.0);
    ASSERT_TRUE(r.doubts.empty());
    EXPECT_TRUE(r.congruent);
    EXPECT_NEAR(r.liquidus, 1046.875, 1e-8);
    EXPECT_EQ(r.solidus, r.liquidus);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].f_lever, 0.0);
    EXPECT_EQ(r.rows[1].f_lever, 1.0);
    EXPECT_EQ(r.rows[0].f_scheil, 0.0);
    EXPECT_EQ(r.rows[1].f_scheil, 1.0);
}

// Paths that cross invariants: a peritectic (the Scheil solid changes, no
// reaction), a monotectic (the liquid splits), a first solid at a monotectic,
// a liquid that ends at a congruent minimum.
TEST(Solidify, PathsThroughInvariants)
{
    struct Case {
        const char* file;
        double x0;
        PathEnd end;
    };
    for (const Case& c :
         {Case{"peritectic", 0.3, PathEnd::pure_component}, Case{"monotectic", 0.9, PathEnd::pure_component},
          Case{"monotectic", 0.5, PathEnd::pure_component},
          Case{"congruent-minimum", 0.3, PathEnd::congruent}}) {
        const std::string what = std::string(c.file) + " x0=" + std::to_string(c.x0);
        const Solidification r = solidify(example_system(c.file), c.x0, 1.0);
        ASSERT_TRUE(r.doubts.empty()) << what << ": " << r.doubts[0].why;
        EXPECT_EQ(r.scheil_end, c.end) << what;
        EXPECT_LE(r.scheil_end_T, r.solidus + 1e-9) << what;
        for (std::size_t i = 1; i < r.rows.size(); ++i)
            EXPECT_LE(r.rows[i].T, r.rows[i - 1].T) << what << ": rows in descending T";
        check_profile(r, what);
    }
}

}  // namespace
