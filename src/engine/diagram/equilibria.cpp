#include "engine/diagram/equilibria.h"

#include "engine/diagram/gap_tangent.h"
#include "engine/diagram/orderings.h"
#include "engine/diagram/tangent_check.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// Two ends this close, relative to the smaller fraction, are one: Newton
// holds a fraction of 1e-6 to 1e-9 of itself (COST 507's Li-Mg region beside
// pure Li, refined from two steps of the hull 1e-9 of the fraction apart).
constexpr double SAME_END = 1e-7;
// The widest region between an ordered phase and its disordered part that is
// an ordering setting in continuously: its ordered end is disordered to 1e-9
// in its fractions, some 1e-8 in x from the disordered end.
constexpr double CONTINUOUS_ORDERING = 1e-6;
// Two phases of one pure energy to its rounding are one state at that end:
// between them, a region whose ends both lie this close to it (in the smaller
// fraction) is the rounding of their curves, never an equilibrium. COST 507's
// BCC_B2, which repeats BCC_A2 at pure Fe, lies 2 ulps above it there and
// 164 kJ/mol times the fraction of Si below it beyond: Newton's tangents across
// that bump end 1e-16 to 1e-12 from pure Fe.
constexpr double ROUNDING_TAIL = 1e-9;
constexpr double NEAR_END = 1e-5;  // samples this close to it bracket only such a region
// A tangent between two states of one phase this much narrower than the
// samples Newton started from may have no real width: those seen were
// 0.000005 wide between samples 0.008 and more apart; a region's own tangent
// is as wide as its samples, less up to two grid steps.
constexpr double NO_REAL_WIDTH = 1e-3;
constexpr double WIDER = 100.0;  // than such a tangent: a region of real width
// Samples each side, beyond the two neighbours that bracket it, that a search
// for a region between two orderings of one phase starts from, in the order
// tried.
constexpr std::pair<std::size_t, std::size_t> OUT_FROM_BRACKET[] = {
    {0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 0}, {0, 2}, {2, 1}, {1, 2},  {4, 0},
    {0, 4}, {4, 1}, {1, 4}, {6, 3}, {3, 6}, {8, 4}, {4, 8}, {12, 4}, {4, 12}};
bool same_tie(const TieLine& a, const TieLine& b)
{
    const auto near = [](const Composition& p, const Composition& q) {
        const double dx_ = std::fabs(p.x <= 0.5 ? p.x - q.x : p.y - q.y);
        return dx_ <=
               SAME_END * std::min(std::min(p.x, p.y), 1.0) + std::numeric_limits<double>::denorm_min();
    };
    return a.low_phase == b.low_phase && a.high_phase == b.high_phase && near(a.low, b.low) &&
           near(a.high, b.high);
}

// Where Newton from two neighbouring samples of an ordered phase and its
// disordered part met where the ordered state sets in (ends some 1e-8 apart),
// or failed, a narrow first-order gap may lie beside it (Al-Fe's A2 and
// ordered bcc near the top of their gap, 0.003 wide where the samples were
// 0.002 apart, and narrower up to where it closes; or 0.008 wide where a
// barely ordered state, metastable, lay on the grid's hull just above its
// edge): Newton again from the ordered sample moved further from the other,
// by one, two, four and eight more of their distances. The first tie-line of
// some width found replaces tie, and ok; else tie stays, and so does what
// Newton gave (was). Where Newton met where the order sets in, the first time
// or again, and no curve dips below the tangent there, no region lies beside
// (one would hold a curve below it): there are no retries, or no more.
Refined ordered_end_further(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                            const GridEnergies& energies, Phase p, const Composition& cp, Phase q,
                            const Composition& cq, TieLine& tie, Refined was)
{
    const auto met_alone = [&](Refined r, const TieLine& t) {
        Composition dip{};
        return r == Refined::ok && confirmed(grid, phases, energies, t, dip);
    };
    if (met_alone(was, tie))
        return was;
    const bool p_ordered = phase_family(s, p) != p;
    const double step = cq.x - cp.x;
    for (const double further : {1.0, 2.0, 4.0, 8.0}) {
        const double xp = p_ordered ? cp.x - further * step : cp.x;
        const double xq = p_ordered ? cq.x : cq.x + further * step;
        if (!(xp > 0.0 && xq < 1.0 && xp < xq))
            break;
        TieLine wider{};
        const Refined r = refine_tie_line(phases[phase_index(p)], composition_from_x(xp),
                                          phases[phase_index(q)], composition_from_x(xq), wider);
        if (r == Refined::ok && std::fabs(dx(wider.low, wider.high)) > CONTINUOUS_ORDERING) {
            tie = wider;
            return r;
        }
        if (met_alone(r, wider))
            break;
    }
    return was;
}

