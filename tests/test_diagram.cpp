// The general engine against what is known without it: closed forms of ideal and
// regular solutions, an independent one-dimensional solver, identities of the
// model, and the consistency of whole diagrams.
#include "engine/diagram/diagram.h"
#include "engine/diagram/invariants.h"
#include "engine/diagram/tricritical_check.h"
#include "engine/numerics/decimal_grid.h"
#include "engine/numerics/hull.h"
#include "engine/numerics/newton.h"
#include "formats/system_file.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace {

// A symmetric regular solid (L_0 = W) under an ideal liquid that melts far above.
System regular_solid(double W, double first, double last, double step)
{
    return system_of("[A]\nmelting_point = 90000\nenthalpy_of_fusion = 9000000\n"
                     "[B]\nmelting_point = 95000\nenthalpy_of_fusion = 9500000\n"
                     "[solid]\nexcess = [" +
                     std::to_string(W) + "]\n[temperature]\nfirst = " + std::to_string(first) +
                     "\nlast = " + std::to_string(last) + "\nstep = " + std::to_string(step) + "\n");
}

// The gap of a symmetric regular solution in closed form: x in (0, 1/2) with
// ln(x / (1 - x)) = W (2x - 1) / (RT), by bisection on ln x (no Newton, no grid).
double regular_gap_end(double W, double T)
{
    double lo = -745.0;
    double hi = std::log(0.5);
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double x = std::exp(mid);
        const double f = mid - std::log1p(-x) - W * (2.0 * x - 1.0) / (R * T);
        (f < 0.0 ? lo : hi) = mid;
    }
    return std::exp(0.5 * (lo + hi));
}

TEST(Hull, LowerHullOfWorkedPoints)
{
    // A parabola with one point raised (not a vertex) and one collinear (not a vertex).
    const std::vector<HullPoint> points = {{0, 1, 4},  {1, 0, 1},  {2, -1, 3},
                                           {3, -2, 1}, {4, -3, 1}, {5, -4, 4}};
    EXPECT_EQ(lower_hull(points), (std::vector<int>{0, 1, 4, 5}));
    // Near x = 1, where 1 - x alone tells the points apart (1 - 1e-20 rounds to 1),
    // every point is a vertex.
    const std::vector<HullPoint> crowded = {
        {0.0, 1.0, 0.0}, {1.0, 2e-20, -3e-18}, {1.0, 1e-20, -2e-18}, {1.0, 0.0, 0.0}};
    EXPECT_EQ(lower_hull(crowded), (std::vector<int>{0, 1, 2, 3}));
}

