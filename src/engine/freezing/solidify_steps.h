// The steps of a solidification, shared by the files that take them: finding
// the liquidus and the solidus (boundaries.cpp), following the lever and
// Scheil paths (paths.cpp) and making the rows (rows.cpp); solidify.cpp is the
// recipe that calls them in order. Not for use outside the freezing step.
#pragma once

#include "engine/diagram/diagram.h"
#include "engine/freezing/lever.h"
#include "engine/freezing/scheil.h"
#include "engine/freezing/solidify.h"

#include <limits>
#include <map>
#include <string>
#include <vector>

namespace freezing {

inline const double EMPTY = std::numeric_limits<double>::quiet_NaN();

// The liquidus and the solidus are looked for in steps of SEARCH_STEP (K) from
// above, and bisected to BRACKET (K), from where their own equations take over.
inline constexpr double SEARCH_STEP = 4.0;
inline constexpr double BRACKET = 1e-7;
inline constexpr double HIGHEST = 1e5;  // K: the highest temperature a system file accepts
// Where solid is still stable above both melting points, the search starts this
// factor higher (up to HIGHEST).
inline constexpr double RAISE_TOP = 1.5;
inline constexpr double LOWEST = 1e-3;    // of the lower melting point: no liquid is followed below
inline constexpr double HELD_END = 1e-6;  // x0 is the held end of the bracket's tie-line within this
// Alloys within DILUTE of a pure component may have a two-phase region between
// two samples of the grid (4 a decade there); their other end is guessed a
// factor e^DILUTE_GUESS either side of x0, and must differ from it by more than
// SAME_END (in the logarithm of the smaller fraction).
inline constexpr double DILUTE = 1e-6;
inline constexpr double DILUTE_GUESS = 0.7;
inline constexpr double SAME_END = 1e-9;
// K: an invariant at a boundary is looked for this far around it.
inline constexpr double EVENT_MARGIN = 1e-4;
inline constexpr double CONGRUENT_MATCH = 1e-9;  // x0 is a congruent composition within this
// Relative distances in T: above an invariant, where the pairs stable above it
// hold; below a temperature the path has already reached; two temperatures of
// one event; the lever path's and the Scheil path's invariant being one; how
// far above the last path temperature events are looked for.
inline constexpr double JUST_ABOVE = 1e-12;
inline constexpr double JUST_BELOW = 1e-9;
inline constexpr double SAME_T = 1e-9;
inline constexpr double SAME_INVARIANT = 1e-7;
inline constexpr double EVENTS_ABOVE = 1e-7;
// Relative: temperatures that differ by their rounding alone, some 16 units in
// the last place. A dilute alloy's freezing range is a few thousand of them
// (1e-9 K at x0 = 1e-12).
inline constexpr double ROUNDING = 4e-15;
// The path's own temperatures: at least NODES_IN_RANGE between the liquidus and
// the solidus, at most WIDEST_NODES (K) and at least NARROWEST_NODES (relative,
// some 40 units in the last place) apart; below the solidus their spacing
// doubles every NODES_PER_DOUBLING.
inline constexpr int NODES_IN_RANGE = 100;
inline constexpr int NODES_PER_DOUBLING = 10;
inline constexpr double WIDEST_NODES = 1.0;
inline constexpr double NARROWEST_NODES = 1e-14;
// Scheil pieces between the liquidus and the solidus, for a profile of over
// 1,000 points, and more where the compositions move more (per unit of x).
inline constexpr double PROFILE_IN_RANGE = 600;
inline constexpr double PIECES_PER_MOVE = 2000;
// A path to a pure component or a congruent point stops with LAST_LIQUID of the
// liquid left, or when the liquid holds SMALLEST_FRACTION of what it loses; it
// approaches a pure component in steps of LOG_STRIDE in the logarithm of that.
inline constexpr double LAST_LIQUID = 1e-10;
inline constexpr double SMALLEST_FRACTION = 1e-280;
inline constexpr double LOG_STRIDE = 2.0;
// A liquid this close to a congruent minimum freezes there: closer, liquid and
// solid differ by less than their potentials can tell apart.
inline constexpr double CONGRUENT_REACH = 1e-6;
inline constexpr double ONWARDS = 1e-9;  // a liquid end may step back this much and still continue the path
inline constexpr double STEADY = 0.05;   // ends that move farther between two path temperatures meet an event

// The equilibria at every temperature the steps ask for, each computed once: the
// boundaries, the lever path and the Scheil path ask again.
struct EquilibriumCache {
    const System& s;
    Grid grid;
    std::vector<Doubt> scratch;  // doubts met off the rows are not the run's
    std::map<double, Equilibria> known;
    GridEnergies work;

    const Equilibria& at(double T)
    {
        auto found = known.find(T);
        if (found == known.end())
            found = known.emplace(T, equilibria_at(s, grid, T, scratch, work)).first;
        return found->second;
    }

    Location location(double T, double x0) { return locate(at(T), x0); }

