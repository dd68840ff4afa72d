#include "engine/diagram/tieline.h"

#include "engine/diagram/sampling.h"
#include "engine/numerics/newton.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double SMALLEST = 1e-304;  // below exp(-700) an end has reached the pure component
// ln of a fraction as far again below the doubles: where an end that must fall
// there is taken as its pure component at once.
constexpr double FAR_BEYOND_DOUBLES = -1400.0;
// Two ends of one phase closer than this in ln x are one composition: the trivial root.
constexpr double SAME_END = 1e-7;
// Ends that agree to nine digits are a region of no width, as exactly at a pure
// melting point, where rounding alone would leave a sliver.
constexpr double NO_WIDTH = 1e-9;
constexpr double LONGEST_STEP = 2.0;     // in ln x: at most a factor e^2 in either fraction per step
constexpr int DESCENT_STEPS = 60;        // Newton steps to a minimum under a tangent, at most
constexpr double LONGEST_DESCENT = 1.0;  // in ln x, per step
constexpr double SETTLED = 1e-12;        // in ln x: a step this small has found the minimum
constexpr int SIDE_HALVINGS = 60;        // of a step that would cross a compound's point
// How near an ordered composition an unresolved end of a two-sublattice phase
// is taken as that composition.
constexpr double ORDERED_REACH = 1e-6;

// How near an end of its range inside (0, 1) an end of a phase of sublattices
// is moved in the logarithm of its distance from there.
constexpr double EDGE_REACH = 0.05;
// Relative: where Newton starts again beside an ordered composition; roundings
// of x the end must lie from there to count as resolved.
constexpr double BESIDE_ORDERED = 1e-9;
constexpr double FEWEST_ROUNDINGS = 1e4;
// Roundings of x the residual of a best point beside such a composition or an
// edge may come to, where Newton can bring it no lower.
constexpr double ROUNDINGS_LEFT = 8.0;
// In RT: potentials that one rounding of x moves by less than this are held
// well enough for a tangent; and how much better the other end must hold them.
constexpr double WELL_HELD = 1e-11;
constexpr double FAR_LESS_HELD = 1e3;

struct Pair {
    Composition low;
    Composition high;
};

// The ordered composition of a phase of sublattices within ORDERED_REACH of c,
// or -1; the grid's own point that far from it is within, however x's doubles
// round it (COST 507's SnTi3 sampled at 0.749999, 1e-6 and 3e-17 below 3/4).
double ordered_within_reach(const PhaseModel& m, const Composition& c)
{
    if (!has_internal_state(m))
        return -1.0;
    for (const double ordered : ordered_compositions(m))
        if (std::fabs(c.x - ordered) <= ORDERED_REACH + (std::nextafter(ordered, 2.0) - ordered))
            return ordered;
    return -1.0;
}

// The coordinate Newton moves one end in: the logarithm of its smaller
// fraction, or, for a phase of sublattices near an end of its range inside
// (0, 1) (fixed sublattices of one element keep it from the other end), the
// logarithm of its distance from that end (edge). There its
// potentials vary as that logarithm, which steps in the fraction's own
// logarithm overshoot beyond the range.
struct EndCoordinate {
    double edge = -1.0;  // none

    explicit EndCoordinate(double e) : edge(e) {}

    EndCoordinate(const PhaseAtT& at, const Composition& start)
    {
        if (!has_internal_state(at))
            return;
        for (const double e : range_ends(*at.model))
            if (e > 0.0 && e < 1.0 && start.x != e && std::fabs(start.x - e) < EDGE_REACH)
                edge = e;
    }

    // dx/du over dx/dv, u the fraction's logarithm and v this coordinate: what
    // turns a derivative in u into one in v.
    double scale(const Composition& c) const
    {
        if (edge < 0.0)
            return 1.0;
        return (c.x - edge) / (c.x <= c.y ? c.x : -c.y);
    }

    Composition moved(const Composition& c, double dv) const
    {
        if (edge < 0.0)
            return moved_in_log(c, dv);
        return composition_from_x(edge + (c.x - edge) * std::exp(dv));
    }

