#include "engine/freezing/solidify.h"

#include "engine/numerics/decimal_grid.h"
#include "engine/diagram/diagram.h"
#include "engine/freezing/lever.h"
#include "engine/freezing/scheil.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>

namespace {

const double EMPTY = std::numeric_limits<double>::quiet_NaN();

// The liquidus and the solidus are looked for in steps of SEARCH_STEP (K) from
// above, and bisected to BRACKET (K), from where their own equations take over.
constexpr double SEARCH_STEP = 4.0;
constexpr double BRACKET = 1e-7;
constexpr double HIGHEST = 1e5;  // K: the highest temperature a system file accepts
// Where solid is still stable above both melting points, the search starts this
// factor higher (up to HIGHEST).
constexpr double RAISE_TOP = 1.5;
constexpr double LOWEST = 1e-3;    // of the lower melting point: no liquid is followed below
constexpr double HELD_END = 1e-6;  // x0 is the held end of the bracket's tie-line within this
// Alloys within DILUTE of a pure component may have a two-phase region between
// two samples of the grid (4 a decade there); their other end is guessed a
// factor e^DILUTE_GUESS either side of x0, and must differ from it by more than
// SAME_END (in the logarithm of the smaller fraction).
constexpr double DILUTE = 1e-6;
constexpr double DILUTE_GUESS = 0.7;
constexpr double SAME_END = 1e-9;
constexpr double EVENT_MARGIN = 1e-4;     // K: an invariant at a boundary is looked for this far around it
constexpr double CONGRUENT_MATCH = 1e-9;  // x0 is a congruent composition within this
// Relative distances in T: above an invariant, where the pairs stable above it
// hold; below a temperature the path has already reached; two temperatures of
// one event; the lever path's and the Scheil path's invariant being one; how
// far above the last path temperature events are looked for.
constexpr double JUST_ABOVE = 1e-12;
constexpr double JUST_BELOW = 1e-9;
constexpr double SAME_T = 1e-9;
constexpr double SAME_INVARIANT = 1e-7;
constexpr double EVENTS_ABOVE = 1e-7;
// Relative: temperatures that differ by their rounding alone, some 16 units in
// the last place. A dilute alloy's freezing range is a few thousand of them
// (1e-9 K at x0 = 1e-12).
constexpr double ROUNDING = 4e-15;
// The path's own temperatures: at least NODES_IN_RANGE between the liquidus and
// the solidus, at most WIDEST_NODES (K) and at least NARROWEST_NODES (relative,
// some 40 units in the last place) apart; below the solidus their spacing
// doubles every NODES_PER_DOUBLING.
constexpr int NODES_IN_RANGE = 100;
constexpr int NODES_PER_DOUBLING = 10;
constexpr double WIDEST_NODES = 1.0;
constexpr double NARROWEST_NODES = 1e-14;
// Scheil pieces between the liquidus and the solidus, for a profile of over
// 1,000 points, and more where the compositions move more (per unit of x).
constexpr double PROFILE_IN_RANGE = 600;
constexpr double PIECES_PER_MOVE = 2000;
// A path to a pure component or a congruent point stops with LAST_LIQUID of the
// liquid left, or when the liquid holds SMALLEST_FRACTION of what it loses; it
// approaches a pure component in steps of LOG_STRIDE in the logarithm of that.
constexpr double LAST_LIQUID = 1e-10;
constexpr double SMALLEST_FRACTION = 1e-280;
constexpr double LOG_STRIDE = 2.0;
// A liquid this close to a congruent minimum freezes there: closer, liquid and
// solid differ by less than their potentials can tell apart.
constexpr double CONGRUENT_REACH = 1e-6;
constexpr double ONWARDS = 1e-9;  // a liquid end may step back this much and still continue the path
constexpr double STEADY = 0.05;   // ends that move farther between two path temperatures meet an event

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

// The highest temperature below start at which has(T) turns true, looked for in
// steps of SEARCH_STEP and bisected to BRACKET.
template <class Has>
bool first_below(double start, double bottom, Has has, double& lo, double& hi)
{
    hi = start;
    for (lo = start - SEARCH_STEP; !has(lo); hi = lo, lo -= SEARCH_STEP)
        if (lo < bottom)
            return false;
    while (hi - lo > BRACKET) {
        const double mid = 0.5 * (lo + hi);
        (has(mid) ? lo : hi) = mid;
    }
    return true;
}

// The solid of an invariant at composition x.
Phase solid_at(const Invariant& inv, double x)
{
    for (int i = 0; i < inv.phases; ++i)
        if (inv.phase[i] != Phase::liquid && inv.at[i].x == x)
            return inv.phase[i];
    return Phase::solid;
}

// The invariant of d with a phase nearest to composition x, leaving out those in done.
const Invariant* nearest(const Diagram& d, double x, const std::vector<Invariant>& done = {})
{
    const Invariant* best = nullptr;
    double distance = HUGE_VAL;
    for (const Invariant& inv : d.invariants) {
        const bool passed = std::any_of(done.begin(), done.end(), [&](const Invariant& p) {
            return p.kind == inv.kind && std::fabs(p.T - inv.T) < SAME_T * p.T;
        });
        for (int i = 0; i < inv.phases && !passed; ++i)
            if (std::fabs(inv.at[i].x - x) < distance) {
                distance = std::fabs(inv.at[i].x - x);
                best = &inv;
            }
    }
    return best;
}

// A liquidus (held = liquid) or solidus (held = solid) temperature: where x0 is
// the held end of a liquid-solid tie-line, or an invariant met there.
struct BoundaryPoint {
    double T = 0.0;
    Composition other{};         // the tie-line's other end
    Phase solid = Phase::solid;  // the tie-line's solid
    bool at_invariant = false;
    Invariant invariant{};
};

// Within a rounding error of a pure component (1 - x0 = 1e-11) a two-phase
// region can lie between two of the grid's samples, unseen; its boundary there
// is solved from guesses on either side of x0, and taken where it falls in the
// bracket.
bool dilute_boundary(const System& s, double x0, Phase held, Phase other_phase, double lo, double hi,
                     BoundaryPoint& b)
{
    const Composition c0 = composition_from_x(x0);
    if (smaller_fraction(c0) > DILUTE)
        return false;
    for (const double shift : {DILUTE_GUESS, -DILUTE_GUESS}) {
        Composition other = moved_in_log(c0, shift);
        double T = 0.5 * (lo + hi);
        if (solve_fixed_end(s, held, c0, other_phase, other, T) && T >= lo - BRACKET && T <= hi + BRACKET &&
            std::fabs(c0.x < c0.y ? log_ratio_a(other, c0) : log_ratio_b(other, c0)) > SAME_END) {
            b.T = T;
            b.other = other;
            return true;
        }
    }
    return false;
}

// The liquidus (liquidus: the highest T with solid at x0) or the solidus (the
// highest T with no liquid), below start; false with why.
bool boundary_temperature(EquilibriumCache& e, double x0, bool liquidus, double start, double bottom,
                          BoundaryPoint& b, std::string& why)
{
    const auto reached = [&](double T) {
        const Location w = e.location(T, x0);
        return liquidus ? contains_solid(w) : !contains(w, Phase::liquid);
    };
    double lo = 0.0;
    double hi = 0.0;
    if (!first_below(start, bottom, reached, lo, hi)) {
        why = liquidus
                  ? "no solid forms at this composition"
                  : "some liquid is left at this composition down to a thousandth of the lower melting point";
        return false;
    }
    // The side of the bracket where x0 is in the two-phase region that ends there.
    // A dilute alloy's region is narrower than the bracket (a ten-billionth of a
    // kelvin at x0 = 1e-12): it is bisected on until x0 is found in it, or the
    // bracket is a rounding error wide.
    // The liquid end of the tie-line is held at x0 for the liquidus, the solid end for the solidus.
    const auto held_of = [&](const TieLine& t) { return liquidus ? end_of(t, Phase::liquid) : solid_end(t); };
    const auto held_end = [&](const Location& w) {
        return w.two_phase && liquid_and_solid(w.tie) && std::fabs(held_of(w.tie).x - x0) < HELD_END;
    };
    while (!held_end(e.location(liquidus ? lo : hi, x0)) && hi - lo > ROUNDING * hi) {
        const double mid = 0.5 * (lo + hi);
        (reached(mid) ? lo : hi) = mid;
    }
    b.T = liquidus ? lo : hi;
    const Location w = e.location(b.T, x0);
    if (held_end(w)) {
        b.solid = solid_of(w.tie);
        const Phase held = liquidus ? Phase::liquid : b.solid;
        const Phase other = liquidus ? b.solid : Phase::liquid;
        b.other = end_of(w.tie, other);
        if (solve_fixed_end(e.s, held, composition_from_x(x0), other, b.other, b.T))
            return true;
        why = liquidus ? "the liquidus equations were not solved" : "the solidus equations were not solved";
        return false;
    }
    // Just below either boundary x0 is solid somewhere: that solid is the partner.
    const std::vector<Phase> below = solids_at(e.location(lo, x0));
    b.solid = below.empty() ? Phase::solid : below.front();
    if (dilute_boundary(e.s, x0, liquidus ? Phase::liquid : b.solid, liquidus ? b.solid : Phase::liquid, lo,
                        hi, b))
        return true;
    const Diagram d = e.events_between(lo - EVENT_MARGIN, hi + EVENT_MARGIN);
    const Invariant* inv = nearest(d, x0);
    if (inv == nullptr) {
        why = liquidus ? "the first solid forms where no invariant was found"
                       : "the liquid runs out where no invariant was found";
        return false;
    }
    b.T = inv->T;
    b.at_invariant = true;
    b.invariant = *inv;
    return true;
}

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
                                        const BoundaryPoint& solidus)
{
    std::vector<Invariant> crossed;
    if (solidus.at_invariant)
        crossed.push_back(solidus.invariant);
    if (out.congruent)
        return crossed;
    double T_before = out.liquidus * (1.0 - ROUNDING);
    Location before = e.location(T_before, out.x0);
    PathNodes nodes(out.liquidus, out.solidus, {});
    for (PathNode node = nodes.next(); node.T > out.solidus; node = nodes.next()) {
        const Location w = e.location(node.T, out.x0);
        if (!same_region(before, w)) {
            const Diagram d = e.events_between(node.T, T_before);
            if (const Invariant* inv = nearest(d, out.x0))
                if (inv->phases == 3)
                    crossed.push_back(*inv);
        }
        before = w;
        T_before = node.T;
    }
    return crossed;
}

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