// The potentials against the Gibbs energy they come from, by differences: mu_a =
// G + (1 - x) G', x y G'' and the T slope; the curvature's slope, whose third
// derivative of the series needs terms of order 3 and up, and G_L - G_S with its
// two derivatives; with Redlich-Kister terms of every order up to 5.
TEST(Model, PotentialsAreTheDerivativesOfTheGibbsEnergy)
{
    const System s =
        system_of("[A]\nmelting_point = 1000\nenthalpy_of_fusion = 12000\n"
                  "[B]\nmelting_point = 1400\nenthalpy_of_fusion = 15000\n"
                  "[liquid]\nexcess = [[-8000, 2.5], 3000, [-1500, -1], 2200, [-900, 0.5]]\n"
                  "[solid]\nexcess = [[12000, -3], [-4000, 1.5], 2500, [-1800, 1], 1300, [-700, 0.2]]\n");
    const double T = 1100.0;
    for (Phase p : {Phase::liquid, Phase::solid}) {
        for (double x : {0.03, 0.3, 0.5, 0.77, 0.96}) {
            const double h = 1e-5;
            const auto g = [&](double at, double temperature) {
                return gibbs(s, p, composition_from_x(at), temperature);
            };
            const double g1 = (g(x + h, T) - g(x - h, T)) / (2 * h);
            const double g2 = (g(x + h, T) - 2 * g(x, T) + g(x - h, T)) / (h * h);
            const Potentials m = potentials(s, p, composition_from_x(x), T);
            const std::string at = phase_name(s, p) + " at x=" + std::to_string(x);
            // Central differences of step 1e-5 are good to about 1e-8 here.
            EXPECT_NEAR(m.mu_a, g(x, T) + (1 - x) * g1, 1e-8 * (std::fabs(m.mu_a) + R * T)) << at;
            EXPECT_NEAR(m.mu_b, g(x, T) - x * g1, 1e-8 * (std::fabs(m.mu_b) + R * T)) << at;
            EXPECT_NEAR(m.curvature, x * (1 - x) * g2, 1e-2) << at;
            const Potentials warmer = potentials(s, p, composition_from_x(x), T + 1.0);
            EXPECT_NEAR(m.mu_a_dT, warmer.mu_a - m.mu_a, 1e-8) << at << ": linear in T";
            double value = 0.0;
            double slope = 0.0;
            curvature(s, p, x, T, value, slope);
            EXPECT_NEAR(value, m.curvature, 1e-8 * std::fabs(value)) << at;
            const double k = 1e-4;
            double up = 0.0;
            double down = 0.0;
            double unused = 0.0;
            curvature(s, p, x + k, T, up, unused);
            curvature(s, p, x - k, T, down, unused);
            EXPECT_NEAR(slope, (up - down) / (2 * k), 1e-5 * (std::fabs(slope) + R * T))
                << at << ": curvature's slope";
        }
    }
    for (double x : {0.1, 0.45, 0.9}) {
        double d = 0.0;
        double d1 = 0.0;
        double d2 = 0.0;
        phase_difference(s, Phase::liquid, Phase::solid, x, T, d, d1, d2);
        const auto diff = [&](double at) {
            const Composition c = composition_from_x(at);
            return gibbs(s, Phase::liquid, c, T) - gibbs(s, Phase::solid, c, T);
        };
        const double h = 1e-4;
        EXPECT_NEAR(d, diff(x), 1e-8 * R * T) << "G_L - G_S at x=" << x;
        EXPECT_NEAR(d1, (diff(x + h) - diff(x - h)) / (2 * h), 1e-5 * R * T) << "its slope at x=" << x;
        EXPECT_NEAR(d2, (diff(x + h) - 2 * diff(x) + diff(x - h)) / (h * h), 1e-3 * R * T)
            << "its curvature at x=" << x;
    }
}