    // The residual (in units of RT) that one rounding of x leaves at c near the
    // edge, where x's doubles hold the distance from the edge to few digits: a
    // share of 2e-8 beside x = 1/2 to eight. Elsewhere none.
    double rounding(const Potentials& m, const Composition& c) const
    {
        if (edge < 0.0)
            return 0.0;
        const double ulp = std::nextafter(c.x, 2.0) - c.x;
        return std::fabs(m.curvature / (c.x * c.y)) * ulp / m.RT;
    }
};

// Newton could not bring the residual below ACCEPTED; near an edge the best
// point stands where its residual is within a few roundings of x there.
bool within_rounding(const PhaseAtT& p, const EndCoordinate& pe, const Composition& c1, const PhaseAtT& q,
                     const EndCoordinate& qe, const Composition& c2)
{
    if (pe.edge < 0.0 && qe.edge < 0.0)
        return false;
    const Potentials m1 = potentials(p, c1);
    const Potentials m2 = potentials(q, c2);
    const PotentialGap gap = potential_gap(c1, m1, c2, m2);
    const double residual = std::max(std::fabs(gap.a), std::fabs(gap.b));
    if (residual <= ROUNDINGS_LEFT * std::max(pe.rounding(m1, c1), qe.rounding(m2, c2)))
        return true;
    // Or where both residuals turn sign from that end to the next double of x:
    // the root lies between two doubles, whatever the potentials' slope says
    // (beside COST 507's SnTi3's 3/4 at 4000 K, 4e-9 from it, a share of 1e-11
    // is the difference of two near 1, and a rounding of x moves the
    // potentials by 2e-5 RT, not the 2e-8 RT of their slope).
    const auto turns = [&](bool low_end) {
        const Composition& c = low_end ? c1 : c2;
        for (const double toward : {0.0, 2.0}) {
            const Composition next = composition_from_x(std::nextafter(c.x, toward));
            const PotentialGap there = low_end ? potential_gap(next, potentials(p, next), c2, m2)
                                               : potential_gap(c1, m1, next, potentials(q, next));
            if (there.a * gap.a <= 0.0 && there.b * gap.b <= 0.0)
                return true;
        }
        return false;
    };
    return (pe.edge >= 0.0 && turns(true)) || (qe.edge >= 0.0 && turns(false));
}

}  // namespace