// The path's first point: the liquid x0 at the liquidus, or what an invariant
// there leaves of it.
void ScheilPath::start(const BoundaryPoint& liquidus, const Composition& partner)
{
    const Composition c0 = composition_from_x(out.x0);
    now = {out.liquidus, c0, partner, 0.0, liquidus.solid};
    integral.towards_b = partner.x > out.x0;
    if (out.congruent) {
        end(PathEnd::congruent, out.liquidus, 1.0, out.x0);
        return;
    }
    if (!out.liquidus_at_invariant) {
        trace.push_back(now);
        return;
    }
    // The first solid forms in an invariant's reaction; what liquid is left after
    // it goes on (a monotectic), or none is (x0 at a eutectic).
    const Invariant& inv = liquidus.invariant;
    const Location above = e.location(out.liquidus * (1.0 + JUST_BELOW), out.x0);
    const PhaseFractions before{0.0, EMPTY, above.two_phase ? EMPTY : out.x0};
    const PhaseFractions after = lever_at_invariant(inv, out.x0, false);
    events.push_back({inv, lever_index(inv), before, after});
    passed.push_back(inv);
    if (std::isnan(after.xl)) {
        out.scheil_kind = inv.kind;
        end(PathEnd::invariant, out.liquidus, 1.0, out.x0);
        return;
    }
    out.scheil_crossed.push_back(inv.kind);
    now = {out.liquidus, composition_from_x(after.xl), composition_from_x(after.xs), std::log(1.0 - after.f),
           solid_at(inv, after.xs)};
    integral.towards_b = after.xs > after.xl;
    trace.push_back(
        {out.liquidus, now.liquid, now.solid, 0.0, now.solid_phase});  // the reaction's solid, from g = 0
    trace.push_back(now);
}

