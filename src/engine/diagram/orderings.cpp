#include "engine/diagram/orderings.h"

#include <algorithm>
#include <cmath>

namespace {

// In x: where the bisection stops. The ordered state's order falls as the root
// of the distance to the onset, to the rounding of its fractions (1e-9) some
// 1e-6 from it, where a state ordered to rounding may or may not be found: the
// onset is good to about that, and a figure's line needs far less.
constexpr double ONSET_WIDTH = 1e-10;
constexpr int MOST_HALVINGS = 64;  // from a bracket of any width, far below ONSET_WIDTH
// Brackets' widths the disordered side is moved out by, where the ordered
// state still holds there: a barely ordered state lies as low as the
// disordered one to rounding, and the samples may name either.
constexpr int MOST_WIDENINGS = 4;
// The least order of the ordered side's sample: a grid step from the onset
// the order is some 0.1, while a state ordered only to rounding (1e-9) lies
// as low as the disordered one and may flicker with it from sample to sample,
// which is no ordering.
constexpr double ORDERED = 1e-6;

bool ordered_at(const PhaseAtT& ordered, double x)
{
    return ordering(ordered, composition_from_x(x)) > 0.0;
}

}  // namespace

std::vector<OrderingBracket> ordering_brackets(const System& s, const std::vector<Sample>& samples,
                                               const std::vector<TieLine>& ties)
{
    std::vector<OrderingBracket> out;
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const Sample& a = samples[i];
        const Sample& b = samples[i + 1];
        if (a.phase == b.phase || !ordered_and_disordered(s, a.phase, b.phase))
            continue;
        const bool tie_between = std::any_of(
            ties.begin(), ties.end(), [&](const TieLine& t) { return t.low.x < b.c.x && t.high.x > a.c.x; });
        if (!tie_between)
            out.push_back({a.phase, b.phase, a.c.x, b.c.x});
    }
    return out;
}

std::vector<Ordering> orderings_at(const System& s, const Equilibria& e)
{
    std::vector<Ordering> out;
    for (const OrderingBracket& b : e.ordering_brackets) {
        const bool ordered_left = phase_family(s, b.left) != b.left;
        const PhaseAtT ordered = phase_at(s, ordered_left ? b.left : b.right, e.T, false);
        double x_ordered = ordered_left ? b.x_left : b.x_right;
        double x_disordered = ordered_left ? b.x_right : b.x_left;
        if (!(ordering(ordered, composition_from_x(x_ordered)) > ORDERED))
            continue;
        const double step = x_disordered - x_ordered;
        for (int k = 0; k < MOST_WIDENINGS && ordered_at(ordered, x_disordered); ++k)
            x_disordered = std::min(std::max(x_disordered + step, 0.0), 1.0);
        if (ordered_at(ordered, x_disordered))
            continue;
        for (int i = 0; i < MOST_HALVINGS && std::fabs(x_ordered - x_disordered) > ONSET_WIDTH; ++i) {
            const double middle = 0.5 * (x_ordered + x_disordered);
            (ordered_at(ordered, middle) ? x_ordered : x_disordered) = middle;
        }
        out.push_back({0.5 * (x_ordered + x_disordered), b.left, b.right});
    }
    return out;
}