// Regions between two states of one phase of sublattices that no step of
// the hull shows: narrower than the grid's step and shallower than the curve
// bends between two samples (Al-Fe's D0_3 + B2 near its top, 0.0015 wide at
// 430 K between samples 0.002 apart), so that every sample lies on the hull.
// Two neighbouring samples of the phase holding different orderings bracket
// one: the tangent between them, where it has a width and no curve dips
// below it, is the region's; its ends join the samples.
std::vector<TieLine> hidden_orderings(const Grid& grid, const std::vector<PhaseAtT>& phases,
                                      const GridEnergies& energies, const std::vector<Sample>& samples)
{
    // The state the grid found at a sample's point; none off the grid.
    const auto state_of = [&](const Sample& sample) -> const InternalMemory* {
        const std::size_t k = phase_index(sample.phase);
        const auto at = std::lower_bound(grid.x.begin(), grid.x.end(), sample.c.x);
        if (at == grid.x.end() || *at != sample.c.x || energies.phase[k].internal.empty())
            return nullptr;
        return &energies.phase[k].internal[static_cast<std::size_t>(at - grid.x.begin())];
    };
    std::vector<TieLine> found;
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const Sample& a = samples[i];
        const Sample& b = samples[i + 1];
        const PhaseAtT& at = phases[phase_index(a.phase)];
        if (a.phase != b.phase || !has_internal_state(at))
            continue;
        const InternalMemory* sa = state_of(a);
        const InternalMemory* sb = state_of(b);
        if (sa == nullptr || sb == nullptr)
            continue;
        const int pa = ordering_pattern(at, *sa);
        const int pb = ordering_pattern(at, *sb);
        if (pa == 0 || pb == 0 || pa == pb)
            continue;
        // Newton from the two may follow the barely ordered one onto a
        // tangent of no real width (near where the ordered curve bends
        // down): again from samples further out.
        for (const auto& [left, right] : OUT_FROM_BRACKET) {
            if (left > i || i + 1 + right >= samples.size())
                continue;
            const Sample& from = samples[i - left];
            const Sample& to = samples[i + 1 + right];
            if (from.phase != a.phase || to.phase != a.phase)
                continue;
            TieLine tie{};
            Composition dip{};
            if (refine_tie_line(at, from.c, at, to.c, tie) == Refined::ok &&
                dx(tie.low, tie.high) >= NO_REAL_WIDTH * dx(from.c, to.c) &&
                confirmed(grid, phases, energies, tie, dip)) {
                found.push_back(tie);
                break;
            }
        }
    }
    return found;
}

// The region hidden_orderings found between samples i and j, where it is one.
const TieLine* hidden_between(const std::vector<TieLine>& hidden, const std::vector<Sample>& samples, int i,
                              int j)
{
    const Composition& low = samples[static_cast<std::size_t>(i)].c;
    const Composition& high = samples[static_cast<std::size_t>(j)].c;
    for (const TieLine& t : hidden)
        if (t.low.x == low.x && t.high.x == high.x)
            return &t;
    return nullptr;
}