namespace {

const Composition PURE_B{0.0, 1.0};
const Composition PURE_A{1.0, 0.0};

// The pure component an end lies beside: the one of which it holds more.
Composition pure_beside(const Composition& c)
{
    return c.x < c.y ? PURE_B : PURE_A;
}

// Whether an end beside ordered composition (or edge) e lies further from it
// than x's doubles resolve; closer, it is that composition, as a point. Any
// end is resolved where there is no such composition (e < 0).
bool resolved_beside(double e, const Composition& c)
{
    return e < 0.0 || std::fabs(c.x - e) > FEWEST_ROUNDINGS * (std::nextafter(e, 2.0) - e);
}

// The ordered composition inside (0, 1) that c lies within reach of; -1 where none.
double ordered_inside(const PhaseAtT& at, const Composition& c)
{
    const double e = ordered_within_reach(*at.model, c);
    return e > 0.0 && e < 1.0 ? e : -1.0;
}

// Just beside ordered composition e, on the side side (+1 above, -1 below).
Composition just_beside(double e, double side)
{
    return composition_from_x(e * (1.0 + side * BESIDE_ORDERED));
}

// A start on that side of e: c where it lies there already, else just beside e.
Composition beside_start(double e, double side, const Composition& c)
{
    return (c.x - e) * side > 0.0 ? c : just_beside(e, side);
}

// How far (in RT) one rounding of its smaller fraction, which a composition
// holds in its own right, moves the potentials at an interior end c: their
// slope in x, x y G'' over that fraction, times its spacing. NaN at a pure
// end, which keeps its own potentials.
double potentials_rounding(const Potentials& m, const Composition& c)
{
    if (!(c.x > 0.0 && c.y > 0.0))
        return std::nan("");
    const double smaller = std::min(c.x, c.y);
    return std::fabs(m.curvature) / smaller * (std::nextafter(smaller, 1.0) - smaller) / m.RT;
}

// A composition a phase holds at one point, with its energy there: a compound,
// or a phase of two sublattices at an ordered composition when its range there
// is narrower than a double can tell.
struct PointEnd {
    Phase phase;
    Composition at;
    double g;
};

PointEnd compound_end(const System& s, Phase p, double T)
{
    const PhaseAtT at = phase_at(s, p, T, false);
    return {p, point_composition(*at.model), at.ga};
}

// The chord between two points: its potentials from its slope.
TieLine chord(const PointEnd& p, const PointEnd& q)
{
    const double slope = (q.g - p.g) / dx(p.at, q.at);  // mu_a - mu_b
    const double mu_b = p.g - p.at.x * slope;
    return p.at.x < q.at.x ? TieLine{p.phase, p.at, q.phase, q.at, mu_b + slope, mu_b, 0.0}
                           : TieLine{q.phase, q.at, p.phase, p.at, mu_b + slope, mu_b, 0.0};
}

// A curve p from start and a point q: the tangent of p at its end passes
// through the point, x_q mu_a + y_q mu_b = G_q, one equation in the end's logarithm.
Refined to_point(const PhaseAtT& p_at, Composition start, const PointEnd& q, TieLine& tie)
{
    const Phase p = p_at.phase;
    const Composition point = q.at;
    const double g_point = q.g;
    const double RT = p_at.RT;
    // The tangent from the point touches the curve on either side of it: the
    // end stays on its start's side, where the hull found it.
    const bool below = start.x < point.x;
    // How far the tangent at an end with potentials m passes from the point, in RT.
    const auto off_point = [&](const Potentials& m) {
        return (point.x * m.mu_a + point.y * m.mu_b - g_point) / RT;
    };
    const auto solve = [&](const EndCoordinate& coordinate, Composition& end) {
        const auto evaluate = [&](const Composition& c, double f[4], double j[4][4]) {
            const Potentials m = potentials(p_at, c);
            f[0] = off_point(m);
            j[0][0] = coordinate.scale(c) * (point.x * m.dmu_a + point.y * m.dmu_b) / RT;
        };
        const auto apply = [&](const Composition& c, const double dv[4], double scale) {
            double du = std::max(-LONGEST_STEP, std::min(LONGEST_STEP, scale * dv[0]));
            Composition moved = coordinate.moved(c, du);
            for (int halving = 0; halving < SIDE_HALVINGS && (moved.x < point.x) != below; ++halving) {
                du *= 0.5;
                moved = coordinate.moved(c, du);
            }
            return (moved.x < point.x) == below ? moved : c;
        };
        const auto escaped = [](const Composition& c) { return smaller_fraction(c) < SMALLEST; };
        return newton(1, end, evaluate, apply, escaped);
    };
    Composition end = start;
    NewtonResult result = solve(EndCoordinate(p_at, start), end);
    if (result == NewtonResult::failed) {
        // Beside an ordered composition, where x's doubles hold the distance to
        // few digits, again in the logarithm of that distance, from the side
        // facing the point (COST 507's CrSi2 at 330 K, 8e-9 above 1/3 beside
        // CrSi), else from the far side (SnTi3 at 1166 K, 2e-9 below 1/4
        // beside SnTi2), the best point standing within a few roundings of x
        // there where the tangent it leaves is as good as its check asks.
        const double ordered = ordered_inside(p_at, start);
        const bool on_its_side = ordered > 0.0 && (ordered < point.x) == below;
        for (const double facing : {1.0, -1.0}) {
            if (!on_its_side || result != NewtonResult::failed)
                break;
            const EndCoordinate beside(ordered);
            end = just_beside(ordered, below ? facing : -facing);
            result = solve(beside, end);
            const Potentials m = potentials(p_at, end);
            const double f = std::fabs(off_point(m));
            if (result == NewtonResult::failed && f <= ROUNDINGS_LEFT * beside.rounding(m, end) &&
                f <= KNOWN_TANGENT)
                result = NewtonResult::converged;
            if (!resolved_beside(ordered, end))
                result = NewtonResult::failed;  // the ordered composition itself, as a point
        }
    }
    if (result == NewtonResult::escaped) {
        // The solution's end is its pure component: the tangent of that component
        // alone, through the compound.
        end = pure_beside(end);
    } else if (result != NewtonResult::converged) {
        return Refined::failed;
    }
    if (std::fabs(dx(end, point)) <= NO_WIDTH * std::min(smaller_fraction(end), smaller_fraction(point)))
        return Refined::zero_width;
    const Potentials m = potentials(p_at, end);
    double mu_a = m.mu_a;
    double mu_b = m.mu_b;
    if (end.y == 0.0)  // pure A: mu_b from the line through the compound
        mu_b = (g_point - point.x * mu_a) / point.y;
    if (end.x == 0.0)
        mu_a = (g_point - point.y * mu_b) / point.x;
    tie = end.x < point.x ? TieLine{p, end, q.phase, point, mu_a, mu_b, 0.0}
                          : TieLine{q.phase, point, p, end, mu_a, mu_b, 0.0};
    tie.residual = std::fabs(point.x * mu_a + point.y * mu_b - g_point) / RT;
    return Refined::ok;
}

Refined to_point(const System& s, double T, Phase p, Composition start, const PointEnd& q, TieLine& tie)
{
    return to_point(phase_at(s, p, T, false), start, q, tie);
}

// The tie-line in order of x, with its tangent's potentials and residual.
Refined finish(const PhaseAtT& p_at, Composition c1, const PhaseAtT& q_at, Composition c2, TieLine& tie)
{
    const PhaseAtT* p = &p_at;
    const PhaseAtT* q = &q_at;
    if (c1.x > c2.x) {
        std::swap(c1, c2);
        std::swap(p, q);
    }
    const Potentials m1 = potentials(*p, c1);
    const Potentials m2 = potentials(*q, c2);
    const PotentialGap gap = potential_gap(c1, m1, c2, m2);
    const double residual = std::max(std::fabs(gap.a), std::fabs(gap.b));
    // The tangent's potentials from the low end, unless one rounding of its x
    // moves them a thousand times further than the high end's does, and by
    // more than WELL_HELD: beside an ordered composition (COST 507's SnTi3,
    // 1e-10 from 3/4 at 3000 K, where a rounding of x moves them by 1e-6 RT;
    // the liquid's end beside it holds them to 1e-12 RT).
    const double low_rounding = potentials_rounding(m1, c1);
    const double high_rounding = potentials_rounding(m2, c2);
    const bool low_poor = low_rounding > WELL_HELD && low_rounding > FAR_LESS_HELD * high_rounding;
    const bool high_poor = high_rounding > WELL_HELD && high_rounding > FAR_LESS_HELD * low_rounding;
    const Potentials& m = low_poor ? m2 : m1;
    tie = TieLine{p->phase, c1, q->phase, c2, m.mu_a, m.mu_b, residual};
    if (low_poor || high_poor) {
        // That tangent misses the other end's curve by the residual its x's
        // doubles leave, and its own curve dips below it by as much just
        // beside (SnTi3 at 632 K, 2e-12 below 1/4, a residual of 8e-7 RT):
        // the well-held end's tangent through the other end's point instead,
        // which its curve leaves by no more than its roundings.
        const Composition& poor = low_poor ? c1 : c2;
        const Potentials& held = low_poor ? m1 : m2;
        const PointEnd point{low_poor ? p->phase : q->phase, poor, poor.x * held.mu_a + poor.y * held.mu_b};
        TieLine through{};
        if (to_point(low_poor ? *q : *p, low_poor ? c2 : c1, point, through) == Refined::ok)
            tie = through;
    }
    return Refined::ok;
}

Refined finish(const System& s, double T, Phase p, Composition c1, Phase q, Composition c2, TieLine& tie)
{
    return finish(phase_at(s, p, T, false), c1, phase_at(s, q, T, false), c2, tie);
}

// Phase p at c as a point: a compound, or a two-sublattice phase within
// ORDERED_REACH of an ordered composition, taken there.
bool as_point(const System& s, Phase p, const Composition& c, double T, PointEnd& out)
{
    if (is_point(s, p)) {
        out = compound_end(s, p, T);
        return true;
    }
    const double ordered = ordered_within_reach(phase_model(s, p), c);
    if (ordered < 0.0)
        return false;
    const Composition at = composition_from_x(ordered);
    double g = gibbs(s, p, at, T);
    if (!std::isfinite(g)) {
        // An end of the phase's range, where its minimiser holds no state (COST
        // 507's TiN, (Ti)(N,VA), at x_N = 1/2 exactly, its vacancies at 0): the
        // limit from inside, at the next double towards c, within G's rounding.
        g = gibbs(s, p, composition_from_x(std::nextafter(ordered, c.x)), T);
    }
    out = {p, at, g};
    return std::isfinite(g);
}

// An end whose smaller fraction runs below what a double holds (a solubility of
// exp(-1200) under an interaction of 1e7 J/mol, or any at 1 K) is that pure
// component, as the tables write it; the other end solves the equal potential
// of the component both hold, alone.
Refined beyond_doubles(const System& s, double T, Phase p, Composition low, Phase q, Composition high,
                       TieLine& tie)
{
    const bool low_gone = smaller_fraction(low) < SMALLEST;
    const bool high_gone = smaller_fraction(high) < SMALLEST;
    const Composition low_pure = pure_beside(low);
    const Composition high_pure = pure_beside(high);
    if (low_gone && high_gone) {
        if (low_pure.x == high_pure.x)  // both at one pure component: no width
            return Refined::zero_width;
        const Composition a_end = low_pure.x == 1.0 ? low_pure : high_pure;
        const Phase a_phase = low_pure.x == 1.0 ? p : q;
        const Phase b_phase = low_pure.x == 1.0 ? q : p;
        tie = TieLine{b_phase,
                      PURE_B,
                      a_phase,
                      a_end,
                      potentials(s, a_phase, PURE_A, T).rest_a,
                      potentials(s, b_phase, PURE_B, T).rest_b,
                      0.0};
        return Refined::ok;
    }
    const Phase gone_phase = low_gone ? p : q;
    const Composition pure = low_gone ? low_pure : high_pure;
    const Phase other_phase = low_gone ? q : p;
    const Composition other = low_gone ? high : low;
    const Potentials at_pure = potentials(s, gone_phase, pure, T);
    const bool b_held = pure.x == 0.0;  // the pure end is B: B's potential is the one both hold
    const double RT = at_pure.RT;
    const PhaseAtT other_at = phase_at(s, other_phase, T, false);
    // Converged, or (beside an ordered composition, where x's doubles hold the
    // distance to few digits) within a few roundings of x there.
    // How far the potential both hold at the other end, m, lies from the pure end's, in RT.
    const auto off_pure = [&](const Potentials& m) {
        return b_held ? (m.mu_b - at_pure.rest_b) / RT : (m.mu_a - at_pure.rest_a) / RT;
    };
    const auto solved = [&](const EndCoordinate& coordinate, Composition& end) {
        const auto evaluate = [&](const Composition& c, double f[4], double j[4][4]) {
            const Potentials m = potentials(other_at, c);
            f[0] = off_pure(m);
            j[0][0] = coordinate.scale(c) * (b_held ? m.dmu_b : m.dmu_a) / RT;
        };
        const auto apply = [&](const Composition& c, const double dv[4], double scale) {
            return coordinate.moved(c, std::max(-LONGEST_STEP, std::min(LONGEST_STEP, scale * dv[0])));
        };
        if (newton(1, end, evaluate, apply) == NewtonResult::converged)
            return true;
        const Potentials m = potentials(other_at, end);
        return std::fabs(off_pure(m)) <= ROUNDINGS_LEFT * coordinate.rounding(m, end);
    };
    Composition end = other;
    if (solved(EndCoordinate(-1.0), end))
        return finish(s, T, gone_phase, pure, other_phase, end, tie);
    // Beside an ordered composition, where its potentials turn by many RT
    // within a rounding of x, the end moves in the logarithm of its distance
    // from it, on the side facing the pure end (COST 507's CrSi2 at 540 K,
    // 3e-9 below 1/3 beside diamond's Si).
    const double ordered = ordered_inside(other_at, other);
    if (ordered > 0.0) {
        Composition beside = beside_start(ordered, pure.x < ordered ? -1.0 : 1.0, other);
        if (solved(EndCoordinate(ordered), beside) && resolved_beside(ordered, beside))
            return finish(s, T, gone_phase, pure, other_phase, beside, tie);
    }
    // The other end beside an ordered composition, closer than x's doubles
    // resolve (COST 507's CrSi2 at 300 K beside diamond's Si, whose Cr is
    // below 1e-304): that composition, as a point, on the pure component's chord.
    PointEnd point{};
    if (!as_point(s, other_phase, other, T, point))
        return Refined::failed;
    tie = chord({gone_phase, pure, b_held ? at_pure.rest_b : at_pure.rest_a}, point);
    return Refined::ok;
}

// Where Newton could not resolve an end narrower than the doubles (an ordered
// phase at a low temperature), that end is its ordered composition.
Refined with_ordered_ends(const System& s, double T, Phase p, const Composition& low, Phase q,
                          const Composition& high, TieLine& tie)
{
    PointEnd a{};
    PointEnd b{};
    const bool a_point = as_point(s, p, low, T, a);
    const bool b_point = as_point(s, q, high, T, b);
    if (a_point && b_point) {
        tie = chord(a, b);
        return Refined::ok;
    }
    if (b_point && !is_point(s, p))
        return to_point(s, T, p, low, b, tie);
    if (a_point && !is_point(s, q))
        return to_point(s, T, q, high, a, tie);
    return Refined::failed;
}

// Whether an end's smaller fraction must fall far below what a double holds
// before its potential meets the other end's: that end is then its pure
// component (in at), as Newton would find it only a factor e^2 a step (170
// steps at every temperature for COST 507's graphite beside Cr, which holds
// Cr at 1e9 J/mol, a fraction of exp(-120000) at 1000 K). At a dilute end
// the potential of the component it holds little of is RT ln of its fraction
// and a constant: the residual f (in RT, the low end's potential less the
// high end's) says how far that logarithm has to fall. Only a phase that
// barely holds the component at all is that far off: 1400 RT is 3.5 MJ/mol
// at 300 K.
bool beyond_doubles_at_once(const EndCoordinate& low_end, const EndCoordinate& high_end, const double f[4],
                            Pair& at)
{
    const auto gone = [&](const EndCoordinate& coordinate, const Composition& c, double toward_low) {
        if (coordinate.edge >= 0.0 || !(smaller_fraction(c) > 0.0))
            return false;  // an end already at a pure component is left to Newton
        const bool holds_little_a = c.x <= c.y;
        const double fall = toward_low * (holds_little_a ? f[0] : f[1]);
        // A residual that is no number, or infinite, says nothing of the dilute law.
        return std::isfinite(fall) && std::log(smaller_fraction(c)) - fall < FAR_BEYOND_DOUBLES;
    };
    const bool low_gone = gone(low_end, at.low, 1.0);
    const bool high_gone = gone(high_end, at.high, -1.0);
    if (low_gone)
        at.low = pure_beside(at.low);
    if (high_gone)
        at.high = pure_beside(at.high);
    return low_gone || high_gone;
}

// Newton on the equal potentials of both components from at, each end moved in
// its own coordinate. Beside an ordered composition the residual may stall at
// its rounding (on_stall stop), which the callers then judge (within_rounding)
// or solve beside it; elsewhere (a tie-line near a critical point) it crawls
// on to digits that a slow descent still gains.
NewtonResult equal_potentials(const PhaseAtT& p_at, const EndCoordinate& low_end, const PhaseAtT& q_at,
                              const EndCoordinate& high_end, Pair& at, OnStall on_stall)
{
    const double RT = p_at.RT;
    const auto evaluate = [&](const Pair& w, double f[4], double j[4][4]) {
        const Potentials m1 = potentials(p_at, w.low);
        const Potentials m2 = potentials(q_at, w.high);
        const PotentialGap gap = potential_gap(w.low, m1, w.high, m2);
        const double s1 = low_end.scale(w.low);
        const double s2 = high_end.scale(w.high);
        f[0] = gap.a;
        f[1] = gap.b;
        j[0][0] = s1 * m1.dmu_a / RT;
        j[0][1] = -s2 * m2.dmu_a / RT;
        j[1][0] = s1 * m1.dmu_b / RT;
        j[1][1] = -s2 * m2.dmu_b / RT;
    };
    const auto apply = [&](const Pair& w, const double dv[4], double scale) {
        const double longest = std::max(std::fabs(dv[0]), std::fabs(dv[1]));
        const double limit = longest > LONGEST_STEP ? LONGEST_STEP / longest : 1.0;
        return Pair{low_end.moved(w.low, limit * scale * dv[0]),
                    high_end.moved(w.high, limit * scale * dv[1])};
    };
    const auto escaped = [](const Pair& w) {
        return smaller_fraction(w.low) < SMALLEST || smaller_fraction(w.high) < SMALLEST;
    };
    const NewtonPoint<Pair> start = newton_point(2, at, evaluate);
    if (beyond_doubles_at_once(low_end, high_end, start.f, at))
        return NewtonResult::escaped;
    return newton_from(2, start, at, evaluate, apply, escaped, on_stall);
}

// An end of a phase of sublattices that starts at or near one of its ordered
// compositions, where its potentials turn by many RT within a rounding of x,
// may touch the tangent a resolvable distance beside it, on the side facing
// the other end or, where the curve turns there less steeply than the
// tangent, on the far side (COST 507's SnTi3 at 2008 K, 1e-9 below 3/4 beside
// the liquid above it): Newton again from each side in turn, in the logarithm
// of the distance from that composition (which it never crosses). True with
// at solved.
bool beside_ordered(const PhaseAtT& p_at, const PhaseAtT& q_at, const Composition& low,
                    const Composition& high, Pair& at)
{
    const double e_low = ordered_inside(p_at, low);
    const double e_high = ordered_inside(q_at, high);
    if ((e_low < 0.0) == (e_high < 0.0))  // neither, or both (a chord of two points)
        return false;
    const EndCoordinate low_end = e_low < 0.0 ? EndCoordinate(p_at, low) : EndCoordinate(e_low);
    const EndCoordinate high_end = e_high < 0.0 ? EndCoordinate(q_at, high) : EndCoordinate(e_high);
    for (const double facing : {1.0, -1.0}) {
        Pair beside{e_low < 0.0 ? low : beside_start(e_low, facing, low),
                    e_high < 0.0 ? high : beside_start(e_high, -facing, high)};
        // x's doubles may hold the distance from there to few digits: the best
        // point within a few roundings of x stands, as beside an end of a range.
        if (equal_potentials(p_at, low_end, q_at, high_end, beside, OnStall::stop) !=
                NewtonResult::converged &&
            !within_rounding(p_at, low_end, beside.low, q_at, high_end, beside.high))
            continue;
        // An end closer to the ordered composition than x's doubles resolve is
        // that composition, as a point.
        if (!resolved_beside(e_low, beside.low) || !resolved_beside(e_high, beside.high))
            continue;
        at = beside;
        return true;
    }
    return false;
}

}  // namespace