// One node of the path: followed along the liquidus, or through the event met
// between the last node and this one; again is set where the node must be
// taken once more, from the other side of an invariant above it.
bool ScheilPath::step(const PathNode& node, bool& again)
{
    again = false;
    const double T = node.T;
    if (T >= now.T * (1.0 - JUST_BELOW))  // where the path already is (an invariant it began at)
        return true;
    // At a lever path's invariant, the pairs stable just above it continue the path.
    const Equilibria& row = e.at(node.crossed >= 0 ? T * (1.0 + JUST_ABOVE) : T);
    double distance = 0.0;
    const TieLine* next = continuing(row, distance);
    // A partner that jumps may mean an invariant between (a peritectic's new
    // solid), or only a fast-moving solidus (near a congruent minimum).
    if (next != nullptr && distance < STEADY && solid_of(*next) == now.solid_phase &&
        std::fabs(solid_end(*next).x - now.solid.x) < STEADY) {
        follow_to(*next, T);
        return true;
    }
    const Diagram found = e.events_between(T * (1.0 - JUST_BELOW), now.T * (1.0 + EVENTS_ABOVE));
    const Invariant* inv = nearest(found, now.liquid.x, passed);
    if (next != nullptr && inv == nullptr) {
        follow_to(*next, T);
        return true;
    }
    int liquid_index = -1;
    if (inv != nullptr && inv->phases == 3)
        for (int i = 0; i < 3; ++i)
            if (inv->phase[i] == Phase::liquid &&
                (liquid_index < 0 ||
                 std::fabs(inv->at[i].x - now.liquid.x) < std::fabs(inv->at[liquid_index].x - now.liquid.x)))
                liquid_index = i;
    if (liquid_index >= 0)
        return through_invariant(*inv, liquid_index, again, T);
    // A congruent minimum ahead of the liquid comes before the pure component it heads to.
    const bool ahead =
        inv != nullptr && (integral.towards_b ? inv->at[0].x < now.liquid.x : inv->at[0].x > now.liquid.x);
    if (inv != nullptr && inv->kind == InvariantKind::congruent && ahead) {
        to_congruent(*inv);
        return true;
    }
    // The liquid runs out of the component it loses at the melting point of the other.
    // (Where the region that meets that edge joins the liquid and the solid forming.)
    for (const EdgeEvent& m : found.melting)
        if (m.at_a != integral.towards_b &&
            (m.low_phase == now.solid_phase || m.high_phase == now.solid_phase) &&
            (m.low_phase == Phase::liquid || m.high_phase == Phase::liquid)) {
            to_pure_component(m.T);
            return true;
        }
    if (inv != nullptr && inv->kind == InvariantKind::congruent) {
        to_congruent(*inv);
        return true;
    }
    return fail(T, "the Scheil path ends in an event not resolved");
}

