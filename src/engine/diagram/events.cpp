#include "engine/diagram/events.h"

#include "engine/diagram/gap_tangent.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace {

constexpr double NARROWEST = 1e-7;  // K: bisection stops here and solves the event
constexpr int DEEPEST = 60;         // halvings of a bracket at most: far below NARROWEST from any range
// Temperatures the search between two rows may solve, and a segment's searches
// in all (beyond PER_ROW for each of its rows): a few events take some thirty
// halvings each, while energies so large that their rounding makes the regions
// flicker at every halving would take two to the thirtieth.
constexpr int MOST_HALVINGS = 100;
constexpr int SEGMENT_HALVINGS = 400;
constexpr int PER_ROW = 40;
// A gap of one phase narrower than this is taken as closed: within about 1e-4 of
// its critical point a gap is too shallow for the rounding of the energies.
constexpr double THINNEST_GAP = 1e-3;
// A region between an ordered phase and its disordered part narrower than
// this is taken as closed: it narrows in proportion to the distance from its
// top where the ordering goes on continuously, and within some 1e-6 of it the
// barely ordered end is too shallow for the rounding of the energies (Al-Fe's
// A2 + B2 comes and goes there, 0.005 K below its top).
constexpr double THINNEST_ORDERING = 1e-5;
// K: the rows that place a tricritical point roughly lie this far apart; those
// that follow a region between two states of one phase to its top, this far.
constexpr double TRICRITICAL_STEP = 0.2;
constexpr double ROUGH_STEP = 1.0;
// K: how far inside the region from that rough top the rows that place it
// start, the nearest that holds the region in all three rows; and the rows'
// spacing for each, a share of the depth, so that the parabolas reach the top
// in about one step and the sides' rounding counts the same at every depth.
// Nearer the top the ordered end's rounding bends the sides away from
// straight (Al-Fe's A2 + B2 within 0.05 K of it); a region between two states
// of one phase comes and goes there (its D0_3 + B2 within 2 K), and is
// followed up to it row by row instead. From 0.25 K
// the A2 + B2 top comes out the same to 1e-4 K whichever rows a range holds.
constexpr double TOP_DEPTHS[] = {0.25, 0.5, 1.0};
// Rows at most that a region between two states of one phase is followed
// through towards its top, ROUGH_STEP apart.
constexpr int MOST_WALKED = 20;
constexpr double TOP_STEP_BY_DEPTH = 0.8;
// Of the width the last two rows foretell: a row's region narrower than this
// is a tangent beside it.
constexpr double SETTLED_BESIDE = 0.25;
// A tie-line whose ends move less than this across a bracket is the same one.
constexpr double CONTINUES = 0.05;
// How far in x a tie-line's end may move across a bracket narrowed to where an
// ordering crosses it: the barely ordered end and the disordered one lie some
// 1e-5 apart there (Al-Fe's B2 at the solidus, 6e-6 across 6e-8 K).
constexpr double CROSSING_MOVES = 1e-4;
// K: an event solved from a bracket may lie this far outside it, where a region
// closing to a point is too narrow for any sampling.
constexpr double OUTSIDE_BRACKET = 0.01;
// Of the smaller fraction: an end this close to a pure component holds a
// trace of the other.
constexpr double TRACE = 1e-6;
// Relative: beside a pure melting point or a critical point, where the states
// on either side of it are read.
constexpr double JUST_BESIDE = 1e-9;

struct EventSearch {
    const System& s;
    const Grid& grid;
    Diagram& d;
    std::vector<Doubt> scratch;  // doubts met at bisection temperatures are not rows
    GridEnergies& work;
    int halvings_left = MOST_HALVINGS;    // between the two rows searched now
    int segment_left = SEGMENT_HALVINGS;  // in the whole segment
    bool said = false;                    // that the two rows are not searched to the end

    Equilibria at(double T) { return visible(equilibria_at(s, grid, T, scratch, work)); }

    // What events are read from: gaps thinner than THINNEST_GAP, and regions
    // of an ordering thinner than THINNEST_ORDERING, would flicker in and out.
    // A gap about a corner of its curve stays: its samples hold it.
    Equilibria visible(Equilibria e) const
    {
        e.ties.erase(std::remove_if(e.ties.begin(), e.ties.end(),
                                    [&](const TieLine& t) {
                                        const double width = dx(t.low, t.high);
                                        if (t.low_phase == t.high_phase)
                                            return width < THINNEST_GAP && !corner_inside(t, e.T);
                                        return ordered_pair(t.low_phase, t.high_phase) &&
                                               width < THINNEST_ORDERING;
                                    }),
                     e.ties.end());
        return e;
    }

