// Solidification against closed forms: the Scheil integral for a constant
// partition coefficient, the ideal lens's liquidus, solidus and lever rule, the
// mass balance of the whole crystal, and a congruent composition.
#include "builtin/builtin_system.h"
#include "engine/diagram/diagram.h"
#include "engine/freezing/scheil.h"
#include "engine/freezing/solidify.h"
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
        // The minor component's partition coefficient, from its own fractions.
        closed(r.liquidus, xl, xs);
        EXPECT_NEAR(r.partition, x0 < 0.5 ? xs / x0 : (1.0 - xs) / (1.0 - x0), 1e-9) << what;
        closed(r.solidus, xl, xs);
        EXPECT_NEAR(xs, x0, 1e-12) << what << ": solidus " << r.solidus;
        for (const SolidificationRow& row : r.rows) {
            if (row.T >= r.liquidus || row.T <= r.solidus)
                continue;
            closed(row.T, xl, xs);
            EXPECT_NEAR(row.lever.f, (x0 - xl) / (xs - xl), 1e-10) << what << " T=" << row.T;
            EXPECT_LE(row.scheil.f, row.lever.f + 1e-12) << what << ": Scheil freezes later, T=" << row.T;
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
        EXPECT_NEAR(before.scheil.f, 1.0 - r.scheil_remaining, 1e-12) << what;
        EXPECT_EQ(after.scheil.f, 1.0) << what;
        EXPECT_TRUE(std::isnan(after.scheil.xl)) << what << ": no liquid left";
        check_profile(r, what);
        // The eutectic's share: Scheil's liquid at the end, and by the lever
        // rule the liquid just above the eutectic, which the balance of the
        // row above it on the lever path gives as well.
        EXPECT_EQ(r.eutectic_scheil, r.scheil_remaining) << what;
        EXPECT_NEAR(r.eutectic_lever, 1.0 - before.lever.f, 1e-12) << what;
        EXPECT_NEAR(r.eutectic_lever, (x0 - before.lever.xs) / (before.lever.xl - before.lever.xs), 1e-12)
            << what;
        EXPECT_GT(r.eutectic_scheil, r.eutectic_lever)
            << what << ": the solid's segregation leaves more liquid";
    }
    const Solidification lens = solidify(example_system("cu-ni"), 0.5, 1.0);
    EXPECT_TRUE(std::isnan(lens.eutectic_lever) && std::isnan(lens.eutectic_scheil))
        << "no eutectic in Cu-Ni";
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
    EXPECT_EQ(r.rows[0].lever.f, 0.0);
    EXPECT_EQ(r.rows[1].lever.f, 1.0);
    EXPECT_EQ(r.rows[0].scheil.f, 0.0);
    EXPECT_EQ(r.rows[1].scheil.f, 1.0);
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
        for (std::size_t i = 1; i < r.rows.size(); ++i) {
            EXPECT_LE(r.rows[i].T, r.rows[i - 1].T) << what << ": rows in descending T";
            // The two rows of an invariant: before its reaction, then after; on
            // cooling through these kinds, solid only forms.
            if (r.rows[i].T == r.rows[i - 1].T) {
                EXPECT_LE(r.rows[i - 1].lever.f, r.rows[i].lever.f) << what << " T=" << r.rows[i].T;
                EXPECT_LE(r.rows[i - 1].scheil.f, r.rows[i].scheil.f) << what << " T=" << r.rows[i].T;
            }
        }
        check_profile(r, what);
    }
}

// The lever path through the peritectic: just above it the liquid and the solid
// stable above (at[2]), just below it the liquid and the middle solid.
TEST(Solidify, PeritecticRowsHoldThePairsOfEachSide)
{
    const System s = example_system("peritectic");
    const Diagram d = compute_diagram(s);
    ASSERT_EQ(d.invariants.size(), 1u);
    const Invariant& p = d.invariants[0];
    const Solidification r = solidify(s, 0.3, 1.0);
    ASSERT_TRUE(r.doubts.empty());
    std::size_t at = 0;
    while (at + 1 < r.rows.size() &&
           !(std::fabs(r.rows[at].T - p.T) < 1e-9 && r.rows[at + 1].T == r.rows[at].T))
        ++at;
    ASSERT_LT(at + 1, r.rows.size()) << "no pair of rows at the peritectic";
    const SolidificationRow& above = r.rows[at];
    const SolidificationRow& below = r.rows[at + 1];
    EXPECT_NEAR(above.lever.xs, p.at[2].x, 1e-9);
    EXPECT_NEAR(above.lever.xl, p.at[0].x, 1e-9);
    EXPECT_NEAR(below.lever.xs, p.at[1].x, 1e-9);
    EXPECT_NEAR(below.lever.f, (0.3 - p.at[0].x) / (p.at[1].x - p.at[0].x), 1e-9);
}

