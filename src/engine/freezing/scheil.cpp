#include "engine/freezing/scheil.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr long MAX_EVALUATIONS = 4000000;  // no path takes this many: something is wrong
constexpr double PIECE_TOLERANCE = 1e-11;  // of a piece's own share of ln(1 - f)
constexpr double SMALLEST_SHARE = 1e-3;    // shares below it are held to 1e-11 of this instead
constexpr int DEPTH = 12;                  // halvings of a piece at most: 4096 panels
// The most a piece may add to the fraction solidified: pieces come at least this
// dense in g, so that the profile's lever balance holds even where the liquid's
// composition hardly moves (a dilute alloy freezes most of itself in a stretch of
// liquidus a few ten-billionths wide).
constexpr double G_PER_PIECE = 5e-4;
constexpr int MOST_PIECES = 100000;

}  // namespace

Composition ScheilIntegral::at_small(double v) const
{
    const double e = std::exp(v);
    return in_a ? Composition{e, 1.0 - e} : Composition{1.0 - e, e};
}

Composition ScheilIntegral::losing_at(double v) const
{
    const double e = std::exp(v);
    return towards_b ? Composition{e, 1.0 - e} : Composition{1.0 - e, e};
}

// The integrand at v, solving the liquidus there from the nearest known point.
double ScheilIntegral::integrand(double v, PathPoint& guess)
{
    const Composition liquid = at_small(v);
    Composition solid = guess.solid;
    double T = guess.T;
    if (!partner(guess.solid_phase, liquid, solid, T)) {
        failed = true;
        return 0.0;
    }
    guess = {T, liquid, solid, 0.0, guess.solid_phase};
    const double x = small(liquid);
    return x / (small(solid) - x);
}

double ScheilIntegral::simpson(double a, double b, const Solved& at_a, const Solved& at_m, const Solved& at_b,
                               double whole, double eps, int depth, double base)
{
    const double m = 0.5 * (a + b);
    Solved at_lm{0.0, at_a.point};
    Solved at_rm{0.0, at_m.point};
    at_lm.f = integrand(0.5 * (a + m), at_lm.point);
    at_rm.f = integrand(0.5 * (m + b), at_rm.point);
    const double left = (m - a) / 6.0 * (at_a.f + 4.0 * at_lm.f + at_m.f);
    const double right = (b - m) / 6.0 * (at_m.f + 4.0 * at_rm.f + at_b.f);
    if (++evaluations > MAX_EVALUATIONS) {
        failed = true;
        return whole;
    }
    if (depth <= 0 || std::fabs(left + right - whole) <= 15.0 * eps) {
        const double total = left + right + (left + right - whole) / 15.0;
        // The midpoint's share is the left half's Simpson value: its Richardson
        // term would need the left half halved again, and the value is already
        // within the tolerance the whole piece was held to.
        PathPoint mid_point = at_m.point;
        mid_point.ln_remaining = base + left;
        trace.push_back(mid_point);
        PathPoint end_point = at_b.point;
        end_point.ln_remaining = base + total;
        trace.push_back(end_point);
        return total;
    }
    const double l = simpson(a, m, at_a, at_lm, at_m, left, eps / 2.0, depth - 1, base);
    return l + simpson(m, b, at_m, at_rm, at_b, right, eps / 2.0, depth - 1, base + l);
}

PathPoint ScheilIntegral::advance(const PathPoint& from, const Composition& to, int pieces)
{
    // Each half of the composition range in its own variable, the fraction that
    // is the smaller there.
    if ((from.liquid.x < 0.5) != (to.x < 0.5) && from.liquid.x != 0.5 && to.x != 0.5) {
        const PathPoint half = advance_within_half(from, Composition{0.5, 0.5}, pieces);
        return failed ? half : advance_within_half(half, to, pieces);
    }
    return advance_within_half(from, to, pieces);
}

PathPoint ScheilIntegral::advance_within_half(const PathPoint& from, const Composition& to, int pieces)
{
    in_a = from.liquid.x < 0.5 || (from.liquid.x == 0.5 && to.x < 0.5);
    const double v0 = std::log(small(from.liquid));
    const double v1 = std::log(small(to));
    // The stretch's two ends, solved first: the fraction it freezes, from the
    // integrand there, sets how many pieces it takes at the least.
    Solved start{0.0, from};
    start.f = integrand(v0, start.point);
    Solved finish{0.0, start.point};
    finish.f = integrand(v1, finish.point);
    const double frozen =
        std::exp(from.ln_remaining) * -std::expm1(-0.5 * std::fabs(start.f + finish.f) * std::fabs(v1 - v0));
    if (frozen / G_PER_PIECE > pieces)
        pieces = static_cast<int>(std::min<double>(MOST_PIECES, std::ceil(frozen / G_PER_PIECE)));
    double ln_remaining = from.ln_remaining;
    Solved at_a = start;
    for (int k = 0; k < pieces && !failed; ++k) {
        const double a = v0 + (v1 - v0) * k / pieces;
        const double b = k + 1 == pieces ? v1 : v0 + (v1 - v0) * (k + 1) / pieces;
        Solved at_m{0.0, at_a.point};
        at_m.f = integrand(0.5 * (a + b), at_m.point);
        Solved at_b = finish;
        if (k + 1 < pieces) {
            at_b.point = at_m.point;
            at_b.f = integrand(b, at_b.point);
        }
        const double whole = (b - a) / 6.0 * (at_a.f + 4.0 * at_m.f + at_b.f);
        const double eps = PIECE_TOLERANCE * std::max(SMALLEST_SHARE, std::fabs(whole));
        ln_remaining += simpson(a, b, at_a, at_m, at_b, whole, eps, DEPTH, ln_remaining);
        at_a = at_b;
    }
    PathPoint at = at_a.point;
    at.ln_remaining = ln_remaining;
    return at;
}

double scheil_log_remaining(double x_from, double x_to, const std::function<double(double)>& solid)
{
    std::vector<PathPoint> trace;
    const double s0 = solid(x_from);
    ScheilIntegral path{[&](Phase, const Composition& liquid, Composition& c, double&) {
                            c = composition_from_x(solid(liquid.x));
                            return true;
                        },
                        s0 > x_from, trace};
    const PathPoint start{0.0, composition_from_x(x_from), composition_from_x(s0), 0.0};
    return path.advance(start, composition_from_x(x_to), 4).ln_remaining;
}
