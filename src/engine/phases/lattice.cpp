// The minimum of a phase of sublattices at x and T: a safeguarded Newton on
// the site fractions under the constraint of x from a guess, the states a
// search from every start begins at, and whether a state is ordered.
#include "engine/phases/lattice.h"

#include "engine/phases/lattice_step.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

using namespace lattice_step;

// Newton on the internal state: iterations at most, the relative change of
// every fraction below which it has converged.
constexpr int ITERATIONS = 200;
constexpr double SETTLED = 1e-13;
constexpr double DECREASE_SETTLED = 1e-4;  // of the rounding of G, per step
constexpr int HALVINGS = 40;               // of a step that does not lower G
constexpr double DISORDERED = 1e-9;        // equal fractions on equivalent sublattices
constexpr double NEARLY_SETTLED = 1e-6;    // Newton's promised decrease, in RT: a few steps from the minimum
constexpr double EMPTIED = 0.5;            // of the least atoms of an end member: an emptied lattice
constexpr double VACANCY_START = 1e-3;     // a sublattice's vacancies where a search starts
constexpr std::size_t MOST_STARTS = 96;    // end members a search starts towards
// How far inside an end of its range between the pure components a phase is
// taken, as a pure end is held off by the phases' callers (NEAR_PURE).
constexpr double RANGE_END_HELD = 1e-14;
// An ordered phase's state within NEAR_DISORDER of its disordered state whose
// full Newton step would leave an order of at most SQUARED times the square
// of its own: in the quadratic reach of the disordered state, where Newton
// squares the order. A minimum of order o would hold the step near o, so
// only one of order below SQUARED * NEAR_DISORDER^2 can be passed over.
constexpr double NEAR_DISORDER = 1e-3;
constexpr double SQUARED = 4.0;

// Whether an ordered phase with no disordered state of its own is bound for
// its disordered state, where its search finds none: disordered already, or
// near it with Newton's full step squaring its order, as it does there. The
// caller has seen every curvature positive and a decrease promised below
// NEARLY_SETTLED, so no other minimum lies between.
bool bound_for_disorder(const LatticeModel& m, const Reduced& v, const SiteFractions& y, const double* dv)
{
    const double order = lattice_order(m, y);
    if (order <= DISORDERED)
        return true;
    if (order > NEAR_DISORDER)
        return false;
    SiteFractions next{};
    apply(v, y, dv, 1.0, next);
    return lattice_order(m, next) <= SQUARED * order * order;
}

bool holds_atoms(const LatticeModel& m, int k)
{
    return m.atoms_a[static_cast<std::size_t>(k)] + m.atoms_b[static_cast<std::size_t>(k)] > 0.0;
}

// An end member on the moving fractions whose c is the highest (most) or the
// lowest, each sublattice's constituent chosen on its own.
void extreme_state(const Problem& p, bool most, SiteFractions& e)
{
    e.fill(0.0);
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int best = -1;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && (best < 0 || (most ? p.w[k] > p.w[best] : p.w[k] < p.w[best])))
                best = k;
        e[static_cast<std::size_t>(best)] = 1.0;
    }
}

// A state of composition x from start, moved towards the end member on the
// other side of x: a convex combination, so every fraction stays in (0, 1).
bool feasible_start(const Problem& p, SiteFractions& y)
{
    const double c0 = constraint(p, y);
    if (c0 == 0.0)
        return true;
    SiteFractions e{};
    extreme_state(p, c0 < 0.0, e);
    const double ce = constraint(p, e);
    // Nowhere to move towards: x out of reach, unless the state is on its
    // line already to rounding (a compound of lone constituents, (Al)2(Fe),
    // at its composition 2/3, which no double holds).
    if (!((ce > 0.0) != (c0 > 0.0)) || ce == 0.0)
        return on_line(p, y);
    const double t = c0 / (c0 - ce);
    const double keep = -ce / (c0 - ce);  // 1 - t, without its rounding
    // A fraction both states share stays exactly as it is: a sublattice's
    // lone constituent 1, not 1 + 2e-16.
    for (std::size_t k = 0; k < static_cast<std::size_t>(p.n); ++k)
        if (y[k] != e[k])
            y[k] = keep * y[k] + t * e[k];
    return true;
}