// The path meets a three-phase invariant with a liquid. Below it the pairs are
// (0, 2) when its middle phase is stable above, (0, 1) and (1, 2) when below: a
// liquid that is the vanishing middle phase reacts whole (a eutectic ends the
// path, a monotectic splits it); any other goes on with its partner below,
// without reaction, as no diffusion in the solid lets the solid take part.
bool ScheilPath::through_invariant(const Invariant& found, int liquid_index, bool& again, double T)
{
    // The same invariant as the lever path's, where it is one: one temperature for both.
    const int lever = lever_index(found);
    const Invariant inv = lever >= 0 ? crossed[static_cast<std::size_t>(lever)] : found;
    const Composition liquid = inv.at[liquid_index];
    now = integral.advance(now, liquid, 4);
    now.T = inv.T;
    passed.push_back(inv);
    const PhaseFractions before = state();
    again = inv.T > T;
    if (inv.middle_above && liquid_index == 1) {
        const int other = inv.phase[0] == Phase::liquid ? 0 : (inv.phase[2] == Phase::liquid ? 2 : -1);
        if (other < 0) {  // a eutectic: the rest of the liquid freezes here
            out.scheil_kind = inv.kind;
            end(PathEnd::invariant, inv.T, 1.0 - before.f, liquid.x);
            events.push_back(
                {inv, lever, before, forming({1.0, liquid.x, EMPTY}, inv.phase[0], inv.phase[2])});
            again = false;
            return true;
        }
        // A monotectic: the liquid splits into a solid and a second liquid, which goes on.
        const int solid = 2 - other;
        const double xs = inv.at[solid].x;
        const double x2 = inv.at[other].x;
        const double formed = (1.0 - before.f) * (liquid.x - x2) / (xs - x2);
        now.ln_remaining = std::log(1.0 - before.f - formed);
        now.liquid = inv.at[other];
        now.solid = inv.at[solid];
        now.solid_phase = inv.phase[solid];
        integral.towards_b = xs > x2;
    } else {
        const int partner = inv.middle_above ? 2 - liquid_index : 1;
        if (partner == liquid_index || inv.phase[partner] == Phase::liquid)
            return fail(inv.T, "the Scheil liquid meets an invariant it cannot pass");
        now.solid = inv.at[partner];  // a peritectic, syntectic or metatectic: a new solid
        now.solid_phase = inv.phase[partner];
    }
    trace.push_back(now);  // the profile steps to the new solid here
    out.scheil_crossed.push_back(inv.kind);
    events.push_back({inv, lever, before, state()});
    return true;
}