namespace {

// A tie-line with a compound at one end or both.
Refined with_points(const System& s, double T, Phase p, const Composition& low, Phase q,
                    const Composition& high, TieLine& tie)
{
    if (is_point(s, p) && is_point(s, q)) {
        tie = chord(compound_end(s, p, T), compound_end(s, q, T));
        return Refined::ok;
    }
    const Refined r = is_point(s, q) ? to_point(s, T, p, low, compound_end(s, q, T), tie)
                                     : to_point(s, T, q, high, compound_end(s, p, T), tie);
    return r == Refined::failed ? with_ordered_ends(s, T, p, low, q, high, tie) : r;
}

}  // namespace

Refined refine_tie_line(const System& s, double T, Phase p, Composition low, Phase q, Composition high,
                        TieLine& tie)
{
    if (is_point(s, p) || is_point(s, q))
        return with_points(s, T, p, low, q, high, tie);
    return refine_tie_line(phase_at(s, p, T, false), low, phase_at(s, q, T, false), high, tie);
}

Refined refine_tie_line(const PhaseAtT& p_at, Composition low, const PhaseAtT& q_at, Composition high,
                        TieLine& tie)
{
    const System& s = *p_at.system;
    const double T = p_at.T;
    const Phase p = p_at.phase;
    const Phase q = q_at.phase;
    if (is_point(p_at) || is_point(q_at))
        return with_points(s, T, p, low, q, high, tie);
    Pair at{low, high};
    const EndCoordinate low_end(p_at, low);
    const EndCoordinate high_end(q_at, high);
    const bool beside = ordered_inside(p_at, low) > 0.0 || ordered_inside(q_at, high) > 0.0;
    NewtonResult result =
        equal_potentials(p_at, low_end, q_at, high_end, at, beside ? OnStall::stop : OnStall::crawl);
    // Beside an ordered composition that the start lies within reach of, or
    // that Newton's last point does (COST 507's SnTi3 sampled 1e-6 below 3/4
    // beside the liquid at 2395 K, where Newton stopped 5e-7 below it).
    if (result != NewtonResult::converged && result != NewtonResult::escaped &&
        !within_rounding(p_at, low_end, at.low, q_at, high_end, at.high)) {
        const Pair last = at;
        if (beside_ordered(p_at, q_at, low, high, at) || beside_ordered(p_at, q_at, last.low, last.high, at))
            result = NewtonResult::converged;
    }
    if (result == NewtonResult::escaped)
        return beyond_doubles(s, T, p, at.low, q, at.high, tie);
    const Composition& c1 = at.low;
    const Composition& c2 = at.high;
    if (p == q && std::fabs(log_ratio_a(c1, c2)) < SAME_END && std::fabs(log_ratio_b(c1, c2)) < SAME_END)
        return Refined::zero_width;
    if (result != NewtonResult::converged && !within_rounding(p_at, low_end, c1, q_at, high_end, c2))
        return with_ordered_ends(s, T, p, low, q, high, tie);
    // An end closer to an edge of its range than x's doubles resolve (COST 507's
    // TiN, (Ti)(N,VA), one rounding below x_N = 1/2 at 884 K) holds potentials
    // to no digit: that edge, as a point.
    if (!resolved_beside(low_end.edge, c1) || !resolved_beside(high_end.edge, c2))
        return with_ordered_ends(s, T, p, low, q, high, tie);
    const bool low_side = c1.x <= 0.5 && c2.x <= 0.5;
    const double width = low_side ? std::fabs(c2.x - c1.x) : std::fabs(c2.y - c1.y);
    const double smaller_end = low_side ? std::min(c1.x, c2.x) : std::min(c1.y, c2.y);
    if (width <= NO_WIDTH * smaller_end)
        return Refined::zero_width;
    return finish(p_at, c1, q_at, c2, tie);
}