// Lenses a few kelvin wide freeze whatever the step: the path is one
// computation and the rows sample it, so the same temperature reads the same
// state at any step, and the lever rule follows the lens's closed form.
TEST(Solidify, NarrowLensesFreezeAtAnyStep)
{
    struct Case {
        const char* name;
        const char* toml;
        double x0;
    };
    const char* lens_8K = "[A]\nmelting_point = 1300.5\nenthalpy_of_fusion = 10404\n"
                          "[B]\nmelting_point = 1292.5\nenthalpy_of_fusion = 10340\n";
    const char* lens_07K = "[A]\nmelting_point = 1000.2\nenthalpy_of_fusion = 12000\n"
                           "[B]\nmelting_point = 1000.9\nenthalpy_of_fusion = 12500\n";
    for (const Case& c : {Case{"8 K lens", lens_8K, 0.1}, Case{"8 K lens", lens_8K, 0.5},
                          Case{"0.7 K lens", lens_07K, 0.078}}) {
        const System s = system_of(c.toml);
        const std::string what = std::string(c.name) + " x0=" + std::to_string(c.x0);
        const Solidification coarse = solidify(s, c.x0, 1.0);
        const Solidification fine = solidify(s, c.x0, 1e-4);
        for (const Solidification* r : {&coarse, &fine}) {
            ASSERT_TRUE(r->doubts.empty()) << what << ": " << r->doubts[0].why;
            EXPECT_EQ(r->scheil_end, PathEnd::pure_component) << what;
            check_profile(*r, what);
        }
        EXPECT_EQ(coarse.liquidus, fine.liquidus) << what;
        EXPECT_EQ(coarse.scheil_end_T, fine.scheil_end_T) << what;
        for (const SolidificationRow& row : fine.rows) {
            if (row.T >= fine.liquidus || row.T <= fine.solidus)
                continue;
            const Lens exact = ideal_lens(s, row.T);
            const long double f = (c.x0 - exact.xl) / (exact.xs - exact.xl);
            // Near x = 1/2 two neighbouring doubles of x move the residual by 1e-16 RT:
            // 2e-14 along the lens, which is 1.3e-11 of its width there.
            EXPECT_NEAR(row.lever.f, static_cast<double>(f), 2e-11) << what << " T=" << row.T;
        }
        // A temperature both grids hold reads one Scheil state.
        for (const SolidificationRow& a : coarse.rows) {
            for (const SolidificationRow& b : fine.rows) {
                if (a.T == b.T && a.T < coarse.liquidus && a.T > coarse.scheil_end_T) {
                    EXPECT_NEAR(a.scheil.f, b.scheil.f, 1e-10) << what << " T=" << a.T;
                }
            }
        }
    }
}

// Rows at the multiples of the step are the decimals asked for, which print as
// such; the rows at exactly a boundary or an end keep their exact values.
TEST(Solidify, RowsAreTheDecimalsAskedFor)
{
    for (const double step : {0.1, 0.01, 0.25}) {
        const Solidification r = solidify(builtin_system(), 0.5, step);
        ASSERT_TRUE(r.doubts.empty());
        long on_grid = 0;
        for (const SolidificationRow& row : r.rows) {
            const double k = std::round(row.T / step);
            const double decimal = k / std::round(1.0 / step);
            if (row.T == r.liquidus || row.T == r.solidus || row.T == r.scheil_end_T)
                continue;
            EXPECT_EQ(row.T, decimal) << "step " << step << ": row " << row.T;
            ++on_grid;
        }
        EXPECT_GT(on_grid, 1000) << "step " << step;
    }
}