    // Whether p and q are an ordered phase and its disordered part.
    bool ordered_pair(Phase p, Phase q) const { return p != q && phase_family(s, p) == phase_family(s, q); }

    // Whether lo and hi, a bracket narrowed as far as it goes, differ only
    // where an ordering that sets in continuously crosses a tie-line's end
    // (Al-Fe's B2 meeting the solidus): the same tie-lines, each end going on
    // in x from an ordered phase to its disordered part or back. No region
    // starts or ends there; a first-order ordering adds one between the two.
    bool ordering_crosses(const Equilibria& lo, const Equilibria& hi) const
    {
        if (lo.ties.size() != hi.ties.size())
            return false;
        const auto same_end = [&](Phase p, const Composition& cp, Phase q, const Composition& cq) {
            return phase_family(s, p) == phase_family(s, q) && std::fabs(cp.x - cq.x) <= CROSSING_MOVES;
        };
        for (std::size_t i = 0; i < lo.ties.size(); ++i) {
            const TieLine& p = lo.ties[i];
            const TieLine& q = hi.ties[i];
            if (!same_end(p.low_phase, p.low, q.low_phase, q.low) ||
                !same_end(p.high_phase, p.high, q.high_phase, q.high))
                return false;
        }
        return true;
    }

    // Narrows [lo, hi] until the change between them is one event, then solves it.
    void resolve(const Equilibria& lo, const Equilibria& hi, int depth)
    {
        const std::vector<int> a = signature(lo);
        const std::vector<int> b = signature(hi);
        if (a == b)
            return;
        if (classify(lo, hi, a, b))
            return;
        if (depth > DEEPEST || hi.T - lo.T < NARROWEST) {
            // Narrowed to nothing, where an ordering crosses a tie-line's end
            // there is nothing to resolve.
            if (!ordering_crosses(lo, hi))
                d.doubts.push_back(doubt_in_range(
                    lo.T, hi.T,
                    with_jump("the diagram changes in a way not resolved into invariants", lo, hi)));
            return;
        }
        if (--halvings_left < 0 || --segment_left < 0) {
            if (!said)  // once for the two rows
                d.doubts.push_back(doubt_in_range(lo.T, hi.T,
                                                  "the regions change at every temperature looked at: not "
                                                  "resolved into invariants"));
            said = true;
            return;
        }
        const Equilibria mid = at(0.5 * (lo.T + hi.T));
        resolve(lo, mid, depth + 1);
        resolve(mid, hi, depth + 1);
    }

    // What changed between lo and hi: the tie-lines kept on both sides, and the
    // changed part of the side with more of them (many) and of the other (few).
    struct Change {
        const Equilibria& lo;
        const Equilibria& hi;
        std::size_t front, n_many, n_few;
        bool more_below;  // the side with more tie-lines in the changed part is lo
        const Equilibria& many;
        const Equilibria& few;
        const TieLine* m0;
        const TieLine* m1;
        bool narrow() const { return hi.T - lo.T <= NARROWEST; }
        double T_guess() const { return 0.5 * (lo.T + hi.T); }
    };

    static Change change_between(const Equilibria& lo, const Equilibria& hi, const std::vector<int>& a,
                                 const std::vector<int>& b)
    {
        // Tie-lines kept on both sides must be the same ones, moved a little: an
        // end that jumps belongs to the change (a monotectic splits an L+S
        // tie-line into L+L and L+S of the same signature as before).
        const auto continues = [&](std::size_t i, std::size_t j) {
            const TieLine& p = lo.ties[i];
            const TieLine& q = hi.ties[j];
            return a[i] == b[j] && std::fabs(p.low.x - q.low.x) <= CONTINUES &&
                   std::fabs(p.high.x - q.high.x) <= CONTINUES;
        };
        std::size_t front = 0;
        while (front < a.size() && front < b.size() && continues(front, front))
            ++front;
        std::size_t back = 0;
        while (back < a.size() - front && back < b.size() - front &&
               continues(a.size() - 1 - back, b.size() - 1 - back))
            ++back;
        const std::size_t na = a.size() - front - back;
        const std::size_t nb = b.size() - front - back;
        const bool more_below = na > nb;
        const Equilibria& many = more_below ? lo : hi;
        const std::size_t n_many = std::max(na, nb);
        return {lo,
                hi,
                front,
                n_many,
                std::min(na, nb),
                more_below,
                many,
                more_below ? hi : lo,
                n_many > 0 ? &many.ties[front] : nullptr,
                n_many > 1 ? &many.ties[front + 1] : nullptr};
    }