// Newton between two states of one phase of sublattices that met at a
// tangent far narrower than the samples it started from: where a barely
// ordered state lay on the hull at an end of a region (Al-Fe's D0_3 just short
// of B2 at 0.4043, 318 K), Newton followed it and settled beside it on a
// tangent of no real width (0.000005 wide between samples 0.014 apart), which
// a curve then dips below. Again from one end's sample or both moved one, two
// and four samples further out: the first tie-line a hundred times wider that
// no curve dips below replaces tie.
void same_phase_further(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
                        const std::vector<Sample>& samples, int i, int j, TieLine& tie)
{
    const double width = std::fabs(dx(tie.low, tie.high));
    const auto& from = samples[static_cast<std::size_t>(i)];
    const auto& to = samples[static_cast<std::size_t>(j)];
    if (!(width < NO_REAL_WIDTH * (to.c.x - from.c.x)))
        return;
    const PhaseAtT& at = phases[phase_index(from.phase)];
    const int last = static_cast<int>(samples.size()) - 2;  // short of the pure end, as the hull's starts
    for (const int further : {1, 2, 4})
        for (const auto& [low, high] : {std::pair{i, std::min(j + further, last)},
                                        {std::max(i - further, 1), j},
                                        {std::max(i - further, 1), std::min(j + further, last)}}) {
            const Sample& a = samples[static_cast<std::size_t>(low)];
            const Sample& b = samples[static_cast<std::size_t>(high)];
            TieLine wider{};
            Composition dip{};
            if (a.phase == from.phase && b.phase == from.phase &&
                refine_tie_line(at, a.c, at, b.c, wider) == Refined::ok &&
                std::fabs(dx(wider.low, wider.high)) > WIDER * width &&
                confirmed(grid, phases, energies, wider, dip)) {
                tie = wider;
                return;
            }
        }
}

// Newton between an ordered phase and its disordered part that met where the
// ordered state sets in, or failed: again from further out (a narrow
// first-order region may lie beside). Where Newton failed across an ordering
// that sets in continuously, a tangent found further out that a curve dips
// below is no region (Al-Fe's A2 and the ordered bcc at x = 0.25 at 1073 K):
// the failure stands, and the ordering is passed by as before.
Refined ordering_retried(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                         const GridEnergies& energies, Phase p, const Composition& cp, Phase q,
                         const Composition& cq, TieLine& tie, Refined r)
{
    const bool failed = r == Refined::failed;
    if (!failed && !(r == Refined::ok && std::fabs(dx(tie.low, tie.high)) <= CONTINUOUS_ORDERING))
        return r;
    TieLine further = tie;
    const Refined again = ordered_end_further(s, grid, phases, energies, p, cp, q, cq, further, r);
    Composition dip{};
    if (failed && again == Refined::ok && !confirmed(grid, phases, energies, further, dip) &&
        continuous_ordering(s, phases, p, cp, q, cq))
        return r;
    tie = further;
    return again;
}

}  // namespace

Doubt doubt_at_tie_line(double T, Phase low_phase, double x_low, Phase high_phase, double x_high,
                        const std::string& why)
{
    return {Doubt::Where::tie_line, T, T, low_phase, x_low, high_phase, x_high, why};
}

Doubt doubt_in_range(double T_low, double T_high, const std::string& why)
{
    return {Doubt::Where::range, T_low, T_high, Phase::liquid, 0.0, Phase::liquid, 0.0, why};
}

Doubt doubt_at(double T, const std::string& why)
{
    return {Doubt::Where::temperature, T, T, Phase::liquid, 0.0, Phase::liquid, 0.0, why};
}

void tangent_potentials(const System& s, const TieLine& t, double T, double& mu_a, double& mu_b)
{
    mu_a = t.mu_a;
    mu_b = t.mu_b;
    if (!std::isfinite(mu_a) && !is_point(s, t.high_phase))
        mu_a = potentials(s, t.high_phase, t.high, T).mu_a;
    if (!std::isfinite(mu_b) && !is_point(s, t.low_phase))
        mu_b = potentials(s, t.low_phase, t.low, T).mu_b;
}