// The liquid runs out of one component: followed until LAST_LIQUID of it is left.
void ScheilPath::to_pure_component(double T_melting)
{
    while (std::exp(now.ln_remaining) > LAST_LIQUID && integral.losing(now.liquid) > SMALLEST_FRACTION &&
           !integral.failed)
        now =
            integral.advance(now, integral.losing_at(std::log(integral.losing(now.liquid)) - LOG_STRIDE), 1);
    end(PathEnd::pure_component, T_melting, std::exp(now.ln_remaining), integral.towards_b ? 0.0 : 1.0);
}

// The liquid ends at a congruent minimum, approached by halving its distance.
void ScheilPath::to_congruent(const Invariant& inv)
{
    const double x_c = inv.at[0].x;
    while (std::exp(now.ln_remaining) > LAST_LIQUID && !integral.failed &&
           std::fabs(now.liquid.x - x_c) > CONGRUENT_REACH)
        now = integral.advance(now, composition_from_x(now.liquid.x + 0.5 * (x_c - now.liquid.x)), 1);
    end(PathEnd::congruent, inv.T, std::exp(now.ln_remaining), x_c);
}

// The Scheil path from the liquidus to its end, on the path temperatures below
// the liquidus; false with a doubt where it cannot be followed.
bool follow_scheil(ScheilPath& path, const BoundaryPoint& liquidus, const Composition& partner, double bottom)
{
    Solidification& out = path.out;
    path.start(liquidus, partner);
    std::vector<PathNode> marks{{out.solidus, -1}};
    for (std::size_t i = 0; i < path.crossed.size(); ++i)
        marks.push_back({path.crossed[i].T, static_cast<int>(i)});
    PathNodes nodes(out.liquidus, out.solidus, marks);
    const double in_range = std::max(1.0, (out.liquidus - out.solidus) / nodes.range_spacing);
    path.base_pieces = std::max(2, static_cast<int>(std::ceil(PROFILE_IN_RANGE / in_range)));
    while (out.scheil_end == PathEnd::unresolved) {
        const PathNode node = nodes.next();
        if (node.T <= bottom)
            return path.fail(path.now.T, "the Scheil path does not end above the lowest temperature");
        bool again = true;
        while (again)
            if (!path.step(node, again))
                return false;
        if (path.integral.failed)
            return path.fail(path.now.T, "the liquidus equations were not solved along the Scheil path");
    }
    if (path.integral.failed)
        return path.fail(path.now.T, "the liquidus equations were not solved along the Scheil path");
    return true;
}

// The lever rule and the Scheil path sampled at the rows' temperatures.
struct RowSampler {
    EquilibriumCache& e;
    const Solidification& out;
    const ScheilPath& path;
    double range_spacing;
    std::size_t trace_at = 0;

    // The lever state at a temperature that is not an invariant's: from the
    // tie-line of the path temperature above it where the one below agrees.
    PhaseFractions lever_at(double T)
    {
        const double x0 = out.x0;
        if (T <= out.solidus)
            return {1.0, x0, EMPTY};  // nothing left to freeze
        const double k = std::floor((out.liquidus - T) / range_spacing);
        const double T_above = k < 1.0 ? out.liquidus * (1.0 - ROUNDING) : out.liquidus - k * range_spacing;
        const Location above = e.location(T_above, x0);
        const Location below = e.location(out.liquidus - (k + 1.0) * range_spacing, x0);
        if (same_region(above, below)) {
            if (!above.two_phase)
                return lever(above, x0);
            Location here = above;
            const TieLine& t = above.tie;
            if (refine_tie_line(e.s, T, t.low_phase, t.low, t.high_phase, t.high, here.tie) == Refined::ok &&
                here.tie.low.x <= x0 && x0 <= here.tie.high.x)
                return lever(here, x0);
        }
        std::vector<Doubt> ignored;
        return lever(locate(equilibria_at(e.s, e.grid, T, ignored), x0), x0);
    }

    // The Scheil state at T: the path's liquid there, and the integral from the
    // path's point above it. Rows come in descending T.
    PhaseFractions scheil_at(double T)
    {
        const std::vector<PathPoint>& trace = path.trace;
        while (trace_at + 1 < trace.size() && trace[trace_at + 1].T >= T)
            ++trace_at;
        const PathPoint& p = trace[trace_at];
        const PhaseFractions at_point =
            forming({1.0 - std::exp(p.ln_remaining), p.solid.x, p.liquid.x}, p.solid_phase);
        TieLine tie{};
        if (std::fabs(p.T - T) <= SAME_T * T ||
            refine_tie_line(e.s, T, Phase::liquid, p.liquid, p.solid_phase, p.solid, tie) != Refined::ok ||
            !liquid_and_solid(tie))
            return at_point;
        std::vector<PathPoint> scratch;
        ScheilIntegral piece{path.integral.partner, p.solid.x > p.liquid.x, scratch};
        const PathPoint q = piece.advance(p, end_of(tie, Phase::liquid), 1);
        if (piece.failed)
            return at_point;
        return forming({1.0 - std::exp(q.ln_remaining), solid_end(tie).x, end_of(tie, Phase::liquid).x},
                       solid_of(tie));
    }
};