// A step that would need more than a million rows is refused before any row is
// made, with the smallest step that fits.
TEST(Solidify, TooManyRowsAreRefused)
{
    const Solidification r = solidify(builtin_system(), 0.3, 1e-4);
    EXPECT_GT(r.rows_needed, MAX_SOLIDIFICATION_ROWS);
    EXPECT_TRUE(r.rows.empty());
    const double span = r.liquidus - r.scheil_end_T;
    EXPECT_LE(span / r.smallest_step, static_cast<double>(MAX_SOLIDIFICATION_ROWS - 10));
    EXPECT_GT(span / r.smallest_step, 0.9 * static_cast<double>(MAX_SOLIDIFICATION_ROWS))
        << "not needlessly large";
    EXPECT_GE(smallest_step_of(builtin_system()), 1e-9 * 1687.0);
}

// Dilute alloys down to 1e-12 from either end: the Scheil path to its end, and a
// profile whose mean is x0 (a lever balance of the minor component, summed from
// its own fractions).
TEST(Solidify, DiluteAlloysBalance)
{
    const System eutectic = system_of("[A]\nmelting_point = 1200.4\nenthalpy_of_fusion = 14000\n"
                                      "[B]\nmelting_point = 950.6\nenthalpy_of_fusion = 11000\n"
                                      "[liquid]\nexcess = [-5000]\n[solid]\nexcess = [35000]\n");
    struct Case {
        const char* name;
        const System& s;
        double x0;
        PathEnd end;
    };
    const System builtin = builtin_system();
    for (const Case& c : {Case{"eutectic", eutectic, 1e-12, PathEnd::invariant},
                          Case{"eutectic", eutectic, 1e-11, PathEnd::invariant},
                          Case{"eutectic", eutectic, 3e-11, PathEnd::invariant},
                          Case{"eutectic", eutectic, 0.999999999999, PathEnd::invariant},
                          Case{"built-in", builtin, 1e-12, PathEnd::pure_component},
                          Case{"built-in", builtin, 0.999999999999, PathEnd::pure_component}}) {
        const std::string what = std::string(c.name) + " x0=" + std::to_string(c.x0);
        const Solidification r = solidify(c.s, c.x0, 1.0);
        ASSERT_TRUE(r.doubts.empty()) << what << ": " << r.doubts[0].why;
        EXPECT_EQ(r.scheil_end, c.end) << what;
        EXPECT_LT(r.solidus, r.liquidus) << what;
        EXPECT_GT(r.scheil_remaining, 0.0) << what;
        const bool minor_a = c.x0 < 0.5;
        long double mean = 0.0L;
        for (std::size_t i = 1; i < r.g.size(); ++i) {
            const long double a = minor_a ? r.x_solid[i] : 1.0L - r.x_solid[i];
            const long double b = minor_a ? r.x_solid[i - 1] : 1.0L - r.x_solid[i - 1];
            mean += 0.5L * (a + b) * (r.g[i] - r.g[i - 1]);
        }
        const long double minor = minor_a ? c.x0 : 1.0L - c.x0;
        // Near x = 1 the profile's doubles hold B to 1e-16 absolute: 1e-4 of 1e-12.
        EXPECT_NEAR(static_cast<double>(mean / minor), 1.0, minor_a ? 1e-4 : 1e-3) << what;
    }
}

// An alloy at the eutectic's liquid composition freezes whole at the eutectic:
// liquidus and solidus are its temperature, and the rows descend.
TEST(Solidify, AtTheEutecticComposition)
{
    const System s = example_system("eutectic");
    const Invariant e = compute_diagram(s).invariants.at(0);
    const Solidification r = solidify(s, e.at[1].x, 1.0);
    ASSERT_TRUE(r.doubts.empty());
    EXPECT_NEAR(r.liquidus, e.T, 1e-9);
    EXPECT_EQ(r.solidus, r.liquidus);
    EXPECT_EQ(r.scheil_end, PathEnd::invariant);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].lever.f, 0.0);
    EXPECT_EQ(r.rows[1].lever.f, 1.0);
    EXPECT_EQ(r.rows[1].T, r.rows[0].T);
}

}  // namespace