// Where the search starts: each sublattice's moving atoms sharing it
// equally, its vacancies at VACANCY_START (all of it where no atom may move
// there). A condensed start, as vacancies are few in a solid: a start with
// as many vacancies as atoms could slide towards the empty lattice, whose
// energy per atom falls without bound as its last atoms leave.
void start_state(const Problem& p, SiteFractions& y)
{
    y.fill(0.0);
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int atoms = 0;
        int vacancies = -1;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && holds_atoms(p.m, k))
                ++atoms;
            else if (p.active[k])
                vacancies = k;
        if (atoms == 0) {
            if (vacancies >= 0)  // else nothing may move there: x is out of the phase's reach
                y[static_cast<std::size_t>(vacancies)] = 1.0;
            continue;
        }
        const double share = vacancies >= 0 ? 1.0 - VACANCY_START : 1.0;
        if (vacancies >= 0)
            y[static_cast<std::size_t>(vacancies)] = VACANCY_START;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && holds_atoms(p.m, k))
                y[static_cast<std::size_t>(k)] = share / atoms;
    }
}

// The starts towards each end member of the moving constituents: halfway
// from the condensed start to it. They reach every ordered arrangement of
// the sublattices and every sublattice's vacancies (the constitutional
// vacancies of an aluminide are a minimum of their own, apart from its
// antisites), up to MOST_STARTS of them.
std::vector<SiteFractions> end_member_starts(const Problem& p, const SiteFractions& base)
{
    std::vector<SiteFractions> out;
    const std::size_t sublattices = p.m.first.size() - 1;
    std::vector<int> pick(sublattices);
    for (std::size_t s = 0; s < sublattices; ++s)
        pick[s] = p.m.first[s];
    const auto next_active = [&](std::size_t s, int from) {
        int k = from;
        while (k < p.m.first[s + 1] && !p.active[k])
            ++k;
        return k;
    };
    for (std::size_t s = 0; s < sublattices; ++s)
        pick[s] = next_active(s, pick[s]);
    while (out.size() < MOST_STARTS) {
        SiteFractions start = base;
        for (int k = 0; k < p.n; ++k)
            start[static_cast<std::size_t>(k)] *= 0.1;
        for (std::size_t s = 0; s < sublattices; ++s)
            start[static_cast<std::size_t>(pick[s])] += 0.9;
        out.push_back(start);
        std::size_t s = 0;  // the next end member, the first sublattice fastest
        for (; s < sublattices; ++s) {
            pick[s] = next_active(s, pick[s] + 1);
            if (pick[s] < p.m.first[s + 1])
                break;
            pick[s] = next_active(s, p.m.first[s]);
        }
        if (s == sublattices)
            break;
    }
    return out;
}

// Whether y is a state to start from: its moving fractions positive (and
// at most 1 but for rounding), the others zero.
bool usable_guess(const Problem& p, const SiteFractions& y)
{
    for (int k = 0; k < p.n; ++k) {
        const double v = y[static_cast<std::size_t>(k)];
        if (p.active[k] ? !(v > 0.0 && v <= 1.0 + 1e-9) : v != 0.0)
            return false;
    }
    return true;
}

// Each sublattice's fractions scaled to sum to 1: a state moved by a convex
// combination sums to 1 only to its rounding, and a lone constituent is 1.
void normalise(const Problem& p, SiteFractions& y)
{
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        double sum = 0.0;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            sum += y[static_cast<std::size_t>(k)];
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            y[static_cast<std::size_t>(k)] /= sum;
    }
}