// The step's rows: the multiples k step, as decimals, strictly between the
// path's end and the liquidus; k runs from top down to bottom.
void step_multiples(double liquidus, double end_T, double step, long long& top, long long& bottom)
{
    const auto at = [&](long long k) { return decimal_grid_point(0.0, step, k); };
    top = static_cast<long long>(std::ceil(liquidus / step));
    while (top > 0 && at(top) >= liquidus)
        --top;
    bottom = std::max(0LL, static_cast<long long>(std::floor(end_T / step)));
    while (bottom <= top && at(bottom) <= end_T)
        ++bottom;
}

// The smallest step, in two significant digits rounded up, that fits the rows
// into MAX_SOLIDIFICATION_ROWS.
double smallest_step(double span, long exact_rows)
{
    const double least = span / static_cast<double>(MAX_SOLIDIFICATION_ROWS - exact_rows);
    const double unit = std::pow(10.0, std::floor(std::log10(least)) - 1.0);
    return std::ceil(least / unit) * unit;
}

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
                              const std::vector<ScheilEvent>& events)
{
    std::vector<RowAt> rows;
    if (!out.congruent && !out.solidus_at_invariant)
        rows.push_back({out.solidus, RowAt::Kind::solidus, 0});
    for (std::size_t i = 0; i < crossed.size(); ++i)
        if (std::none_of(events.begin(), events.end(),
                         [&](const ScheilEvent& ev) { return ev.crossed == static_cast<int>(i); }))
            rows.push_back({crossed[i].T, RowAt::Kind::lever_invariant, i});
    for (std::size_t j = out.liquidus_at_invariant ? 1 : 0; j < events.size(); ++j)
        rows.push_back({events[j].inv.T, RowAt::Kind::scheil_event, j});
    if (out.scheil_end == PathEnd::pure_component || (out.scheil_end == PathEnd::congruent && !out.congruent))
        rows.push_back({out.scheil_end_T, RowAt::Kind::end, 0});
    return rows;
}

Solidification fail(Solidification& out, double T, const std::string& why)
{
    out.doubts.push_back(doubt_at(T, why));
    return out;
}

// The liquidus: the highest temperature with solid at x0; partner is the first solid.
bool find_liquidus(EquilibriumCache& e, Solidification& out, double bottom, BoundaryPoint& b,
                   Composition& partner)
{
    const System& s = e.s;
    const double x0 = out.x0;
    double top = std::max(s.a.melting_point(), s.b.melting_point()) + 1.0;
    while (contains_solid(e.location(top, x0)) && top < HIGHEST)
        top = std::min(HIGHEST, RAISE_TOP * top);
    std::string why;
    b.T = top;
    if (!boundary_temperature(e, x0, true, top, bottom, b, why)) {
        fail(out, b.T, why);
        return false;
    }
    out.liquidus = b.T;
    partner = b.other;
    if (b.at_invariant) {
        if (b.invariant.kind == InvariantKind::congruent &&
            std::fabs(b.invariant.at[0].x - x0) <= CONGRUENT_MATCH) {
            out.congruent = true;
            partner = b.invariant.at[0];
        } else {
            out.liquidus_at_invariant = true;
            partner = composition_from_x(lever_at_invariant(b.invariant, x0, false).xs);
        }
    }
    out.partition = out.minor_is_a ? partner.x / x0 : partner.y / (1.0 - x0);
    return true;
}