    // One event between lo and hi: found and solved (true), or more than one (false).
    bool classify(const Equilibria& lo, const Equilibria& hi, const std::vector<int>& a,
                  const std::vector<int>& b)
    {
        const Change c = change_between(lo, hi, a, b);
        const TieLine* m0 = c.m0;
        const TieLine* m1 = c.m1;
        if (c.n_many == 1 && c.n_few == 0) {
            if (m0->low_phase == m0->high_phase)
                return two_orderings(*m0, c.many.T) ? ordering_turns_continuous(c) : gap_closes(c);
            return ordered_pair(m0->low_phase, m0->high_phase) ? ordering_turns_continuous(c)
                                                               : edge_melts(c, a, b);
        }
        if (c.n_many == 1 && c.n_few == 1)
            return pure_end_transforms(c, a, b) || (c.narrow() && end_leaves_pure(c));
        if (c.n_many == 2 && c.n_few == 0 && m0->high_phase == m1->low_phase &&
            m0->low_phase == m1->high_phase && m0->low_phase != m0->high_phase)
            return congruent_point(c);
        if (c.n_many == 2 && c.n_few == 2)
            return compound_transforms(c);
        if (c.n_many == 2 && c.n_few == 1 && m0->high_phase == m1->low_phase &&
            c.few.ties[c.front].low_phase == m0->low_phase &&
            c.few.ties[c.front].high_phase == m1->high_phase) {
            const Phase phases[3] = {m0->low_phase, m0->high_phase, m1->high_phase};
            const Composition at[3] = {m0->low, composition_from_x(0.5 * (m0->high.x + m1->low.x)), m1->high};
            return three_phase(c, phases, at);
        }
        return false;
    }

    // A miscibility gap closes at its critical point, where that point is stable;
    // one inside another two-phase region is metastable, and the gap meets that
    // region at a three-phase invariant instead.
    bool gap_closes(const Change& c)
    {
        const TieLine* m0 = c.m0;
        if (!c.narrow())
            return false;
        Invariant inv{InvariantKind::critical, c.T_guess(), 1, {m0->low_phase}, {}, false};
        double x = 0.5 * (m0->low.x + m0->high.x);
        if (!solve_critical(s, m0->low_phase, x, inv.T) || !within(inv.T, c.lo, c.hi)) {
            // No smooth critical point: the gap may close where its curve bends,
            // above the row where the events last saw it.
            inv.T = c.many.T;
            const double towards_top = c.more_below ? 1.0 : -1.0;
            if (!kinked_critical(s, m0->low_phase, m0->low.x, m0->high.x, towards_top, x, inv.T)) {
                // Nor that: the gap goes on, metastable, inside a region on the
                // other side (COST 507's Fe-Ti bcc gap below 792.6 K, inside
                // HCP_A3 + BCC_A2), which it meets here.
                const double middle = 0.5 * (m0->low.x + m0->high.x);
                const auto covers = [&](const TieLine& t) { return t.low.x < middle && middle < t.high.x; };
                if (std::any_of(c.few.ties.begin(), c.few.ties.end(), covers))
                    return gap_meets_region(c);
                // A gap about a corner of the curve narrows without end as the
                // corner softens (COST 507's Fe-Ni fcc, 1e-3 wide at 881 K and
                // 1e-4 at 1341 K): no top, only narrower than the events follow.
                if (dx(m0->low, m0->high) < 2.0 * THINNEST_GAP && corner_inside(*m0, c.many.T))
                    return true;
                return fail(c.lo, c.hi, "the critical point of a miscibility gap was not solved");
            }
        }
        inv.at[0] = composition_from_x(x);
        const Equilibria around = at(inv.T * (1.0 + JUST_BESIDE));
        for (const TieLine& t : around.ties)
            if (t.low.x < x && x < t.high.x)
                return gap_meets_region(c);
        d.invariants.push_back(inv);
        return true;
    }

