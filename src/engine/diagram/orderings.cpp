#include "engine/diagram/orderings.h"

#include "engine/diagram/tangent_check.h"

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
constexpr double BARELY_ORDERED = 0.1;  // fractions' difference on equivalent sublattices
// Halvings of a grid step to where an ordered state goes: 2^-24 of 1/512, where
// an ordering setting in continuously keeps an order near 1e-5.
constexpr int ORDERING_BISECTIONS = 24;
// An ordering setting in continuously has its order fall as the root of the
// distance to its onset: after four halvings of the samples' distance, to at
// most a quarter of what it held at a sample (below 1). One still above 0.25
// there sets in first-order (its order holds until its state goes).
constexpr int ONSET_TEST = 4;
constexpr double ONSET_ORDER = 0.25;
// Of the disordered curve's curvature where they meet: the least the ordered
// curve keeps between there and its sample (at these shares of the way) for
// the meeting to stand without Newton. Towards a tricritical point it falls
// to zero just inside the onset, and below that point it turns negative
// there, and a region opens whose depth under the meeting's tangent is
// within rounding (al-fe-2009's A2 + B2 at 941 K, 1.2e-4 wide and some
// 2e-9 RT deep, 0.6 K below its tricritical point, where the ordered curve's
// curvature is -0.004 of the disordered one's a hundredth of the way in; 0.02
// at 945 K, 0.05 at 950 K, 0.22 at 1000 K): there Newton solves it. Where
// the two meet, the order's response to x is unbounded and the curvature
// there is the disordered curve's, which tells nothing.
constexpr double CONVEX_AT_ONSET = 0.05;
constexpr double CURVATURE_AT[] = {0.01, 0.05, 0.2, 0.5, 1.0};

// Where the ordered state goes between x_ordered, where it holds order, and
// x_gone, where it holds none: the bracket halved ORDERING_BISECTIONS times
// onto it, order the order at its ordered end. With first_order_out, false
// once it holds above ONSET_ORDER after ONSET_TEST halvings.
bool bisect_onset(const PhaseAtT& ordered, double& x_ordered, double& x_gone, double& order,
                  bool first_order_out)
{
    for (int i = 0; i < ORDERING_BISECTIONS; ++i) {
        if (first_order_out && i == ONSET_TEST && order > ONSET_ORDER)
            return false;
        const double middle = 0.5 * (x_ordered + x_gone);
        const double here = ordering(ordered, composition_from_x(middle));
        (here > 0.0 ? x_ordered : x_gone) = middle;
        order = here > 0.0 ? here : order;
    }
    return true;
}

// A step of the hull between a sample of an ordered phase holding an order
// and one of its disordered part, where the ordered state is gone.
struct OnsetStep {
    const PhaseAtT* ordered;
    const PhaseAtT* disordered;
    double x_ordered, x_gone;  // the samples'
    double order;              // at x_ordered
};

// The step from p at cp to q at cq, of the orders given, as an OnsetStep;
// false where both or neither hold an order, or where the ordered state still
// holds at the other sample (where the other phase sampled, it was higher).
bool onset_step(const std::vector<PhaseAtT>& phases, Phase p, const Composition& cp, double order_p, Phase q,
                const Composition& cq, double order_q, OnsetStep& out)
{
    if ((order_p > 0.0) == (order_q > 0.0))
        return false;
    const bool p_ordered = order_p > 0.0;
    out = {&phases[phase_index(p_ordered ? p : q)], &phases[phase_index(p_ordered ? q : p)],
           p_ordered ? cp.x : cq.x, p_ordered ? cq.x : cp.x, std::max(order_p, order_q)};
    return !(ordering(*out.ordered, composition_from_x(out.x_gone)) > 0.0);
}

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

bool continuous_ordering(const System& s, const std::vector<PhaseAtT>& phases, Phase p, const Composition& cp,
                         Phase q, const Composition& cq)
{
    if (!ordered_and_disordered(s, p, q))
        return false;
    const double order_p = ordering(phases[phase_index(p)], cp);
    const double order_q = ordering(phases[phase_index(q)], cq);
    if (std::max(order_p, order_q) <= BARELY_ORDERED)
        return true;
    OnsetStep step{};
    if (!onset_step(phases, p, cp, order_p, q, cq, order_q, step))
        return false;
    bisect_onset(*step.ordered, step.x_ordered, step.x_gone, step.order, false);
    return step.order <= BARELY_ORDERED;
}

bool continuous_onset_holds(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                            const GridEnergies& energies, Phase p, const Composition& cp, Phase q,
                            const Composition& cq)
{
    if (!ordered_and_disordered(s, p, q))
        return false;
    const double order_p = ordering(phases[phase_index(p)], cp);
    const double order_q = ordering(phases[phase_index(q)], cq);
    OnsetStep step{};
    if (!onset_step(phases, p, cp, order_p, q, cq, order_q, step))
        return false;
    const PhaseAtT& ordered = *step.ordered;
    const PhaseAtT& disordered = *step.disordered;
    const double x_sample = step.x_ordered;
    double& x_gone = step.x_gone;
    if (!bisect_onset(ordered, step.x_ordered, x_gone, step.order, true) || !(step.order <= BARELY_ORDERED))
        return false;
    const Composition onset = composition_from_x(x_gone);
    const Potentials m = potentials(disordered, onset);
    for (const double share : CURVATURE_AT) {
        const Composition c = composition_from_x(x_gone + share * (x_sample - x_gone));
        if (!(potentials(ordered, c).curvature > CONVEX_AT_ONSET * m.curvature))
            return false;
    }
    const TieLine tangent{disordered.phase, onset, disordered.phase, onset, m.mu_a, m.mu_b, 0.0};
    Composition dip{};
    return std::isfinite(m.mu_a) && std::isfinite(m.mu_b) && confirmed(grid, phases, energies, tangent, dip);
}