    // The invariants and melting points between lo and hi, each solved on its own equations.
    Diagram events_between(double lo, double hi)
    {
        System t = s;
        t.range = {lo, hi, hi - lo, 2};
        return compute_diagram(t);
    }
};

// A liquidus (held = liquid) or solidus (held = solid) temperature: where x0 is
// the held end of a liquid-solid tie-line, or an invariant met there.
struct BoundaryPoint {
    double T = 0.0;
    Composition other{};         // the tie-line's other end
    Phase solid = Phase::solid;  // the tie-line's solid
    bool at_invariant = false;
    Invariant invariant{};
};

// The solid of an invariant at composition x.
Phase solid_at(const Invariant& inv, double x);

// The invariant of d with a phase nearest to composition x, leaving out those in done.
const Invariant* nearest(const Diagram& d, double x, const std::vector<Invariant>& done = {});

// The liquidus: the highest temperature with solid at x0; partner is the first solid.
bool find_liquidus(EquilibriumCache& e, Solidification& out, double bottom, BoundaryPoint& b,
                   Composition& partner);

// The solidus: the highest temperature without liquid at x0.
bool find_solidus(EquilibriumCache& e, Solidification& out, double bottom, const BoundaryPoint& liquidus,
                  BoundaryPoint& b);

// An alloy at the composition of an invariant's liquid (a eutectic's): its
// liquidus, solved on the two-phase equations beside the invariant, can land a
// rounding error below the invariant's temperature; both boundaries are the
// invariant's, where the alloy freezes whole.
void at_invariant_composition(Solidification& out, BoundaryPoint& liquidus, const BoundaryPoint& solidus,
                              Composition& partner);

// The temperatures the two paths are followed on, below the liquidus, whatever
// rows are asked for: evenly spaced across the freezing range, at least
// NODES_IN_RANGE of them and at most WIDEST_NODES apart; below the solidus, the
// spacing doubles every NODES_PER_DOUBLING temperatures up to that width. Besides
// these, the marked ones: the solidus and each invariant the lever path crosses.
struct PathNode {
    double T;
    int crossed;  // index of the lever path's invariant at T, or -1
};

struct PathNodes {
    double liquidus;
    double solidus;
    double range_spacing;          // across the freezing range: liquidus - k range_spacing
    double spacing;                // below it, doubling
    std::vector<PathNode> marked;  // descending
    double last;
    long k = 0;
    int below = 0;
    std::size_t next_marked = 0;

    PathNodes(double liquidus_T, double solidus_T, std::vector<PathNode> marks)
        : liquidus(liquidus_T), solidus(solidus_T), marked(std::move(marks)), last(liquidus_T)
    {
        range_spacing = std::min(WIDEST_NODES,
                                 std::max((liquidus - solidus) / NODES_IN_RANGE, NARROWEST_NODES * liquidus));
        spacing = range_spacing;
        std::sort(marked.begin(), marked.end(),
                  [](const PathNode& a, const PathNode& b) { return a.T > b.T; });
    }

    // The k-th temperature of the freezing range's even spacing.
    double in_range(long i) const { return liquidus - static_cast<double>(i) * range_spacing; }

    // The next temperature down.
    PathNode next()
    {
        const bool across_range = in_range(k + 1) >= solidus;
        const double grid = across_range ? in_range(k + 1) : last - spacing;
        if (next_marked < marked.size() && marked[next_marked].T >= grid)
            return marked[next_marked++];
        ++k;
        last = grid;
        if (!across_range && ++below % NODES_PER_DOUBLING == 0)
            spacing = std::min(WIDEST_NODES, 2.0 * spacing);
        return {grid, -1};
    }
};

// The invariants the lever path crosses between the liquidus and the solidus,
// found where x0 changes region between two path temperatures.
std::vector<Invariant> lever_invariants(EquilibriumCache& e, const Solidification& out,
                                        const BoundaryPoint& solidus);

// An invariant the Scheil liquid passes or ends at, with the Scheil state just
// before its reaction and just after.
struct ScheilEvent {
    Invariant inv;
    int crossed;  // the lever path's invariant it is, or -1
    PhaseFractions before, after;
};

// The Scheil path, followed once on the path temperatures.
struct ScheilPath {
    EquilibriumCache& e;
    Solidification& out;
    const std::vector<Invariant>& crossed;
    std::vector<PathPoint> trace;
    std::vector<ScheilEvent> events;
    std::vector<Invariant> passed;
    ScheilIntegral integral;
    PathPoint now{};
    int base_pieces = 2;

    ScheilPath(EquilibriumCache& cache, Solidification& result, const std::vector<Invariant>& lever_crossed)
        : e(cache), out(result),
          crossed(lever_crossed), integral{[&s = cache.s](Phase solid_phase, const Composition& liquid,
                                                          Composition& solid, double& T) {
                                               return solve_fixed_end(s, Phase::liquid, liquid, solid_phase,
                                                                      solid, T);
                                           },
                                           false, trace}
    {
    }