namespace {

// The tie-line of the hull's step from sample i to sample j: Newton from the
// two, and again from further out where an ordering had it meet or fail.
// False where the step is no region (two samples of one curve, no width, a
// pure melting point, an ordering setting in continuously), and where Newton
// failed, with a doubt in found.
// Whether an end of a tie-line of one solution lies where its curve bends
// down (x y G'' < 0): no stable state, so not a gap's true tangent.
bool inside_spinodal(const PhaseAtT& at, const TieLine& tie)
{
    if (is_point(at) || has_internal_state(at))
        return false;
    return potentials(at, tie.low).curvature < 0.0 || potentials(at, tie.high).curvature < 0.0;
}

// Whether p at a and q at b are two phases of one pure state, both within
// `within` of that pure end (in the smaller fraction).
bool one_pure_end(const System& s, Phase p, const Composition& a, Phase q, const Composition& b,
                  double within, double T)
{
    if (p == q)
        return false;
    const bool near_a = a.y < within && b.y < within;
    const bool near_b = a.x < within && b.x < within;
    return (near_a || near_b) && exactly_equal_pure(s, p, q, near_a, T);
}

// Whether t joins two phases of one pure state within that end's rounding tail.
bool one_pure_state(const System& s, const TieLine& t, double T)
{
    return one_pure_end(s, t.low_phase, t.low, t.high_phase, t.high, ROUNDING_TAIL, T);
}

// Whether, where Newton failed between samples ci of p and cj of q, both in
// the rounding tail's neighbourhood of one end (within NEAR_END), p and q are
// one state at that end and one of them lies below the other at both
// samples, or level with it to rounding: the step is then only where that one
// was not sampled (a phase of two sublattices is sampled from 1e-6 of the
// end), no region between them.
bool one_pure_state_beside(const System& s, const std::vector<PhaseAtT>& phases, Phase p,
                           const Composition& ci, Phase q, const Composition& cj)
{
    if (!one_pure_end(s, p, ci, q, cj, NEAR_END, phases.front().T))
        return false;
    const auto difference = [&](const Composition& c) {
        const Potentials a = potentials(phases[phase_index(p)], c);
        const Potentials b = potentials(phases[phase_index(q)], c);
        return (c.x * a.mu_a + c.y * a.mu_b) - (c.x * b.mu_a + c.y * b.mu_b);
    };
    // Level within STABLE (deep in the tail, where they differ by rounding) counts as either.
    const double level = STABLE * phases.front().RT;
    const double at_i = difference(ci);
    const double at_j = difference(cj);
    return (at_i < level && at_j < level) || (at_i > -level && at_j > -level);
}

bool step_tie_line(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                   const GridEnergies& energies, const std::vector<Sample>& samples, int i, int j,
                   TieLine& tie, std::vector<Doubt>& found)
{
    const double T = phases.front().T;
    const int last = static_cast<int>(samples.size()) - 1;
    const Phase p = samples[static_cast<std::size_t>(i)].phase;
    const Phase q = samples[static_cast<std::size_t>(j)].phase;
    if (j == i + 1 && p == q)
        return false;
    // Exactly at a pure melting point the region at that edge has no width.
    const bool points = is_point(s, p) || is_point(s, q);
    if (!points && ((i == 0 && p != q && exactly_equal_pure(s, p, q, false, T)) ||
                    (j == last && p != q && exactly_equal_pure(s, p, q, true, T))))
        return false;
    // A pure component is no start for Newton in logarithms: its neighbour is.
    if (!is_point(s, p))
        i = std::max(i, 1);
    if (!is_point(s, q))
        j = std::min(j, last - 1);
    const Composition& ci = samples[static_cast<std::size_t>(i)].c;
    const Composition& cj = samples[static_cast<std::size_t>(j)].c;
    // Only between neighbouring samples: a region of real width spans more.
    if (j == i + 1 && continuous_onset_holds(s, grid, phases, energies, p, ci, q, cj))
        return false;
    Refined r = refine_tie_line(phases[phase_index(p)], ci, phases[phase_index(q)], cj, tie);
    if (ordered_and_disordered(s, p, q))
        r = ordering_retried(s, grid, phases, energies, p, ci, q, cj, tie, r);
    if (p == q && r == Refined::ok && inside_spinodal(phases[phase_index(p)], tie)) {
        // Newton from a start at the bend of a curve at its Curie temperature
        // settles on a tangent beside the spinodal (COST 507's Fe-V bcc at
        // 791 K, 0.0000035 wide inside a gap 0.0034 wide), an end of which is
        // no stable state: the gap again by its tangent's slope.
        TieLine by_slope{};
        if (gap_by_slopes(phases[phase_index(p)], ci, cj, by_slope) == Refined::ok)
            tie = by_slope;
    }
    if (p == q && r == Refined::ok && has_internal_state(phases[phase_index(p)]))
        same_phase_further(grid, phases, energies, samples, i, j, tie);
    // Ends at one composition (one phase's two branches meeting at a pure
    // component, where both hold it alone) bound no region.
    if (r == Refined::zero_width ||
        (r == Refined::ok && (one_pure_state(s, tie, T) || dx(tie.low, tie.high) == 0.0)))
        return false;
    if (r == Refined::failed &&
        (continuous_ordering(s, phases, p, ci, q, cj) || one_pure_state_beside(s, phases, p, ci, q, cj)))
        return false;
    if (r == Refined::failed) {
        found.push_back(
            doubt_at_tie_line(T, p, ci.x, q, cj.x, "Newton did not converge on this two-phase region"));
        return false;
    }
    return !(std::fabs(dx(tie.low, tie.high)) <= CONTINUOUS_ORDERING &&
             continuous_ordering(s, phases, tie.low_phase, tie.low, tie.high_phase, tie.high));
}

// The compositions whose equilibria are sought: a diagram's row all of them.
struct Window {
    double lo, hi;
};
constexpr Window EVERY_X{-HUGE_VAL, HUGE_VAL};

// Every tie-line between the hull's neighbouring vertices that span some of
// the window, in ties, each checked against the curves; what fails goes to
// found, and the ends that would make a finer hull are returned.
std::vector<Composition> ties_on_hull(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                                      const GridEnergies& energies, const std::vector<Sample>& samples,
                                      const std::vector<TieLine>& hidden, const Window& window,
                                      std::vector<TieLine>& ties, std::vector<Doubt>& found)
{
    const double T = phases.front().T;
    ties.clear();
    const std::vector<int> hull = hull_of(samples);
    std::vector<Composition> ends;
    bool last_sure = true;
    for (std::size_t k = 0; k + 1 < hull.size(); ++k) {
        if (samples[static_cast<std::size_t>(hull[k + 1])].c.x < window.lo ||
            samples[static_cast<std::size_t>(hull[k])].c.x > window.hi)
            continue;
        TieLine tie{};
        const TieLine* solved = hidden_between(hidden, samples, hull[k], hull[k + 1]);
        if (solved != nullptr)
            tie = *solved;
        else if (!step_tie_line(s, grid, phases, energies, samples, hull[k], hull[k + 1], tie, found))
            continue;
        if (std::any_of(ties.begin(), ties.end(), [&](const TieLine& t) { return same_tie(t, tie); }))
            continue;
        Composition dip{};
        const bool sure = confirmed(grid, phases, energies, tie, dip);
        if (!sure) {
            found.push_back(
                doubt_at_tie_line(T, tie.low_phase, tie.low.x, tie.high_phase, tie.high.x,
                                  "a curve dips below this common tangent: not confirmed stable"));
            ends.push_back(dip);
        }
        ends.push_back(tie.low);
        ends.push_back(tie.high);
        // Two neighbouring tangents that both fail may be one tangent across a
        // phase that is not stable after all (just below a eutectic): its ends
        // join the samples too.
        if (!sure && !ties.empty() && !last_sure) {
            const TieLine& before = ties.back();
            TieLine across{};
            if (refine_tie_line(s, T, before.low_phase, before.low, tie.high_phase, tie.high, across) ==
                Refined::ok) {
                ends.push_back(across.low);
                ends.push_back(across.high);
            }
        }
        last_sure = sure;
        ties.push_back(tie);
    }
    return ends;
}

// The phase of the hull's vertex at or left of x.
Phase vertex_left_of(const std::vector<Sample>& samples, const std::vector<int>& hull, double x)
{
    Phase phase = samples[static_cast<std::size_t>(hull.front())].phase;
    for (const int k : hull)
        if (samples[static_cast<std::size_t>(k)].c.x <= x)
            phase = samples[static_cast<std::size_t>(k)].phase;
    return phase;
}

// The equilibria of the compositions in window at T.
Equilibria equilibria_in(const System& s, const Grid& grid, double T, const Window& window,
                         std::vector<Doubt>& doubts, GridEnergies& work)
{
    Equilibria out{T, Phase::solid, {}};
    const std::vector<PhaseAtT> phases = phases_at(s, T);
    energies_at(grid, phases, work);
    const GridEnergies& energies = work;
    std::vector<Sample> samples = samples_at(grid, phases, energies);
    // Regions that no step of the hull shows are solved first, their ends
    // joining the samples; the step between those ends is then that region.
    const std::vector<TieLine> hidden = hidden_orderings(grid, phases, energies, samples);
    std::vector<Composition> hidden_ends;
    for (const TieLine& t : hidden) {
        hidden_ends.push_back(t.low);
        hidden_ends.push_back(t.high);
    }
    if (!hidden.empty())
        add_samples(grid, phases, energies, samples, hidden_ends);

    // Where a tangent fails its check, the hull's vertices were too coarse (near an
    // invariant, a region narrower than the grid): the ends found so far join the
    // samples and the hull is taken again.
    std::vector<Doubt> found;
    for (int pass = 0; pass < 6; ++pass) {
        found.clear();
        const std::vector<Composition> ends =
            ties_on_hull(s, grid, phases, energies, samples, hidden, window, out.ties, found);
        if (found.empty())
            break;
        add_samples(grid, phases, energies, samples, ends);
    }
    doubts.insert(doubts.end(), found.begin(), found.end());
    margins_above_hull(grid, phases, samples, hull_of(samples), work);
    std::sort(out.ties.begin(), out.ties.end(),
              [](const TieLine& a, const TieLine& b) { return a.low.x < b.low.x; });
    // The phase left of the first two-phase region; not read at x = 0 itself,
    // where exactly at B's melting point both phases have one energy. Left of
    // a window, the hull's vertex where it starts.
    out.first_phase = out.ties.empty() ? samples[samples.size() / 2].phase : out.ties.front().low_phase;
    if (window.lo > 0.0)
        out.first_phase = vertex_left_of(samples, hull_of(samples), window.lo);
    out.ordering_brackets = ordering_brackets(s, samples, out.ties);
    return out;
}

}  // namespace

Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts)
{
    GridEnergies work;
    return equilibria_at(s, grid, T, doubts, work);
}

Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts,
                         GridEnergies& work)
{
    return equilibria_in(s, grid, T, EVERY_X, doubts, work);
}

Equilibria equilibria_about(const System& s, const Grid& grid, double T, double lo, double hi,
                            std::vector<Doubt>& doubts, GridEnergies& work)
{
    return equilibria_in(s, grid, T, {lo, hi}, doubts, work);
}
