#include "engine/diagram/tangent_check.h"

#include "engine/diagram/equilibria.h"
#include "engine/numerics/bracket.h"

#include <algorithm>
#include <cmath>

namespace {

// In RT: a local minimum of a phase's distance above the line this close to it
// may dip below it between its neighbours, and is sought between them. A
// curve 1 RT above the line at two points 1/32 apart reaches it between them
// only with a curvature above 8 RT / (1/32)^2, about 8,000 RT: a phase that
// narrow is sampled at its ordered compositions, where its minimum lies.
constexpr double NEAR_LINE = 1.0;
// In RT: only minima this close to a tie-line's tangent are refined against it.
constexpr double NEAR_TANGENT = 1e-3;
// In RT: how close the lowest value found must come to the least the curve can
// reach in the bracket, convex there, before the search stops: far below the
// 1e-9 RT by which a curve may dip below a tangent by rounding.
constexpr double SETTLED = 1e-12;
constexpr int STEPS = 60;  // at most; each a minimisation for a phase of sublattices
// The share of the bracket each step keeps from either end, so that a secant
// step that would hug one end still narrows it.
constexpr double KEPT = 1.0 / 16;

// A phase's distance above the line at x, and its slope in x.
struct Above {
    double value;  // HUGE_VAL where the phase has no state at x
    double slope;
};

// The lowest of a phase's distance f in [a, b]: where its slope changes sign
// inside, by secant steps on the slope until the tangents at the bracket's ends
// bound what is left to find; else at the lower end. Where the phase has no
// state at an end (its range ends inside), by golden section on the values.
template <class F>
double lowest_between(F f, double a, double b, double RT)
{
    Above fa = f(a);
    Above fb = f(b);
    if (!(fa.value < HUGE_VAL) || !(fb.value < HUGE_VAL)) {
        double at = 0.0;
        return golden_extremum([&](double x) { return f(x).value; }, a, b, 1, at);
    }
    double lowest = std::min(fa.value, fb.value);
    for (int step = 0; step < STEPS && fa.slope < 0.0 && fb.slope > 0.0; ++step) {
        // Where the tangents at the two ends meet, the least a convex curve
        // can reach in between.
        const double meet = (fb.value - fa.value + fa.slope * a - fb.slope * b) / (fa.slope - fb.slope);
        if (lowest - (fa.value + fa.slope * (meet - a)) <= SETTLED * RT)
            break;
        const double w = b - a;
        const double secant = a - fa.slope * w / (fb.slope - fa.slope);
        const double x = std::min(std::max(secant, a + KEPT * w), b - KEPT * w);
        if (!(x > a && x < b))
            break;  // as narrow as the doubles allow
        const Above fx = f(x);
        if (!(fx.value < HUGE_VAL))
            break;
        lowest = std::min(lowest, fx.value);
        (fx.slope < 0.0 ? a : b) = x;
        (fx.slope < 0.0 ? fa : fb) = fx;
    }
    return lowest;
}

// The lowest of h, and of the curve between the neighbours of each local
// minimum of h within NEAR_LINE of the line, curve_near(i) giving the curve
// carried from point i.
template <class Near>
double lowest_on(const Grid& grid, std::vector<double>& h, double RT, const Near& curve_near)
{
    for (double& v : h)
        v = v < HUGE_VAL ? v : HUGE_VAL;  // no state (NaN, infinite) is no part of the curve
    double lowest = *std::min_element(h.begin(), h.end());
    for (std::size_t i = 1; i + 1 < h.size(); ++i)
        if (h[i] <= h[i - 1] && h[i] <= h[i + 1] && h[i] < NEAR_LINE * RT)
            lowest = std::min(lowest, lowest_between(curve_near(i), grid.x[i - 1], grid.x[i + 1], RT));
    return lowest;
}

// The distance above the line of a phase's state carried on from memory.
struct CurveFrom {
    const PhaseAtT& phase;
    InternalMemory memory;
    double mu_a, mu_b;
    Above operator()(double x)
    {
        const Composition c = composition_from_x(x);
        double rest_a = HUGE_VAL;
        double rest_b = HUGE_VAL;
        // Carried from the grid point's state alone: a search from every start
        // at each step would cost more than the grid's points themselves. A
        // point beyond the phase's range, or its ordering's, leaves the state
        // held as it was, for the next point inside.
        InternalMemory tried = memory;
        if (!rests_carried(phase, c, tried, rest_a, rest_b) || !std::isfinite(rest_a + rest_b))
            return {HUGE_VAL, 0.0};
        memory = tried;
        double ln_x = 0.0;
        double ln_y = 0.0;
        composition_logs(c, ln_x, ln_y);
        const double a = rest_a + phase.RT * ln_x - mu_a;
        const double b = rest_b + phase.RT * ln_y - mu_b;
        return {c.x * a + c.y * b, a - b};
    }
};

// A phase without an internal state at every point of the grid.
void above_line_everywhere(const Grid& grid, const PhaseAtT& phase, double mu_a, double mu_b,
                           std::vector<double>& h)
{
    const std::size_t n = grid.at.size();
    h.resize(n);
    for (std::size_t i = 1; i + 1 < n; ++i)
        h[i] = above_line(phase, grid.at[i], grid.ln_x[i], grid.ln_y[i], mu_a, mu_b);
    h[0] = potentials(phase, grid.at[0]).rest_b - mu_b;  // x ln x vanishes at the pure ends
    h[n - 1] = potentials(phase, grid.at[n - 1]).rest_a - mu_a;
}

// The lowest of h, NaN passed by: four running minima, as the loop would
// otherwise wait on each comparison in turn.
double lowest_of(const std::vector<double>& h)
{
    double m[4] = {HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL};
    std::size_t i = 0;
    for (; i + 4 <= h.size(); i += 4)
        for (std::size_t k = 0; k < 4; ++k)
            m[k] = h[i + k] < m[k] ? h[i + k] : m[k];
    for (; i < h.size(); ++i)
        m[0] = h[i] < m[0] ? h[i] : m[0];
    return std::min(std::min(m[0], m[1]), std::min(m[2], m[3]));
}

}  // namespace

