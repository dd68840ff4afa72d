#include "engine/diagram/gap_tangent.h"

#include "engine/numerics/bracket.h"

#include <cmath>

namespace {

constexpr int SCAN = 64;          // curvatures sampled between the ends to find the spinodal
constexpr int BISECTIONS = 100;   // halvings of a bracket: past the doubles' resolution
constexpr int WIDENINGS = 40;     // of a branch's bracket outwards, each doubling its width
constexpr double INSIDE = 1e-15;  // a branch's bracket stops this short of a pure component
// Where the lowest curvature is sought about a gap: this many of its widths on
// either side, and at least NEAREST: the bend moves about 1e-3 a kelvin.
constexpr double AROUND = 4.0;
constexpr double NEAREST = 2e-3;
constexpr double TOP_STEP = 0.25;    // K: steps above the gap's last row to where it has closed
constexpr double HIGHEST = 20.0;     // K: above that row at most
constexpr double TOP_WIDTH = 1e-10;  // K: the top's bracket this narrow

// The curve per mole of atoms, its slope in x (mu_a - mu_b) and x y G''.
struct Point {
    double g, slope, curvature;
};

Point point_at(const PhaseAtT& at, double x)
{
    const Composition c = composition_from_x(x);
    const Potentials p = potentials(at, c);
    return {c.x * p.mu_a + c.y * p.mu_b, p.mu_a - p.mu_b, p.curvature};
}

// From inside (curvature < 0) towards end: as far as the curvature stays negative.
double spinodal_edge(const PhaseAtT& at, double inside, double end)
{
    return last_negative([&](double x) { return point_at(at, x).curvature; }, inside, end);
}

// Where the slope is m on the convex branch from edge outward (direction -1
// towards x = 0, +1 towards 1): the slope grows with x there.
double on_branch(const PhaseAtT& at, double edge, int direction, double m)
{
    double near = edge;
    double far = edge;
    double width = 1e-6;
    for (int k = 0; k < WIDENINGS; ++k) {
        far = std::fmin(1.0 - INSIDE, std::fmax(INSIDE, edge + direction * width));
        const double s = point_at(at, far).slope;
        if (direction < 0 ? s <= m : s >= m)
            break;
        near = far;
        width *= 2.0;
    }
    for (int k = 0; k < BISECTIONS; ++k) {
        const double mid = 0.5 * (near + far);
        if (mid == near || mid == far)
            break;
        const double s = point_at(at, mid).slope;
        ((direction < 0 ? s > m : s < m) ? near : far) = mid;
    }
    return 0.5 * (near + far);
}

}  // namespace

Refined gap_by_slopes(const PhaseAtT& at, const Composition& low, const Composition& high, TieLine& tie)
{
    // The spinodal: the lowest curvature between the ends, and its edges.
    double lowest = HUGE_VAL;
    double inside = 0.0;
    for (int k = 1; k < SCAN; ++k) {
        const double x = low.x + (high.x - low.x) * k / SCAN;
        const double c = point_at(at, x).curvature;
        if (c < lowest) {
            lowest = c;
            inside = x;
        }
    }
    if (!(lowest < 0.0))
        return Refined::failed;
    const double s1 = spinodal_edge(at, inside, low.x);
    const double s2 = spinodal_edge(at, inside, high.x);
    // The tangent's slope lies between the spinodal's edges' slopes; the
    // difference of the two branches' tangents' intercepts falls as it grows.
    double m_lo = point_at(at, s2).slope;
    double m_hi = point_at(at, s1).slope;
    double x1 = s1;
    double x2 = s2;
    for (int k = 0; k < BISECTIONS; ++k) {
        const double m = 0.5 * (m_lo + m_hi);
        if (m == m_lo || m == m_hi)
            break;
        x1 = on_branch(at, s1, -1, m);
        x2 = on_branch(at, s2, +1, m);
        const double gap = (point_at(at, x2).g - m * x2) - (point_at(at, x1).g - m * x1);
        (gap > 0.0 ? m_lo : m_hi) = m;
    }
    return refine_tie_line(at, composition_from_x(x1), at, composition_from_x(x2), tie);
}

namespace {

// The lowest curvature of the phase on [a, b] at T, by golden section: one
// minimum, just beyond the bend where the curvature jumps down.
double lowest_curvature(const System& s, Phase p, double a, double b, double T, double& at)
{
    const PhaseAtT phase = phase_at(s, p, T, false);  // once for the section's steps
    const auto k = [&](double x) {
        double value = 0.0;
        double slope = 0.0;
        curvature(phase, x, value, slope);
        return value;
    };
    return golden_extremum(k, a, b, 1, at);
}

}  // namespace

bool kinked_critical(const System& s, Phase p, double low, double high, double direction, double& x,
                     double& T)
{
    const double reach = std::fmax(AROUND * (high - low), NEAREST);
    const double a = std::fmax(INSIDE, low - reach);
    const double b = std::fmin(1.0 - INSIDE, high + reach);
    double open = T;
    if (!(lowest_curvature(s, p, a, b, open, x) < 0.0))
        return false;
    double closed = open;
    do {
        closed += direction * TOP_STEP;
        if (std::fabs(closed - T) > HIGHEST)
            return false;
    } while (lowest_curvature(s, p, a, b, closed, x) < 0.0);
    while (std::fabs(closed - open) > TOP_WIDTH) {
        const double mid = 0.5 * (open + closed);
        if (mid == open || mid == closed)
            break;
        (lowest_curvature(s, p, a, b, mid, x) < 0.0 ? open : closed) = mid;
    }
    lowest_curvature(s, p, a, b, closed, x);
    T = closed;
    return true;
}