    // A region between two orderings closes where the ordering goes on
    // continuously beyond it, at a tricritical point: the region between an
    // ordered phase and its disordered part (the disordered part first, both
    // at its composition), or between two states of one phase (Al-Fe's D0_3
    // and B2). Found from rows inside the region, not by narrowing the
    // bracket: each row near the top holds a barely ordered end, which makes
    // it several times as costly as a row away from it, and a region between
    // two states of one phase is found there only now and then. Rows below
    // the one that still holds the region place the top roughly; rows as near
    // it as hold the region place it.
    bool ordering_turns_continuous(const Change& c)
    {
        const TieLine& tie = *c.m0;
        const double direction = c.more_below ? 1.0 : -1.0;
        double x = 0.0;
        double T = 0.0;
        if (!top_near(tie, c.many.T, direction, x, T) && !top_by_walking(tie, c.many.T, direction, x, T))
            return fail(c.lo, c.hi, "the top of a two-phase region of an ordering was not solved");
        const bool low_ordered = phase_family(s, tie.low_phase) != tie.low_phase;
        const Phase disordered = low_ordered ? tie.high_phase : tie.low_phase;
        const Phase ordered = low_ordered ? tie.low_phase : tie.high_phase;
        const Composition at = composition_from_x(x);
        d.invariants.push_back({InvariantKind::tricritical, T, 2, {disordered, ordered}, {at, at}, false});
        return true;
    }

    // The top from rows TRICRITICAL_STEP apart from the last row holding the
    // region (T0), roughly, then from rows as near it as hold the region.
    bool top_near(const TieLine& tie, double T0, double direction, double& x, double& T)
    {
        if (!top_from_rows(tie, T0, direction, TRICRITICAL_STEP, x, T))
            return false;
        const double rough = T;
        for (const double depth : TOP_DEPTHS) {
            const double first = rough - depth * direction;
            if ((first - T0) * direction < 0.0)
                return false;  // no nearer than the rows that placed it roughly
            if (top_from_rows(tie, first, direction, TOP_STEP_BY_DEPTH * depth, x, T))
                return true;
        }
        return false;
    }

    // The top from rows ROUGH_STEP apart, from two below T0 on towards the top
    // as far as they hold the region, each from the one before as the rows of
    // a range are: a region between two states of one phase, which a row
    // finds only from states of a temperature near it, is found by them as
    // far as the range's own rows find it. The last three place the top.
    bool top_by_walking(const TieLine& tie, double T0, double direction, double& x, double& T)
    {
        std::vector<TieLine> held;
        for (int k = -2; k < MOST_WALKED; ++k) {
            const std::optional<TieLine> nearest =
                nearest_tie(equilibria_at(s, grid, T0 + k * ROUGH_STEP * direction, scratch, work), tie);
            if (!nearest || (!held.empty() && !(width(*nearest) < width(held.back()))))
                break;
            // The region narrows about linearly towards its top: a side far
            // narrower than the last two rows foretell is a tangent Newton
            // settled on beside the region, not the region.
            const std::size_t k_held = held.size();
            if (k_held >= 2 &&
                width(*nearest) < SETTLED_BESIDE * (2.0 * width(held[k_held - 1]) - width(held[k_held - 2])))
                break;
            held.push_back(*nearest);
        }
        const std::size_t n = held.size();
        if (n < 3)
            return false;
        const TieLine sides[3] = {held[n - 1], held[n - 2], held[n - 3]};
        const double last = T0 + (static_cast<double>(n) - 3.0) * ROUGH_STEP * direction;
        return tricritical_from_sides(sides, last, ROUGH_STEP, direction, x, T);
    }

    // The top of the region of tie's two phases, from its tie-lines nearest
    // tie at T0 and two rows further inside it, step apart.
    bool top_from_rows(const TieLine& tie, double T0, double direction, double step, double& x, double& T)
    {
        TieLine sides[3] = {};
        for (int k = 0; k < 3; ++k) {
            const Equilibria row = equilibria_at(s, grid, T0 - k * step * direction, scratch, work);
            const std::optional<TieLine> nearest = nearest_tie(row, tie);
            // Each row further inside holds the region wider: a side of no
            // real width is a tangent Newton settled on beside the region.
            if (!nearest || (k > 0 && !(width(*nearest) > width(sides[k - 1]))))
                return false;
            sides[k] = *nearest;
        }
        return tricritical_from_sides(sides, T0, step, direction, x, T);
    }