double lowest_above_line(const Grid& full, const Grid& coarse, const GridEnergies& energies,
                         const std::vector<PhaseAtT>& phases, double mu_a, double mu_b)
{
    double lowest = HUGE_VAL;
    std::vector<double> h;
    for (std::size_t k = 0; k < phases.size(); ++k) {
        const PhaseAtT& phase = phases[k];
        if (is_point(phase)) {
            lowest =
                std::min(lowest, above_line(phase, point_composition(*phase.model), 0.0, 0.0, mu_a, mu_b));
            continue;
        }
        const bool internal = has_internal_state(phase);
        const Grid& grid = internal ? coarse : full;
        if (internal)
            above_line_on_grid(grid, energies, k, phase, mu_a, mu_b, h);
        else
            above_line_everywhere(grid, phase, mu_a, mu_b, h);
        const auto curve_near = [&](std::size_t i) {
            return CurveFrom{phase, internal ? energies.phase[k].internal[i] : no_memory(), mu_a, mu_b};
        };
        lowest = std::min(lowest, lowest_on(grid, h, phase.RT, curve_near));
    }
    return lowest;
}

bool confirmed(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
               const TieLine& tie, Composition& dip)
{
    const double RT = phases.front().RT;
    // The tangent itself is known to its residual, up to KNOWN_TANGENT (beside
    // an ordered composition, as well as x's doubles allow): a curve may dip
    // that much more. A residual beyond it, or none (a pure end's infinite
    // potential), adds nothing.
    const double known = tie.residual <= KNOWN_TANGENT ? tie.residual : 0.0;
    const double tolerance = -(STABLE + known) * RT;
    double lowest = tolerance;
    const std::size_t n = grid.at.size();
    std::vector<double> h(n);
    const double floor = lowest_line_above(grid, energies, tie.mu_a, tie.mu_b);
    for (std::size_t k = 0; k < phases.size(); ++k) {
        const PhaseAtT& phase = phases[k];
        if (is_point(phase)) {
            const Composition c = point_composition(*phase.model);
            const double v = above_line(phase, c, 0.0, 0.0, tie.mu_a, tie.mu_b);
            if (v < lowest) {
                lowest = v;
                dip = c;
            }
            continue;
        }
        // Most curves lie well above the tangent everywhere: their distance
        // above the lowest curve passes most, their lowest point (in a loop
        // without branches) the rest. The first with room for rounding.
        if (energies.phase[k].above_lowest + floor > 2.0 * NEAR_TANGENT * RT)
            continue;
        above_line_on_grid(grid, energies, k, phase, tie.mu_a, tie.mu_b, h);
        if (!(lowest_of(h) < NEAR_TANGENT * RT))  // NEAR_TANGENT > 0 > lowest
            continue;
        for (std::size_t i = 0; i < n; ++i) {
            if (h[i] < lowest) {
                lowest = h[i];
                dip = grid.at[i];
            }
        }
        for (std::size_t i = 1; i + 1 < n; ++i) {
            // A plateau (the tails, where rounding makes neighbours equal) counts once.
            if (h[i] < h[i - 1] && h[i] <= h[i + 1] && h[i] < NEAR_TANGENT * RT) {
                Composition c = grid.at[i];
                const double v = lowest_above_tangent(phase, c, tie);
                if (v < lowest) {
                    lowest = v;
                    dip = c;
                }
            }
        }
    }
    return !(lowest < tolerance);
}