// The solidus: the highest temperature without liquid at x0.
bool find_solidus(EquilibriumCache& e, Solidification& out, double bottom, const BoundaryPoint& liquidus,
                  BoundaryPoint& b)
{
    if (out.congruent) {
        out.solidus = out.liquidus;
        return true;
    }
    // At the composition of the liquid of the invariant where the first solid
    // forms, no liquid is left below it: the alloy freezes whole there.
    const PhaseFractions below = out.liquidus_at_invariant
                                     ? lever_at_invariant(liquidus.invariant, out.x0, false)
                                     : PhaseFractions{0.0, EMPTY, EMPTY};
    if (out.liquidus_at_invariant && std::isnan(below.xl) && below.f == 1.0) {
        b = liquidus;
    } else {
        std::string why;
        b.T = out.liquidus * (1.0 - ROUNDING);
        if (!boundary_temperature(e, out.x0, false, b.T, bottom, b, why)) {
            fail(out, b.T, why);
            return false;
        }
    }
    out.solidus = b.T;
    out.solidus_at_invariant = b.at_invariant;
    out.solidus_kind = b.invariant.kind;
    return true;
}

// An alloy at the composition of an invariant's liquid (a eutectic's): its
// liquidus, solved on the two-phase equations beside the invariant, can land a
// rounding error below the invariant's temperature; both boundaries are the
// invariant's, where the alloy freezes whole.
void at_invariant_composition(Solidification& out, BoundaryPoint& liquidus, const BoundaryPoint& solidus,
                              Composition& partner)
{
    if (out.liquidus_at_invariant || !solidus.at_invariant ||
        out.liquidus - solidus.T > ROUNDING * out.liquidus)
        return;
    liquidus = solidus;
    out.liquidus = solidus.T;
    out.liquidus_at_invariant = true;
    partner = composition_from_x(lever_at_invariant(solidus.invariant, out.x0, false).xs);
    out.partition = out.minor_is_a ? partner.x / out.x0 : partner.y / (1.0 - out.x0);
}

// The segregation profile from the path's points: the solid forming at each
// fraction solidified, then the remainder that freezes at the end with the last
// liquid's composition; evenly thinned to MAX_PROFILE_POINTS, keeping its steps.
void segregation_profile(Solidification& out, const std::vector<PathPoint>& trace)
{
    std::vector<double> g;
    std::vector<double> x;
    double last_g = -1.0;
    for (const PathPoint& p : trace) {
        double here = 1.0 - std::exp(p.ln_remaining);
        if (here >= 1.0)  // the last of the liquid: the end's own point below
            break;
        // A new solid at the same fraction (a peritectic's, a monotectic's): a step,
        // one representable fraction on.
        if (here <= last_g && !x.empty() && p.solid.x != x.back())
            here = std::nextafter(last_g, 2.0);
        if (here >= 1.0)
            break;
        if (here > last_g) {
            g.push_back(here);
            x.push_back(p.solid.x);
            last_g = here;
        }
    }
    // The last liquid freezes with its own composition: a step to it, then g = 1.
    const double step_at = g.empty() ? 0.0 : std::nextafter(g.back(), 2.0);
    if (step_at < 1.0) {
        g.push_back(step_at);
        x.push_back(out.scheil_last_solid);
    }
    g.push_back(1.0);
    x.push_back(out.scheil_last_solid);
    const std::size_t stride = g.size() / MAX_PROFILE_POINTS + 1;
    for (std::size_t i = 0; i < g.size(); ++i) {
        const bool step_next = i + 1 < g.size() && g[i + 1] == std::nextafter(g[i], 2.0);
        const bool step_here = i > 0 && g[i] == std::nextafter(g[i - 1], 2.0);
        if (i % stride == 0 || step_next || step_here || i + 1 == g.size()) {
            out.g.push_back(g[i]);
            out.x_solid.push_back(x[i]);
        }
    }
}