    PhaseFractions state() const
    {
        return forming({1.0 - std::exp(now.ln_remaining), now.solid.x, now.liquid.x}, now.solid_phase);
    }

    bool fail(double T, const std::string& why)
    {
        out.doubts.push_back(doubt_at(T, why));
        return false;
    }

    void end(PathEnd kind, double T, double remaining, double last_solid)
    {
        out.scheil_end = kind;
        out.scheil_end_T = T;
        out.scheil_remaining = remaining;
        out.scheil_last_solid = last_solid;
    }

    // The lever path's invariant that inv is, or -1.
    int lever_index(const Invariant& inv) const
    {
        for (std::size_t i = 0; i < crossed.size(); ++i)
            if (std::fabs(crossed[i].T - inv.T) < SAME_INVARIANT * crossed[i].T &&
                crossed[i].kind == inv.kind)
                return static_cast<int>(i);
        return -1;
    }

    // The L+S tie-line at row whose liquid end continues the path, or null.
    const TieLine* continuing(const Equilibria& row, double& distance) const
    {
        const TieLine* next = nullptr;
        distance = HUGE_VAL;
        for (const TieLine& t : row.ties) {
            if (!liquid_and_solid(t))
                continue;
            const double xl = end_of(t, Phase::liquid).x;
            const double d = std::fabs(xl - now.liquid.x);
            const bool onwards =
                integral.towards_b ? xl <= now.liquid.x + ONWARDS : xl >= now.liquid.x - ONWARDS;
            if (d < distance && onwards) {
                distance = d;
                next = &t;
            }
        }
        return next;
    }

    // Along the liquidus to next's liquid at T: enough pieces for a profile of
    // over 1,000 points across the freezing range, more where the compositions move more.
    void follow_to(const TieLine& next, double T)
    {
        const double moved = std::max(std::fabs(end_of(next, Phase::liquid).x - now.liquid.x),
                                      std::fabs(solid_end(next).x - now.solid.x));
        const int base = T >= out.solidus ? base_pieces : 2;
        now = integral.advance(now, end_of(next, Phase::liquid),
                               base + static_cast<int>(std::ceil(PIECES_PER_MOVE * moved)));
        now.T = T;
        now.solid = solid_end(next);
        now.solid_phase = solid_of(next);
    }

    ScheilPath(const ScheilPath&) = delete;  // its integral records into its own trace
    ScheilPath& operator=(const ScheilPath&) = delete;

    void start(const BoundaryPoint& liquidus, const Composition& partner);
    bool step(const PathNode& node, bool& again);
    bool through_invariant(const Invariant& found, int liquid_index, bool& again, double T);
    void to_pure_component(double T_melting);
    void to_congruent(const Invariant& inv);
};

// The Scheil path from the liquidus to its end, on the path temperatures below
// the liquidus; false with a doubt where it cannot be followed.
bool follow_scheil(ScheilPath& path, const BoundaryPoint& liquidus, const Composition& partner,
                   double bottom);

// The lever rule and the Scheil path sampled at the rows' temperatures.
struct RowSampler {
    EquilibriumCache& e;
    const Solidification& out;
    const ScheilPath& path;
    double range_spacing;
    std::size_t trace_at = 0;

    // The lever state at a temperature that is not an invariant's: from the
    // tie-line of the path temperature above it where the one below agrees.
    PhaseFractions lever_at(double T);

    // The Scheil state at T: the path's liquid there, and the integral from the
    // path's point above it. Rows come in descending T.
    PhaseFractions scheil_at(double T);
};

struct RowAt {
    enum class Kind { step, solidus, lever_invariant, scheil_event, end };
    double T;
    Kind kind;
    std::size_t index;  // into the lever path's invariants or the Scheil path's events
};

// The rows below the liquidus that are not the step's: the solidus, each
// invariant of either path (one pair of rows where both paths meet the same
// one), and the end of the Scheil path.
std::vector<RowAt> exact_rows(const Solidification& out, const std::vector<Invariant>& crossed,
                              const std::vector<ScheilEvent>& events);

// The rows' temperatures below the liquidus: the exact ones and the step's,
// descending; false when there would be more than MAX_SOLIDIFICATION_ROWS.
bool row_temperatures(Solidification& out, double step, std::vector<RowAt>& rows_at);

// Every row: the liquidus, then the step's rows and the exact ones, descending.
void make_rows(Solidification& out, RowSampler& sample, const std::vector<Invariant>& crossed,
               const Composition& partner, Phase partner_phase, const std::vector<RowAt>& rows_at);

// The segregation profile from the path's points: the solid forming at each
// fraction solidified, then the remainder that freezes at the end with the last
// liquid's composition; evenly thinned to MAX_PROFILE_POINTS, keeping its steps.
void segregation_profile(Solidification& out, const std::vector<PathPoint>& trace);

// A failure at T, recorded as a doubt: the solidification as far as it got.
Solidification fail(Solidification& out, double T, const std::string& why);

}  // namespace freezing
