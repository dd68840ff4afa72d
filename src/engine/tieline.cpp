#include "engine/tieline.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double CONVERGED = 1e-13;      // residual, in RT, at which Newton stops
constexpr double ACCEPTED = 1e-10;       // residual, in RT, a tie-line may keep
constexpr double SMALLEST_LOG = -700.0;  // below exp(-700) the end has reached the pure component

struct Pair {
    LogComposition low;
    LogComposition high;
};

double residual(const System& s, double T, Phase p, Phase q, const Pair& at, double r[2], Potentials& m1,
                Potentials& m2)
{
    m1 = potentials(s, p, from_log(at.low), T);
    m2 = potentials(s, q, from_log(at.high), T);
    const double RT = R * T;
    r[0] = (m1.mu_a - m2.mu_a) / RT;
    r[1] = (m1.mu_b - m2.mu_b) / RT;
    const double norm = std::max(std::fabs(r[0]), std::fabs(r[1]));
    return std::isnan(norm) ? HUGE_VAL : norm;
}

LogComposition step(const LogComposition& l, double du)
{
    return to_log(from_log({l.a_small, l.u + du}));
}

}  // namespace

Refined refine_tie_line(const System& s, double T, Phase p, Composition low, Phase q, Composition high,
                        TieLine& tie)
{
    Pair at{to_log(low), to_log(high)};
    double r[2];
    Potentials m1{};
    Potentials m2{};
    double norm = residual(s, T, p, q, at, r, m1, m2);
    const double RT = R * T;
    for (int iteration = 0; iteration < 200 && norm > CONVERGED; ++iteration) {
        const double j00 = m1.dmu_a / RT;
        const double j01 = -m2.dmu_a / RT;
        const double j10 = m1.dmu_b / RT;
        const double j11 = -m2.dmu_b / RT;
        const double det = j00 * j11 - j01 * j10;
        if (!(std::fabs(det) > 0.0) || !std::isfinite(det))
            break;
        double du1 = -(r[0] * j11 - r[1] * j01) / det;
        double du2 = -(j00 * r[1] - j10 * r[0]) / det;
        // At most a factor e^2 in either fraction per step, then halve until the residual drops.
        const double longest = std::max(std::fabs(du1), std::fabs(du2));
        double scale = longest > 2.0 ? 2.0 / longest : 1.0;
        bool moved = false;
        for (int halving = 0; halving < 40; ++halving, scale *= 0.5) {
            const Pair trial{step(at.low, scale * du1), step(at.high, scale * du2)};
            double rt[2];
            Potentials t1{};
            Potentials t2{};
            const double n = residual(s, T, p, q, trial, rt, t1, t2);
            if (n < norm) {
                at = trial;
                norm = n;
                r[0] = rt[0];
                r[1] = rt[1];
                m1 = t1;
                m2 = t2;
                moved = true;
                break;
            }
        }
        if (!moved)
            break;
        if (at.low.u < SMALLEST_LOG || at.high.u < SMALLEST_LOG)
            return Refined::zero_width;
    }
    Composition c1 = from_log(at.low);
    Composition c2 = from_log(at.high);
    // Both ends of one phase at one composition: the trivial root, no equilibrium.
    if (p == q && at.low.a_small == at.high.a_small && std::fabs(at.low.u - at.high.u) < 1e-7)
        return Refined::zero_width;
    if (!(norm <= ACCEPTED))
        return Refined::failed;
    // Ends that agree to nine digits: a region of no width, as exactly at a pure
    // melting point, where rounding alone would leave a sliver.
    const bool low_side = c1.x <= 0.5 && c2.x <= 0.5;
    const double width = low_side ? std::fabs(c2.x - c1.x) : std::fabs(c2.y - c1.y);
    const double scale = low_side ? std::min(c1.x, c2.x) : std::min(c1.y, c2.y);
    if (width <= 1e-9 * scale)
        return Refined::zero_width;
    if (c1.x > c2.x) {
        std::swap(c1, c2);
        std::swap(p, q);
        std::swap(m1, m2);
    }
    tie = TieLine{p, c1, q, c2, m1.mu_a, m1.mu_b, norm};
    return Refined::ok;
}

double above_tangent(const System& s, Phase p, const Composition& c, double T, const TieLine& tie)
{
    const Potentials m = potentials(s, p, c, T);
    const double a = c.x > 0.0 ? c.x * (m.mu_a - tie.mu_a) : 0.0;
    const double b = c.y > 0.0 ? c.y * (m.mu_b - tie.mu_b) : 0.0;
    return a + b;
}

double lowest_above_tangent(const System& s, Phase p, Composition& c, double T, const TieLine& tie)
{
    double lowest = above_tangent(s, p, c, T, tie);
    LogComposition l = to_log(c);
    const double slope = tie.mu_a - tie.mu_b;
    for (int iteration = 0; iteration < 60; ++iteration) {
        const Potentials m = potentials(s, p, from_log(l), T);
        const double h1 = (m.mu_a - m.mu_b) - slope;  // d(curve - tangent)/dx
        const double h2 = m.dmu_a - m.dmu_b;          // its derivative in u
        if (!(m.curvature > 0.0) || h2 == 0.0)        // not convex here: the grid's own points decide
            break;
        double du = -h1 / h2;
        du = std::max(-1.0, std::min(1.0, du));
        l = to_log(from_log({l.a_small, l.u + du}));
        if (l.u < SMALLEST_LOG)
            break;
        const Composition next = from_log(l);
        const double h = above_tangent(s, p, next, T, tie);
        if (h < lowest) {
            lowest = h;
            c = next;
        }
        if (std::fabs(du) < 1e-12)
            break;
    }
    return lowest;
}