    // The tie-line of row between tie's two phases nearest tie; none where it has none.
    static std::optional<TieLine> nearest_tie(const Equilibria& row, const TieLine& tie)
    {
        const TieLine* nearest = nullptr;
        for (const TieLine& t : row.ties)
            if (t.low_phase == tie.low_phase && t.high_phase == tie.high_phase &&
                (nearest == nullptr ||
                 std::fabs(t.low.x - tie.low.x) < std::fabs(nearest->low.x - tie.low.x)))
                nearest = &t;
        return nearest == nullptr ? std::nullopt : std::optional<TieLine>(*nearest);
    }

    static double width(const TieLine& t) { return dx(t.low, t.high); }

    // Whether tie's ends are two orderings of one phase of sublattices at T
    // (Al-Fe's D0_3 and B2), not the two sides of a miscibility gap.
    bool two_orderings(const TieLine& tie, double T) const
    {
        if (tie.low_phase != tie.high_phase)
            return false;
        const PhaseAtT at = phase_at(s, tie.low_phase, T, false);
        if (!has_internal_state(at))
            return false;
        const int low = ordering_pattern(at, tie.low);
        const int high = ordering_pattern(at, tie.high);
        return low != 0 && high != 0 && low != high;
    }

    // The gap m0 and the two-phase region beside it in the same state, as a
    // three-phase invariant: the region's far phase and the gap's two ends.
    bool gap_meets_region(const Change& c)
    {
        const TieLine& gap = *c.m0;
        const std::vector<TieLine>& ties = c.many.ties;
        if (c.front > 0 && ties[c.front - 1].high_phase == gap.low_phase) {
            const TieLine& region = ties[c.front - 1];
            const Phase phases[3] = {region.low_phase, gap.low_phase, gap.high_phase};
            const Composition at[3] = {region.low, gap.low, gap.high};
            return three_phase(c, phases, at);
        }
        if (c.front + 1 < ties.size() && ties[c.front + 1].low_phase == gap.high_phase) {
            const TieLine& region = ties[c.front + 1];
            const Phase phases[3] = {gap.low_phase, gap.high_phase, region.high_phase};
            const Composition at[3] = {gap.low, gap.high, region.high};
            return three_phase(c, phases, at);
        }
        return fail(c.lo, c.hi, "a metastable critical point with no region beside it");
    }

    // A two-phase region meets a pure component at its melting point; the melting
    // point is the only event of the bracket where the states just beside it are
    // those of the bracket's ends, else the bracket is narrowed further.
    bool edge_melts(const Change& c, const std::vector<int>& a, const std::vector<int>& b)
    {
        return pure_event(c, a, b, c.m0->low.x > 0.5, c.m0->low_phase, c.m0->high_phase);
    }

    // The pure component's transition between p and q inside the bracket, where
    // the states just beside it are those of the bracket's ends (or the bracket
    // is as narrow as it gets): an event at the edge of the diagram.
    bool pure_event(const Change& c, const std::vector<int>& a, const std::vector<int>& b, bool at_a, Phase p,
                    Phase q)
    {
        const double T = pure_transition(s, p, q, at_a, c.lo.T, c.hi.T);
        if (std::isnan(T))
            return false;
        if (!c.narrow() &&
            (signature(at(T * (1.0 - JUST_BESIDE))) != a || signature(at(T * (1.0 + JUST_BESIDE))) != b))
            return false;
        d.melting.push_back({T, at_a, p, q});
        return true;
    }

    // The one tie-line of a change (one on each side) whose end at one side
    // turned into another phase: which end, its phase and composition below
    // and above, and the unchanged other end; none where neither or both did.
    struct ChangedEnd {
        bool low;
        Phase below_phase, above_phase;
        Composition below, above;
        Phase other_phase;
        Composition other;
    };
    static std::optional<ChangedEnd> changed_end(const Change& c)
    {
        const TieLine& below = c.lo.ties[c.front];
        const TieLine& above = c.hi.ties[c.front];
        const bool low_end = below.high_phase == above.high_phase && below.low_phase != above.low_phase;
        const bool high_end = below.low_phase == above.low_phase && below.high_phase != above.high_phase;
        if (low_end == high_end)
            return std::nullopt;
        if (low_end)
            return ChangedEnd{true,      below.low_phase,  above.low_phase, below.low,
                              above.low, below.high_phase, below.high};
        return ChangedEnd{false,      below.high_phase, above.high_phase, below.high,
                          above.high, below.low_phase,  below.low};
    }