Problem problem_at(const LatticeAtT& at, double x)
{
    Problem p{at, *at.model, fractions_of(*at.model), x, {}, {}, {}, {}};
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s)
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k) {
            const double a_k = p.m.atoms_a[static_cast<std::size_t>(k)];
            const double b_k = p.m.atoms_b[static_cast<std::size_t>(k)];
            p.sublattice_of[k] = static_cast<int>(s);
            p.w[k] = p.m.sites[s] * (a_k * (1.0 - x) - x * b_k);
            p.dN[k] = p.m.sites[s] * (a_k + b_k);
            // At a pure end the other element is absent, exactly.
            p.active[k] = !((x == 1.0 && b_k > 0.0) || (x == 0.0 && a_k > 0.0));
        }
    return p;
}

// Whether x lies outside the range of compositions the phase's end members span.
bool outside_range(const LatticeModel& m, double x)
{
    return !(x >= m.x_min && x <= m.x_max);
}

// Whether every sublattice keeps a constituent that may be there at x (at a
// pure end the other element is absent); the range is looked at before the
// problem is made.
bool reachable(const Problem& p)
{
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        bool any = false;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            any = any || p.active[k];
        if (!any)
            return false;
    }
    return true;
}

// x held RANGE_END_HELD inside an end of the phase's range that lies between
// the pure components (COST 507's fcc (Ti)(N,Va) at x = 1/2, all N): there, as
// at a pure end, the one state has fractions of exactly 0, from which the
// minimisation in their logarithms finds no state at all.
double inside_range(const LatticeModel& m, double x)
{
    if (m.x_min == m.x_max)
        return x;
    if (m.x_min > 0.0 && x >= m.x_min && x < m.x_min + RANGE_END_HELD)
        return m.x_min + RANGE_END_HELD;
    if (m.x_max < 1.0 && x <= m.x_max && x > m.x_max - RANGE_END_HELD)
        return m.x_max - RANGE_END_HELD;
    return x;
}

// Whether y, exactly on x's line, has no freedom left once x is held (the
// one mixing sublattice of interstitials and vacancies of (Fe)(C,Va)): Newton's
// step there is exactly zero and the state is the minimum as it stands, as the
// first iteration would find it, at the cost of one evaluation less. Most of a
// grid's points start so from their last temperature's state.
bool pinned_on_line(const Problem& p, const SiteFractions& y, const RatioAt& r)
{
    const Reduced v = reduce(p, y);
    if (v.m > 1 || constraint(p, y) != 0.0 || !inside(p, y) || !std::isfinite(r.F))
        return false;
    if (v.m == 0)
        return true;
    const auto f = static_cast<std::size_t>(v.free[0]);
    return p.w[v.free[0]] != p.w[v.dependent[0]] && y[f] >= SMALLEST_FRACTION;
}

}  // namespace