namespace {

// How far a curve lies above the tie-line's tangent at c, from its potentials there.
double height_above(const Composition& c, const Potentials& m, const TieLine& tie)
{
    const double a = c.x > 0.0 ? c.x * (m.mu_a - tie.mu_a) : 0.0;
    const double b = c.y > 0.0 ? c.y * (m.mu_b - tie.mu_b) : 0.0;
    return a + b;
}

}  // namespace

double above_tangent(const PhaseAtT& p, const Composition& c, const TieLine& tie)
{
    if (is_point(p))
        return above_line(p, c, 0.0, 0.0, tie.mu_a, tie.mu_b);
    return height_above(c, potentials(p, c), tie);
}

double lowest_above_tangent(const PhaseAtT& p, Composition& c, const TieLine& tie)
{
    if (is_point(p))
        return above_line(p, c, 0.0, 0.0, tie.mu_a, tie.mu_b);
    // Each point's potentials once: its height and the next step both come from them.
    Composition at = c;
    Potentials m = potentials(p, at);
    double lowest = height_above(at, m, tie);
    const double slope = tie.mu_a - tie.mu_b;
    for (int iteration = 0; iteration < DESCENT_STEPS; ++iteration) {
        const double h1 = (m.mu_a - m.mu_b) - slope;  // d(curve - tangent)/dx
        const double h2 = m.dmu_a - m.dmu_b;          // its derivative in u
        if (!(m.curvature > 0.0) || h2 == 0.0)        // not convex here: the grid's own points decide
            break;
        // No state here (past where an ordered phase's order goes, which the
        // last step crossed): its slope is NaN, and the step it would give
        // clamps to a whole LONGEST_DESCENT, far across the range. The
        // points before, and the grid's, decide.
        if (!std::isfinite(h1))
            break;
        double du = -h1 / h2;
        du = std::max(-LONGEST_DESCENT, std::min(LONGEST_DESCENT, du));
        at = moved_in_log(at, du);
        if (!(smaller_fraction(at) >= SMALLEST))
            break;
        m = potentials(p, at);
        const double h = height_above(at, m, tie);
        if (h < lowest) {
            lowest = h;
            c = at;
        }
        if (std::fabs(du) < SETTLED)
            break;
    }
    return lowest;
}