    // Beneath a two-phase region the pure component transforms: the region's
    // end at the edge of the diagram changes phase, each holding none of the
    // other component (Mn's alpha -> beta at 980 K beside Cu's fcc). The
    // transition is the only event of the bracket where the states just
    // beside it are those of the bracket's ends.
    bool pure_end_transforms(const Change& c, const std::vector<int>& a, const std::vector<int>& b)
    {
        const std::optional<ChangedEnd> e = changed_end(c);
        if (!e)
            return false;
        const bool at_a = e->below.y == 0.0;
        if (at_a != (e->above.y == 0.0) || (!at_a && (e->below.x != 0.0 || e->above.x != 0.0)))
            return false;
        return pure_event(c, a, b, at_a, e->below_phase, e->above_phase);
    }

    // A region whose end at a pure component turns into another phase, one or
    // both holding a trace of the other component (COST 507's Sn, melting
    // beside graphite into a liquid of 1.5e-11 C; Y's hcp of 2e-11 Al turning
    // into bcc beneath the liquid): a three-phase invariant of the two and the
    // region's other phase, within 1e-11 K of the pure transition.
    bool end_leaves_pure(const Change& c)
    {
        const std::optional<ChangedEnd> e = changed_end(c);
        if (!e)
            return false;
        // Both ends at most a trace beside the same pure component.
        const auto trace = [](const Composition& end) { return std::fmin(end.x, end.y) < TRACE; };
        if (!trace(e->below) || !trace(e->above) || (e->below.x < 0.5) != (e->above.x < 0.5))
            return false;
        // The three by x: the changed end's two states in their order, and
        // the tie-line's other end beyond them.
        const bool below_first = e->below.x <= e->above.x;
        const Phase first = below_first ? e->below_phase : e->above_phase;
        const Phase second = below_first ? e->above_phase : e->below_phase;
        const Composition& at_first = below_first ? e->below : e->above;
        const Composition& at_second = below_first ? e->above : e->below;
        const Phase phases[3] = {e->low ? first : e->other_phase, e->low ? second : first,
                                 e->low ? e->other_phase : second};
        const Composition at[3] = {e->low ? at_first : e->other, e->low ? at_second : at_first,
                                   e->low ? e->other : at_second};
        // Two phases of one pure energy there are one state (COST 507's BCC_B2,
        // which repeats BCC_A2): no invariant between them.
        const bool at_a = at[1].x > 0.5;
        for (int i = 0; i < 2; ++i)
            for (int k = i + 1; k < 3; ++k)
                if (exactly_equal_pure(s, phases[i], phases[k], at_a, c.T_guess()))
                    return false;
        return three_phase(c, phases, at);
    }

    // A compound turning into another of its composition (COST 507's Si5Y3,
    // R below 723 K and H above): the regions on its two sides change their
    // compound together, and the two are level at one temperature, a congruent
    // transformation of two solids.
    bool compound_transforms(const Change& c)
    {
        const TieLine& f0 = c.few.ties[c.front];
        const TieLine& f1 = c.few.ties[c.front + 1];
        const Phase p = c.m0->high_phase;
        const Phase q = f0.high_phase;
        if (p == q || c.m1->low_phase != p || f1.low_phase != q || c.m0->low_phase != f0.low_phase ||
            c.m1->high_phase != f1.high_phase || !is_point(s, p) || !is_point(s, q) ||
            c.m0->high.x != f0.high.x)
            return false;
        const auto level = [&](double T) {
            return phase_at(s, p, T, false).ga - phase_at(s, q, T, false).ga;
        };
        double lo = c.lo.T;
        double hi = c.hi.T;
        const double at_lo = level(lo);
        const double at_hi = level(hi);
        // Level exactly at an end (a row of the range at the transformation) is the root.
        if (at_hi == 0.0)
            lo = hi;
        else if (at_lo != 0.0 && (at_lo < 0.0) == (at_hi < 0.0))
            return c.narrow() ? fail(c.lo, c.hi, "a compound's transformation was not solved") : false;
        const bool lo_sign = at_lo < 0.0;
        while (at_lo != 0.0 && lo != hi) {
            const double mid = 0.5 * (lo + hi);
            if (mid == lo || mid == hi)
                break;
            ((level(mid) < 0.0) == lo_sign ? lo : hi) = mid;
        }
        Invariant inv{InvariantKind::congruent, lo, 2, {std::min(p, q), std::max(p, q)}, {}, false};
        inv.at[0] = inv.at[1] = c.m0->high;
        d.invariants.push_back(inv);
        return true;
    }