LatticeMinimum lattice_minimum(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y)
{
    LatticeMinimum out{HUGE_VAL, 0.0, 0.0, false, 0};
    const double held = inside_range(*at.model, x);
    if (outside_range(*at.model, held))
        return out;  // before the problem is made: a grid asks at every point
    const Problem p = problem_at(at, held);
    if (!reachable(p))
        return out;
    if (guess != nullptr && usable_guess(p, *guess))
        y = *guess;
    else
        start_state(p, y);
    if (!feasible_start(p, y))
        return out;
    normalise(p, y);
    // The state's ratio and a trial step's, in two buffers whose roles swap
    // where a step is taken: each holds a Hessian of N x N, of which a phase
    // uses its own few fractions' alone.
    RatioAt buffers[2];
    RatioAt* r = &buffers[0];
    if (!ratio_at(p, y, true, *r))
        return out;
    out.found = pinned_on_line(p, y, *r);
    double last_decrease = HUGE_VAL;
    for (int iteration = 0; !out.found && iteration < ITERATIONS; ++iteration) {
        out.iterations = iteration + 1;
        const Reduced v = reduce(p, y);
        double dv[N];
        double decrease = 0.0;
        newton_step(p, v, y, *r, constraint(p, y), dv, decrease);
        // An ordered phase that has no disordered state of its own, at or
        // bound for its disordered state with every curvature positive (the
        // ordering's too) and nearly settled: the rest of the search goes
        // there, and finds none.
        if (p.m.ordered_only && decrease <= NEARLY_SETTLED * p.at.RT && bound_for_disorder(p.m, v, y, dv))
            break;
        double biggest = 0.0;  // the step's largest relative change of a fraction
        for (int i = 0; i < v.m; ++i)
            biggest = std::max({biggest, std::fabs(dv[i]) / y[static_cast<std::size_t>(v.free[i])],
                                std::fabs(dv[i]) / y[static_cast<std::size_t>(v.dependent[i])]});
        // Settled where the step would move no fraction by SETTLED of itself,
        // or where it and the one before promise a decrease below the
        // rounding of G (a fraction of 1e-12 beside ones near 1 keeps moving
        // by its rounding alone): the state is the minimum as it stands, its
        // derivatives at hand, where the step would cost one more evaluation
        // to move it within its rounding. The start only where it lies
        // exactly on x's line (the last temperature's state where it has not
        // moved): one off it by its rounding has no step yet to put it back.
        const double rounding =
            DECREASE_SETTLED * std::numeric_limits<double>::epsilon() * std::max(std::fabs(r->F), p.at.RT);
        const bool flat = decrease <= rounding && last_decrease <= rounding;
        if ((iteration > 0 || constraint(p, y) == 0.0) && decrease != HUGE_VAL &&
            (biggest < SETTLED || flat)) {
            out.found = true;
            break;
        }
        double alpha = longest_share(p, v, y, dv);
        SiteFractions next{};
        RatioAt* rn = r == &buffers[0] ? &buffers[1] : &buffers[0];
        bool taken = false;
        for (int halving = 0; halving < HALVINGS; ++halving, alpha *= 0.5) {
            apply(v, y, dv, alpha, next);
            // A step in the logarithms leaves x's line by its second order:
            // back onto it, so that only states of composition x compare.
            if (!inside(p, next) || !(back_onto_line(p, next) || feasible_start(p, next)) ||
                !ratio_at(p, next, true, *rn))
                continue;
            // Near the minimum rounding may raise F by a few units of its last
            // place while the state still improves: accept such steps.
            if (rn->F <= r->F + 64.0 * std::numeric_limits<double>::epsilon() * std::fabs(r->F)) {
                taken = true;
                break;
            }
        }
        if (!taken)
            break;
        // A step that moved nothing (a saddle's step pushing on a fraction
        // held at SMALLEST_FRACTION) with the decrease of the one before
        // repeats itself exactly at every iteration left: it settles now or never.
        const bool repeats = next == y && decrease == last_decrease;
        y = next;
        r = rn;
        last_decrease = decrease;
        if (repeats)
            break;
    }
    out.g = r->F;
    if (out.found && p.m.ordered_only && lattice_disordered(p.m, y))
        out.found = false;
    if (out.found && r->atoms < EMPTIED * p.m.least_atoms)
        out.found = false;
    if (out.found)
        slopes_in_x(p, y, *r, out);
    return out;
}

double lattice_order(const LatticeModel& m, const SiteFractions& y)
{
    double order = 0.0;
    for (const std::vector<int>& group : m.equivalent)
        for (std::size_t i = 1; i < group.size(); ++i) {
            const auto s0 = static_cast<std::size_t>(group[0]);
            const auto first0 = static_cast<std::size_t>(m.first[s0]);
            const auto first = static_cast<std::size_t>(m.first[static_cast<std::size_t>(group[i])]);
            const auto size = static_cast<std::size_t>(m.first[s0 + 1] - m.first[s0]);
            for (std::size_t k = 0; k < size; ++k)
                order = std::max(order, std::fabs(y[first0 + k] - y[first + k]));
        }
    return order;
}

bool lattice_disordered(const LatticeModel& m, const SiteFractions& y)
{
    return lattice_order(m, y) <= DISORDERED;
}

bool lattice_starts(const LatticeAtT& at, double x, SiteFractions& base, std::vector<SiteFractions>& towards)
{
    if (outside_range(*at.model, x))
        return false;
    const Problem p = problem_at(at, x);
    if (!reachable(p))
        return false;
    start_state(p, base);
    towards = end_member_starts(p, base);
    return true;
}