// Every row: the liquidus, then the step's rows and the exact ones, descending.
void make_rows(Solidification& out, RowSampler& sample, const std::vector<Invariant>& crossed,
               const Composition& partner, Phase partner_phase, const std::vector<RowAt>& rows_at)
{
    const double x0 = out.x0;
    const auto add = [&](double T, const PhaseFractions& l, const PhaseFractions& s) {
        out.rows.push_back({T, l, s});
    };
    const PhaseFractions first_solid = forming({0.0, partner.x, x0}, partner_phase);
    if (out.congruent) {  // liquid and solid of one composition: everything freezes at once
        const PhaseFractions all = forming({1.0, x0, EMPTY}, partner_phase);
        add(out.liquidus, first_solid, first_solid);
        add(out.liquidus, all, all);
    } else if (out.liquidus_at_invariant) {
        const ScheilEvent& first = sample.path.events.front();
        add(out.liquidus, first.before, first.before);
        add(out.liquidus, first.after, first.after);
    } else {
        add(out.liquidus, first_solid, first_solid);
    }
    for (const RowAt& r : rows_at) {
        switch (r.kind) {
        case RowAt::Kind::step:
        case RowAt::Kind::solidus:
            add(r.T, sample.lever_at(r.T), sample.scheil_at(r.T));
            break;
        case RowAt::Kind::lever_invariant: {
            const PhaseFractions scheil = sample.scheil_at(r.T);
            add(r.T, lever_at_invariant(crossed[r.index], x0, true), scheil);
            add(r.T, lever_at_invariant(crossed[r.index], x0, false), scheil);
            break;
        }
        case RowAt::Kind::scheil_event: {
            const ScheilEvent& ev = sample.path.events[r.index];
            const bool both = ev.crossed >= 0;
            const PhaseFractions above =
                both ? lever_at_invariant(crossed[static_cast<std::size_t>(ev.crossed)], x0, true)
                     : sample.lever_at(r.T);
            const PhaseFractions below =
                both ? lever_at_invariant(crossed[static_cast<std::size_t>(ev.crossed)], x0, false) : above;
            add(r.T, above, ev.before);
            add(r.T, below, ev.after);
            break;
        }
        case RowAt::Kind::end:
            add(r.T, sample.lever_at(r.T),
                forming({1.0, out.scheil_last_solid, EMPTY}, sample.path.now.solid_phase));
            break;
        }
    }
}

// The rows' temperatures below the liquidus: the exact ones and the step's,
// descending; false when there would be more than MAX_SOLIDIFICATION_ROWS.
bool row_temperatures(Solidification& out, double step, std::vector<RowAt>& rows_at)
{
    long long top = 0;
    long long bottom = 0;
    step_multiples(out.liquidus, out.scheil_end_T, step, top, bottom);
    const long exact = 2 * static_cast<long>(rows_at.size()) + 2;
    out.rows_needed = static_cast<long>(std::max(0LL, top - bottom + 1)) + exact;
    if (out.rows_needed > MAX_SOLIDIFICATION_ROWS) {
        out.smallest_step = smallest_step(out.liquidus - out.scheil_end_T, exact);
        return false;
    }
    const std::size_t n_exact = rows_at.size();
    for (long long k = top; k >= bottom; --k) {
        const double T = decimal_grid_point(0.0, step, k);
        // A row at exactly a boundary or an invariant already stands for this one.
        const bool taken = std::any_of(rows_at.begin(), rows_at.begin() + static_cast<long>(n_exact),
                                       [&](const RowAt& r) { return std::fabs(r.T - T) <= SAME_T * T; });
        if (!taken)
            rows_at.push_back({T, RowAt::Kind::step, 0});
    }
    std::stable_sort(rows_at.begin(), rows_at.end(),
                     [](const RowAt& a, const RowAt& b) { return a.T > b.T; });
    return true;
}

Solidification unresolved(double x0)
{
    Solidification out{};
    out.x0 = x0;
    out.partition = EMPTY;
    out.minor_is_a = x0 < 0.5;
    out.scheil_end = PathEnd::unresolved;
    out.scheil_remaining = EMPTY;
    out.scheil_last_solid = EMPTY;
    return out;
}

}  // namespace

double smallest_step_of(const System& s)
{
    return std::max(s.a.melting_point(), s.b.melting_point()) / (1.0 / SMALLEST_RELATIVE_STEP);
}

Solidification solidify(const System& s, double x0, double step)
{
    Solidification out = unresolved(x0);
    EquilibriumCache e{s, make_grid(s), {}, {}, {}};
    const double bottom = LOWEST * std::min(s.a.melting_point(), s.b.melting_point());
    BoundaryPoint liquidus;
    BoundaryPoint solidus;
    Composition partner{};
    if (!find_liquidus(e, out, bottom, liquidus, partner) || !find_solidus(e, out, bottom, liquidus, solidus))
        return out;
    at_invariant_composition(out, liquidus, solidus, partner);
    const std::vector<Invariant> crossed = lever_invariants(e, out, solidus);
    ScheilPath path(e, out, crossed);
    if (!follow_scheil(path, liquidus, partner, bottom))
        return out;
    std::vector<RowAt> rows_at = exact_rows(out, crossed, path.events);
    if (!row_temperatures(out, step, rows_at))
        return out;
    RowSampler sample{e, out, path, PathNodes(out.liquidus, out.solidus, {}).range_spacing};
    make_rows(out, sample, crossed, partner, liquidus.solid, rows_at);
    segregation_profile(out, path.trace);
    return out;
}