    // A congruent point: two regions of the same two phases meet at one composition.
    bool congruent_point(const Change& c)
    {
        if (!c.narrow())
            return false;
        double x = 0.5 * (c.m0->high.x + c.m1->low.x);
        // The liquid first, as tables name a congruent melting point.
        const Phase low = std::min(c.m0->low_phase, c.m0->high_phase);
        const Phase high = std::max(c.m0->low_phase, c.m0->high_phase);
        Invariant inv{InvariantKind::congruent, c.T_guess(), 2, {low, high}, {}, false};
        if (!solve_congruent(s, low, high, x, inv.T) || !within(inv.T, c.lo, c.hi))
            return fail(c.lo, c.hi, "a congruent point was not solved");
        inv.at[0] = inv.at[1] = composition_from_x(x);
        d.invariants.push_back(inv);
        return true;
    }

    // A three-phase invariant from guesses; its middle phase is stable on the side
    // with more tie-lines.
    bool three_phase(const Change& c, const Phase phases[3], const Composition guess[3])
    {
        Invariant inv{};
        inv.phases = 3;
        std::copy(phases, phases + 3, inv.phase);
        std::copy(guess, guess + 3, inv.at);
        inv.T = c.T_guess();
        if (!solve_three_phase(s, inv.phase, inv.at, inv.T, c.lo.T - 1.0, c.hi.T + 1.0) ||
            !within(inv.T, c.lo, c.hi))
            return c.narrow() ? fail(c.lo, c.hi, "a three-phase equilibrium was not solved") : false;
        inv.middle_above = !c.more_below;
        inv.kind = three_phase_kind(is_liquid(s, inv.phase[0]), is_liquid(s, inv.phase[1]),
                                    is_liquid(s, inv.phase[2]), inv.middle_above);
        d.invariants.push_back(inv);
        return true;
    }

    // Whether a corner that bends the curve of the gap's phase down lies inside it at T.
    bool corner_inside(const TieLine& gap, double T) const
    {
        const std::vector<double> corners = downward_corners(phase_at(s, gap.low_phase, T, false));
        return std::any_of(corners.begin(), corners.end(),
                           [&](double x) { return gap.low.x < x && x < gap.high.x; });
    }

    static bool within(double T, const Equilibria& lo, const Equilibria& hi)
    {
        return T >= lo.T - OUTSIDE_BRACKET && T <= hi.T + OUTSIDE_BRACKET;
    }

    // why, and where a database's parameter jumps between its pieces in the
    // bracket, which one and by how much: the diagram then changes at once.
    std::string with_jump(const std::string& why, const Equilibria& lo, const Equilibria& hi) const
    {
        PieceJump j;
        // Not those that leave an equilibrium at the limit itself.
        if (!largest_piece_jump(s, lo.T, hi.T, AT_A_JUMP * s.gas_constant * hi.T, j))
            return why;
        char text[64];
        std::snprintf(text, sizeof text, " jumps by %.6g J/mol where its pieces meet)", j.jump);
        return why + " (" + j.name + text;
    }

    bool fail(const Equilibria& lo, const Equilibria& hi, const std::string& why)
    {
        d.doubts.push_back(doubt_in_range(lo.T, hi.T, with_jump(why, lo, hi)));
        return true;
    }
};

}  // namespace

std::vector<int> signature(const Equilibria& e)
{
    std::vector<int> sig;
    for (const TieLine& t : e.ties)
        sig.push_back(static_cast<int>(MOST_PHASES * phase_index(t.low_phase) + phase_index(t.high_phase)));
    return sig;
}

int segment_halvings(std::size_t rows)
{
    return SEGMENT_HALVINGS + PER_ROW * static_cast<int>(rows);
}

Equilibria visible(const SegmentEvents& events, Equilibria e)
{
    const EventSearch search{events.s, events.grid, events.d, {}, events.work};
    return search.visible(std::move(e));
}

void resolve_events(SegmentEvents& events, const Equilibria& lo, const Equilibria& hi)
{
    EventSearch search{events.s, events.grid, events.d, {}, events.work};
    search.segment_left = events.halvings_left;
    search.resolve(lo, hi, 0);
    events.halvings_left = search.segment_left;
}