// The name of every three-phase invariant: its phases by x and whether the
// middle one is stable above (eutectic-type) or below (peritectic-type).
TEST(Invariants, KindOfEveryThreePhaseInvariant)
{
    const bool L = true;
    const bool S = false;
    struct Case {
        bool a, b, c;
        bool middle_above;
        const char* name;
    };
    const Case cases[] = {
        {S, L, S, true, "eutectic"},         {L, L, S, true, "monotectic"},
        {S, L, L, true, "monotectic"},       {L, S, S, true, "metatectic"},
        {S, S, L, true, "metatectic"},       {S, S, S, true, "eutectoid"},
        {L, S, L, true, "eutectic-type"},    {L, L, L, true, "eutectic-type"},
        {L, S, S, false, "peritectic"},      {S, S, L, false, "peritectic"},
        {L, S, L, false, "syntectic"},       {S, S, S, false, "peritectoid"},
        {S, L, S, false, "peritectic-type"}, {L, L, S, false, "peritectic-type"},
        {S, L, L, false, "peritectic-type"}, {L, L, L, false, "peritectic-type"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(invariant_name(three_phase_kind(c.a, c.b, c.c, c.middle_above)), c.name)
            << (c.a ? "L" : "S") << (c.b ? "L" : "S") << (c.c ? "L" : "S")
            << (c.middle_above ? ", middle stable above" : ", middle stable below");
}

// A tricritical point lies where its region's rows stop: one placed between
// two rows that both hold the region (a row near such a top missed it, and the
// top was extrapolated from below) is left out with a doubt naming it; one
// past the last row holding the region, or beyond the rows, stays. Rows of a
// region between two states of one phase closing near 438.7 K, a second
// region of other phases beside it, and the A2/B2 kind of pair too.
TEST(Invariants, TricriticalTopsTheRowsContradict)
{
    const Phase bcc = phase_number(2);
    const Phase a2 = phase_number(1);
    Diagram d;
    for (int T = 430; T <= 441; ++T) {
        Equilibria row{static_cast<double>(T), a2, {}};
        if (T <= 438) {
            const double half = 0.00025 * (438.7 - T);
            row.ties.push_back({bcc, composition_from_x(0.3736 - half), bcc,
                                composition_from_x(0.3736 + half), 0.0, 0.0, 0.0});
        }
        row.ties.push_back({a2, composition_from_x(0.5), bcc, composition_from_x(0.6), 0.0, 0.0, 0.0});
        d.rows.push_back(row);
    }
    const auto top = [&](double T, Phase p, Phase q, double x) {
        return Invariant{
            InvariantKind::tricritical, T, 2, {p, q}, {composition_from_x(x), composition_from_x(x)}, false};
    };
    d.invariants = {top(434.004, bcc, bcc, 0.37365), top(436.5, a2, bcc, 0.3736),
                    top(438.7, bcc, bcc, 0.3736), top(441.5, a2, bcc, 0.55)};
    EXPECT_TRUE(top_contradicted(d.rows, d.invariants[0]));
    EXPECT_FALSE(top_contradicted(d.rows, d.invariants[1])) << "rows of other phases";
    EXPECT_FALSE(top_contradicted(d.rows, d.invariants[2])) << "the row above no longer holds it";
    EXPECT_FALSE(top_contradicted(d.rows, d.invariants[3])) << "no row above";
    Invariant far = d.invariants[0];
    far.at[0] = far.at[1] = composition_from_x(0.2);
    EXPECT_FALSE(top_contradicted(d.rows, far)) << "the region elsewhere in x";
    doubt_contradicted_tops(d);
    ASSERT_EQ(d.invariants.size(), 3u);
    EXPECT_EQ(d.invariants[0].T, 436.5);
    ASSERT_EQ(d.doubts.size(), 1u);
    EXPECT_EQ(d.doubts[0].T, 434.004);
    EXPECT_NE(d.doubts[0].why.find("434.00"), std::string::npos) << d.doubts[0].why;
}

// A root beside the edge of where the equations hold, as an ordered state's
// potentials end where it sets in: (1 - v)^(1/8) = 1/2 at v = 1 - 2^-8,
// nothing beyond v = 1. Every full step from below lands beyond the edge,
// by some eightfold; the root to the last bit, and, each step starting from
// twice the share last taken, in 15 evaluations (18 from a full step each time).
TEST(Newton, RootBesideWhereTheEquationsEnd)
{
    int evaluations = 0;
    const auto evaluate = [&](const double& v, double f[4], double j[4][4]) {
        ++evaluations;
        f[0] = v > 1.0 ? std::nan("") : std::pow(1.0 - v, 0.125) - 0.5;
        j[0][0] = v > 1.0 ? std::nan("") : -0.125 * std::pow(1.0 - v, -0.875);
    };
    const auto apply = [](const double& v, const double dv[4], double scale) { return v + scale * dv[0]; };
    double v = 0.0;
    EXPECT_EQ(newton(1, v, evaluate, apply), NewtonResult::converged);
    EXPECT_EQ(v, 1.0 - 0x1p-8);
    EXPECT_LE(evaluations, 15);
}

// f(v) = r + sqrt(v) has no root, and nothing beyond v = 0: its residual
// falls towards r as v halves, by ever less, as a tie-line's does where it
// is sought across where one end's state ceases. Far from a root (r = 0.17)
// the crawl ends once it has stalled, where it went on for 180 evaluations;
// nearly at one (r = 1e-9) it goes on as before, as an invariant's
// ill-conditioned equations crawl to the digits they need.
TEST(Newton, CrawlFarFromARootEnds)
{
    int crawled[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const double r = k == 0 ? 0.17 : 1e-9;
        const auto evaluate = [&](const double& v, double f[4], double j[4][4]) {
            ++crawled[k];
            f[0] = v < 0.0 ? std::nan("") : r + std::sqrt(v);
            j[0][0] = v < 0.0 ? std::nan("") : 0.5 / std::sqrt(v);
        };
        const auto apply = [](const double& v, const double dv[4], double scale) {
            return v + scale * dv[0];
        };
        double v = 0.01;
        EXPECT_EQ(newton(1, v, evaluate, apply), NewtonResult::failed) << r;
        EXPECT_GE(v, 0.0);
    }
    EXPECT_LE(crawled[0], 64);
    EXPECT_GT(crawled[1], 4 * crawled[0]);
}

// Ideal liquid and solid: xs = (1 - b) / (a - b), xl = a xs with a = exp(-dG_A / RT)
// and b = exp(-dG_B / RT), at every one of the 473 temperatures.
TEST(Diagram, IdealSystemFollowsTheClosedForm)
{
    const System s = example_system("builtin");
    const Diagram d = compute_diagram(s);
    ASSERT_EQ(d.rows.size(), 473u);
    EXPECT_TRUE(d.invariants.empty());
    EXPECT_TRUE(d.doubts.empty());
    for (const Equilibria& row : d.rows) {
        ASSERT_EQ(row.ties.size(), 1u) << "T=" << row.T;
        const double RT = R * row.T;
        const double a = std::exp(-(50208.0 - 29.7617 * row.T) / RT);
        const double b = std::exp(-(36944.72 - 30.4975 * row.T) / RT);
        const double xs = (1.0 - b) / (a - b);
        const TieLine& t = row.ties[0];
        EXPECT_EQ(t.low_phase, Phase::liquid) << "T=" << row.T;
        EXPECT_NEAR(t.low.x, a * xs, 2e-10) << "liquidus at T=" << row.T;
        EXPECT_NEAR(t.high.x, xs, 2e-10) << "solidus at T=" << row.T;
    }
}

// Lenses a few kelvin wide, where equal potentials barely pin the compositions:
// every tie-line to 1e-13 of the smaller fraction, every lever fraction to 1e-11.
TEST(Diagram, NarrowLensesToTheLastDigit)
{
    struct Case {
        const char* name;
        const char* toml;
        double first, last;
    };
    const Case cases[] = {
        {"lens 8 K wide",
         "[A]\nmelting_point = 1300.5\nenthalpy_of_fusion = 10404\n"
         "[B]\nmelting_point = 1292.5\nenthalpy_of_fusion = 10340\n",
         1292.6, 1300.4},
        {"lens 0.7 K wide",
         "[A]\nmelting_point = 1000.2\nenthalpy_of_fusion = 12000\n"
         "[B]\nmelting_point = 1000.9\nenthalpy_of_fusion = 12500\n",
         1000.21, 1000.89},
    };
    for (const Case& c : cases) {
        System s = system_of(c.toml);
        s.range = {c.first, c.last, (c.last - c.first) / 40.0, 41};
        const Diagram d = compute_diagram(s);
        EXPECT_TRUE(d.doubts.empty()) << c.name;
        for (const Equilibria& row : d.rows) {
            ASSERT_EQ(row.ties.size(), 1u) << c.name << " T=" << row.T;
            const TieLine& t = row.ties[0];
            const Lens exact = ideal_lens(s, row.T);
            const long double liquid = t.low_phase == Phase::liquid ? t.low.x : t.high.x;
            const long double solid = t.low_phase == Phase::liquid ? t.high.x : t.low.x;
            const auto tolerance = [](long double x) { return 1e-13L * std::min(x, 1.0L - x) + 4e-16L; };
            EXPECT_LE(std::fabs(liquid - exact.xl), tolerance(exact.xl))
                << c.name << " liquid at T=" << row.T;
            EXPECT_LE(std::fabs(solid - exact.xs), tolerance(exact.xs)) << c.name << " solid at T=" << row.T;
            const long double x0 = 0.5L * (exact.xl + exact.xs);
            const long double f = (x0 - liquid) / (solid - liquid);
            EXPECT_NEAR(static_cast<double>(f), 0.5, 1e-11) << c.name << " lever fraction at T=" << row.T;
        }
    }
}

// W / (2R) is the critical temperature and x = 1/2 the critical composition; below
// it the gap ends solve ln(x / (1 - x)) = W (2x - 1) / (RT), symmetric about 1/2.
TEST(Diagram, RegularSolidGapAndItsCriticalPoint)
{
    const double W = 20000.0;
    const Diagram d = compute_diagram(regular_solid(W, 900.0, 1300.0, 0.5));
    EXPECT_TRUE(d.doubts.empty());
    ASSERT_EQ(d.invariants.size(), 1u);
    const Invariant& c = d.invariants[0];
    EXPECT_EQ(c.kind, InvariantKind::critical);
    EXPECT_NEAR(c.T, W / (2 * R), 1e-8);
    EXPECT_NEAR(c.at[0].x, 0.5, 1e-9);
    for (const Equilibria& row : d.rows) {
        if (row.T > W / (2 * R)) {
            EXPECT_TRUE(row.ties.empty()) << "a gap above the critical point at T=" << row.T;
            continue;
        }
        if (W / (2 * R) - row.T < 0.5)  // within 1e-2 of x = 1/2: the last rows may be too shallow
            continue;
        ASSERT_EQ(row.ties.size(), 1u) << "T=" << row.T;
        const double x = regular_gap_end(W, row.T);
        EXPECT_NEAR(row.ties[0].low.x, x, 1e-9 * x + 1e-13) << "T=" << row.T;
        EXPECT_NEAR(row.ties[0].high.y, x, 1e-9 * x + 1e-13) << "symmetric end at T=" << row.T;
    }
}

// Terminal solubilities from 1e-3 down to 1e-14, each to nine significant digits,
// at both ends (the A-rich one held as 1 - x).
TEST(Diagram, DiluteSolubilitiesKeepTheirRelativePrecision)
{
    const double T = 1000.0;
    for (double target : {1e-3, 1e-6, 1e-9, 1e-12, 1e-14}) {
        const double W = -std::log(target) * R * T;  // ln x ~ -W / RT for small x
        const Diagram d = compute_diagram(regular_solid(W, T, T, 1.0));
        ASSERT_EQ(d.rows.size(), 1u);
        ASSERT_EQ(d.rows[0].ties.size(), 1u) << "solubility near " << target;
        const double x = regular_gap_end(W, T);
        const TieLine& t = d.rows[0].ties[0];
        EXPECT_NEAR(t.low.x / x, 1.0, 1e-9) << "solubility of A near " << target;
        EXPECT_NEAR(t.high.y / x, 1.0, 1e-9) << "solubility of B near " << target;
    }
}

// The double root of G_L - G_S, worked by hand for dS_A = dS_B: a congruent
// maximum at x = 0.45, T = 1302.5 K and a minimum at x = 0.5625, T = 1046.875 K.
TEST(Diagram, CongruentPointsAtTheirClosedForms)
{
    struct Case {
        const char* file;
        double x, T;
    };
    for (const Case& c :
         {Case{"congruent-maximum", 0.45, 1302.5}, Case{"congruent-minimum", 0.5625, 1046.875}}) {
        const Diagram d = compute_diagram(example_system(c.file));
        ASSERT_EQ(d.invariants.size(), 1u) << c.file;
        EXPECT_EQ(d.invariants[0].kind, InvariantKind::congruent) << c.file;
        EXPECT_NEAR(d.invariants[0].T, c.T, 1e-8) << c.file;
        EXPECT_NEAR(d.invariants[0].at[0].x, c.x, 1e-9) << c.file;
    }
}

// The temperatures are swept in segments that threads share: the same diagram,
// to the bit, on one thread or several, events near a segment's first row included.
TEST(Diagram, SameOnAnyNumberOfThreads)
{
    for (const char* file : {"eutectic", "peritectic", "monotectic", "solid-gap", "congruent-minimum"}) {
        const System s = example_system(file);
        const Diagram one = compute_diagram(s, 1);
        EXPECT_FALSE(one.invariants.empty()) << file;
        for (const unsigned threads : {2U, 7U})
            EXPECT_EQ(first_difference(one, compute_diagram(s, threads)), "")
                << file << " on " << threads << " threads";
    }
    // One row per temperature, in order, wherever the segments join (their
    // count is even and at most the temperatures').
    const System s = example_system("eutectic");
    for (const std::size_t n : {1U, 2U, 3U, 97U, 193U}) {
        std::vector<double> temperatures;
        for (std::size_t i = 0; i < n; ++i)
            temperatures.push_back(900.0 + 0.5 * static_cast<double>(i));
        const Diagram d = compute_diagram(s, temperatures, 2);
        ASSERT_EQ(d.rows.size(), n) << n << " temperatures";
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_EQ(d.rows[i].T, temperatures[i]) << "row " << i << " of " << n;
    }
}

// Exactly at a pure melting point the region at that edge has no width: rounding
// alone must not leave slivers of it (here near x = 1e-14) as rows or doubts.
TEST(Diagram, NoSliverAtAPureMeltingPoint)
{
    const System s = system_of("[A]\nmelting_point = 1500\nenthalpy_of_fusion = 15000\n"
                               "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n"
                               "[solid]\nexcess = [10000, 4000]\n[temperature]\nfirst = 899\nlast = 901\n");
    const Diagram d = compute_diagram(s);
    EXPECT_TRUE(d.doubts.empty()) << (d.doubts.empty() ? "" : d.doubts[0].why);
    ASSERT_EQ(d.rows.size(), 3u);
    EXPECT_EQ(d.rows[1].T, 900.0);
    ASSERT_EQ(d.rows[1].ties.size(), 1u) << "only the L+S region towards A";
    EXPECT_GT(d.rows[1].ties[0].low.x, 0.2);
}

// Just below a congruent maximum the solid's field and the two lenses beside it
// span less than the grid's step (1/512): the solid dips below the liquid only
// between two grid points. Each row still has both lenses, whose ends have
// equal potentials by the closed forms of an ideal liquid and a regular solid.
TEST(Diagram, LensesAtACongruentMaximumNarrowerThanTheGrid)
{
    const double L0 = -10000.0;
    System s = system_of("[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n"
                         "[B]\nmelting_point = 1100\nenthalpy_of_fusion = 11000\n"
                         "[solid]\nexcess = [-10000]\n");
    const double top = 1302.5;  // at x = 0.45, where the fusion energies' mean equals -L0 x y
    s.range = {top - 1e-4, top - 1e-7, 3.33e-6, 31};
    const Diagram d = compute_diagram(s);
    EXPECT_TRUE(d.doubts.empty());
    ASSERT_EQ(d.rows.size(), 31u);
    for (const Equilibria& row : d.rows) {
        ASSERT_EQ(row.ties.size(), 2u) << "T=" << row.T;
        EXPECT_LT(row.ties[1].high.x - row.ties[0].low.x, 1.0 / 512) << "T=" << row.T;
        const double RT = R * row.T;
        const double fusion_a = 10000.0 * (1.0 - row.T / 1000.0);  // G of A's liquid less its solid
        const double fusion_b = 11000.0 * (1.0 - row.T / 1100.0);
        for (const TieLine& t : row.ties) {
            const Composition& liquid = t.low_phase == Phase::liquid ? t.low : t.high;
            const Composition& solid = t.low_phase == Phase::liquid ? t.high : t.low;
            EXPECT_NE(t.low_phase, t.high_phase) << "T=" << row.T;
            const double gap_a = RT * std::log(liquid.x / solid.x) + fusion_a - L0 * solid.y * solid.y;
            const double gap_b = RT * std::log(liquid.y / solid.y) + fusion_b - L0 * solid.x * solid.x;
            EXPECT_LT(std::fabs(gap_a), 1e-9 * RT) << "mu_A differs at T=" << row.T;
            EXPECT_LT(std::fabs(gap_b), 1e-9 * RT) << "mu_B differs at T=" << row.T;
        }
    }
}

// Every example: the invariants it is made to show, no doubt, rows whose ends
// have equal potentials and do not overlap, and every change between two
// temperatures accounted for by an invariant or a pure melting point between them.
TEST(Diagram, ExamplesAreConsistent)
{
    struct Case {
        const char* file;
        std::vector<InvariantKind> kinds;
    };
    using K = InvariantKind;
    const std::vector<Case> cases = {
        {"builtin", {}},
        {"cu-ni", {}},
        {"eutectic", {K::eutectic}},
        {"peritectic", {K::peritectic}},
        {"monotectic", {K::peritectic, K::monotectic, K::critical}},
        {"congruent-minimum", {K::congruent}},
        {"congruent-maximum", {K::congruent}},
        {"solid-gap", {K::critical}},
    };
    for (const Case& c : cases) {
        const System s = example_system(c.file);
        const Diagram d = compute_diagram(s);
        EXPECT_TRUE(d.doubts.empty()) << c.file << ": " << (d.doubts.empty() ? "" : d.doubts[0].why);
        std::vector<K> kinds;
        for (const Invariant& inv : d.invariants)
            kinds.push_back(inv.kind);
        EXPECT_EQ(kinds, c.kinds) << c.file;
        for (std::size_t i = 0; i < d.rows.size(); ++i) {
            const Equilibria& row = d.rows[i];
            for (std::size_t k = 0; k < row.ties.size(); ++k) {
                EXPECT_LT(row.ties[k].residual, 1e-9) << c.file << " T=" << row.T;
                EXPECT_LT(row.ties[k].low.x, row.ties[k].high.x) << c.file << " T=" << row.T;
                if (k > 0) {
                    EXPECT_LE(row.ties[k - 1].high.x, row.ties[k].low.x) << c.file << " T=" << row.T;
                }
            }
            if (i == 0 || row.ties.size() == d.rows[i - 1].ties.size())
                continue;
            const double lo = d.rows[i - 1].T - 0.01;
            const double hi = row.T + 0.01;
            bool explained = false;
            for (const Invariant& inv : d.invariants)
                explained = explained || (inv.T >= lo && inv.T <= hi);
            for (const EdgeEvent& m : d.melting)
                explained = explained || (m.T >= lo && m.T <= hi);
            // A gap closing to its critical point thins below 1e-3 before it ends.
            for (const Invariant& inv : d.invariants)
                explained = explained || (inv.kind == K::critical && std::fabs(inv.T - row.T) < 1.0);
            EXPECT_TRUE(explained) << c.file << ": the regions change between " << d.rows[i - 1].T << " and "
                                   << row.T << " K with nothing there";
        }
    }
}

// A three-phase invariant: equal potentials of both components across its three
// phases, and the two-phase regions around it ending at its compositions; a
// temperature exactly at it holds the pairs stable just above.
TEST(Diagram, EutecticJoinsItsThreeRegions)
{
    const System s = example_system("eutectic");
    const Diagram d = compute_diagram(s);
    ASSERT_EQ(d.invariants.size(), 1u);
    const Invariant e = d.invariants[0];
    Potentials m[3];
    for (int i = 0; i < 3; ++i)
        m[i] = potentials(s, e.phase[i], e.at[i], e.T);
    for (int i = 1; i < 3; ++i) {
        EXPECT_NEAR(m[i].mu_a, m[0].mu_a, 1e-9 * R * e.T) << "phase " << i;
        EXPECT_NEAR(m[i].mu_b, m[0].mu_b, 1e-9 * R * e.T) << "phase " << i;
    }
    // A range whose middle temperature is the eutectic's, to the last digit.
    System at_invariant = s;
    at_invariant.range = {e.T - 1e-3, e.T + 1e-3, 1e-3, 3};
    std::vector<Doubt> doubts;
    const Equilibria below = equilibria_at(s, make_grid(s), e.T - 1e-4, doubts);
    ASSERT_EQ(below.ties.size(), 1u);
    EXPECT_NEAR(below.ties[0].low.x, e.at[0].x, 1e-5);
    EXPECT_NEAR(below.ties[0].high.x, e.at[2].x, 1e-5);
    const Diagram exact = compute_diagram(at_invariant);
    ASSERT_EQ(exact.invariants.size(), 1u);
    ASSERT_EQ(exact.rows[1].T, exact.invariants[0].T) << "the range's middle row is not at the eutectic";
    ASSERT_EQ(exact.rows[1].ties.size(), 2u) << "the pairs stable just above the eutectic";
    EXPECT_NEAR(exact.rows[1].ties[0].low.x, e.at[0].x, 1e-9);
    EXPECT_NEAR(exact.rows[1].ties[0].high.x, e.at[1].x, 1e-9);
    EXPECT_NEAR(exact.rows[1].ties[1].high.x, e.at[2].x, 1e-9);
    EXPECT_TRUE(doubts.empty());
}

}  // namespace

namespace {

// Events crowded into one step: each bracketed until it is alone, and no
// invariant whose phases coincide.
TEST(Diagram, EventsCloseTogether)
{
    using K = InvariantKind;
    const std::string gap = "[A]\nmelting_point = 1200.5\nenthalpy_of_fusion = 12000\n"
                            "[B]\nmelting_point = 1000.5\nenthalpy_of_fusion = 11000\n"
                            "[temperature]\nfirst = 700\nlast = 1300\n[solid]\nexcess = [";
    struct Case {
        const char* name;
        std::string toml;
        std::vector<K> kinds;
        double T, x;  // of the last invariant
        double tolerance;
    };
    const double W_below = 12982.87697473008;  // its critical point 6e-4 K below the solidus
    const std::vector<Case> cases = {
        {"critical point just below the solidus",
         gap + "12982.87697473008]\n",
         {K::congruent, K::critical},
         W_below / (2 * R),
         0.5,
         1e-8},
        {"critical point just above the solidus",
         gap + "12982.89697473008]\n",
         {K::congruent, K::peritectic},
         780.6905,
         0.4318877,
         1e-4},
        {"congruent minimum 0.53 K below a melting point",
         "[A]\nmelting_point = 2669.34\nenthalpy_of_fusion = 25120\n"
         "[B]\nmelting_point = 2649.87\nenthalpy_of_fusion = 36869\n"
         "[solid]\nexcess = [[-13875, -13.993], [19984, 10.315], [-3150, 3.035]]\n"
         "[temperature]\nfirst = 1324\nlast = 2700\nstep = 2\n",
         {K::congruent},
         2668.8131,
         0.99341,
         1e-4},
    };
    for (const Case& c : cases) {
        const Diagram d = compute_diagram(system_of(c.toml));
        EXPECT_TRUE(d.doubts.empty()) << c.name << ": " << (d.doubts.empty() ? "" : d.doubts[0].why);
        std::vector<K> kinds;
        for (const Invariant& inv : d.invariants) {
            kinds.push_back(inv.kind);
            for (int i = 1; i < inv.phases && inv.kind != K::congruent; ++i)
                EXPECT_GT(inv.at[i].x - inv.at[i - 1].x, 1e-6) << c.name << ": phases that coincide";
        }
        ASSERT_EQ(kinds, c.kinds) << c.name;
        EXPECT_NEAR(d.invariants.back().T, c.T, c.tolerance) << c.name;
        EXPECT_NEAR(d.invariants.back().at[0].x, c.x, c.tolerance) << c.name;
    }
}

// Solubilities below the smallest double are results: x = 0 or 1 exactly. A gap
// at 1 K to 200 K follows its closed form wherever a double holds it; under an
// interaction of 1e7 J/mol the solids are pure and the eutectic solves
// exp(-dG_A / RT) + exp(-dG_B / RT) = 1, the liquid at x = exp(-dG_A / RT).
TEST(Diagram, BeyondTheDoubles)
{
    const double W = 20000.0;
    const Diagram cold = compute_diagram(regular_solid(W, 1.0, 200.0, 1.0));
    EXPECT_TRUE(cold.doubts.empty());
    for (const Equilibria& row : cold.rows) {
        ASSERT_EQ(row.ties.size(), 1u) << "T=" << row.T;
        const double x = regular_gap_end(W, row.T);
        const TieLine& t = row.ties[0];
        if (x < 1e-300) {
            EXPECT_EQ(t.low.x, 0.0) << "T=" << row.T;
            EXPECT_EQ(t.high.x, 1.0) << "T=" << row.T;
        } else {
            EXPECT_NEAR(t.low.x / x, 1.0, 1e-9) << "T=" << row.T;
        }
    }
    const System strong =
        system_of("[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n"
                  "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n"
                  "[solid]\nexcess = [1e7]\n[temperature]\nfirst = 400\nlast = 1100\nstep = 10\n");
    const Diagram d = compute_diagram(strong);
    EXPECT_TRUE(d.doubts.empty()) << (d.doubts.empty() ? "" : d.doubts[0].why);
    ASSERT_EQ(d.invariants.size(), 1u);
    // dG = dH (Tm - T) / Tm, as the file gives Tm.
    const auto liquid_a = [&](double T) { return std::exp(-10000.0 * (1000.0 - T) / 1000.0 / (R * T)); };
    const auto liquid_b = [&](double T) { return std::exp(-9000.0 * (900.0 - T) / 900.0 / (R * T)); };
    double lo = 400.0;
    double hi = 900.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (liquid_a(mid) + liquid_b(mid) < 1.0 ? lo : hi) = mid;
    }
    const Invariant& e = d.invariants[0];
    EXPECT_EQ(e.kind, InvariantKind::eutectic);
    EXPECT_NEAR(e.T, lo, 1e-8);
    EXPECT_NEAR(e.at[1].x, liquid_a(lo), 1e-10);
    EXPECT_EQ(e.at[0].x, 0.0);
    EXPECT_EQ(e.at[2].x, 1.0);
    for (const Equilibria& row : d.rows)  // two phases coexist below A's melting point, none at or above it
        EXPECT_EQ(row.ties.empty(), row.T >= 1000.0) << "T=" << row.T;
}

// Grid temperatures are the decimals typed: first and step counted in units of
// their last digit, one division.
TEST(DecimalGrid, PointsAreTheDecimalsTyped)
{
    struct Case {
        double first, step;
        long long i;
        const char* expected;
    };
    const Case cases[] = {
        {0.0, 0.1, 14186, "1418.6"},    {1000.3, 0.1, 3, "1000.6"},
        {0.0, 0.01, 135789, "1357.89"}, {1215.0, 1.0, 472, "1687"},
        {0.5, 0.25, 3, "1.25"},         {0.0, 1e6, 3, "3e+06"},
        {0.0, 1e-14, 3, "3e-14"},       {607.6814713338503, 0.001, 0, "607.6814713338503"},
    };
    for (const Case& c : cases) {
        char text[32];
        const auto end =
            std::to_chars(text, text + sizeof text, decimal_grid_point(c.first, c.step, c.i)).ptr;
        EXPECT_EQ(std::string(text, end), c.expected) << c.first << " + " << c.i << " x " << c.step;
    }
}

}  // namespace
