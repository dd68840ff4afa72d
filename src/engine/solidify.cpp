#include "engine/solidify.h"

#include "engine/invariants.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

namespace {

const double EMPTY = std::numeric_limits<double>::quiet_NaN();

// Where x0 lies at one temperature: in a two-phase region, or in a single phase.
struct Where {
    bool two_phase = false;
    TieLine tie{};
    Phase single = Phase::liquid;
};

Where locate(const Equilibria& e, double x0)
{
    Where w;
    w.single = e.first_phase;
    for (const TieLine& t : e.ties) {
        if (x0 < t.low.x)
            return w;
        if (x0 <= t.high.x) {
            w.two_phase = true;
            w.tie = t;
            return w;
        }
        w.single = t.high_phase;
    }
    return w;
}

bool holds(const Where& w, Phase p)
{
    return w.two_phase ? (w.tie.low_phase == p || w.tie.high_phase == p) : w.single == p;
}

bool liquid_and_solid(const TieLine& t)
{
    return t.low_phase != t.high_phase;
}

const Composition& end_of(const TieLine& t, Phase p)
{
    return t.low_phase == p ? t.low : t.high;
}

// A lever-rule state: the fraction of solid and the two compositions.
struct State {
    double f, xs, xl;
};

State lever(const Where& w, double x0)
{
    if (w.two_phase && liquid_and_solid(w.tie)) {
        const double xs = end_of(w.tie, Phase::solid).x;
        const double xl = end_of(w.tie, Phase::liquid).x;
        return {(x0 - xl) / (xs - xl), xs, xl};
    }
    if (holds(w, Phase::solid))
        return {1.0, x0, EMPTY};
    return {0.0, EMPTY, w.two_phase ? EMPTY : x0};  // one liquid, or two: no single x_liquid
}

// Whether the middle phase (by x) of a three-phase invariant is the one stable
// just above it (eutectic-type) rather than just below (peritectic-type).
bool middle_stable_above(InvariantKind k)
{
    return k == InvariantKind::eutectic || k == InvariantKind::monotectic || k == InvariantKind::metatectic ||
           k == InvariantKind::eutectoid || k == InvariantKind::eutectic_type;
}

// The two phases of a three-phase invariant that hold x0 just above (above) or
// just below it, as a lever-rule state.
State at_invariant(const Invariant& inv, double x0, bool above)
{
    const bool middle_above = middle_stable_above(inv.kind);
    int a = 0;
    int b = 2;
    if (above == middle_above)  // the middle phase is stable on this side: x0 is in (0,1) or (1,2)
        (x0 < inv.at[1].x ? b : a) = 1;
    const auto state_of = [&](int i, int j) {
        if (inv.phase[i] == inv.phase[j])
            return inv.phase[i] == Phase::solid ? State{1.0, x0, EMPTY} : State{0.0, EMPTY, EMPTY};
        const int s = inv.phase[i] == Phase::solid ? i : j;
        const int l = s == i ? j : i;
        const double xs = inv.at[s].x;
        const double xl = inv.at[l].x;
        return State{(x0 - xl) / (xs - xl), xs, xl};
    };
    return state_of(a, b);
}

struct Engine {
    const System& s;
    Grid grid;
    std::vector<Doubt> scratch;

    std::map<double, Equilibria> cache;  // every temperature asked for: the paths ask again

    const Equilibria& at(double T)
    {
        auto found = cache.find(T);
        if (found == cache.end())
            found = cache.emplace(T, equilibria_at(s, grid, T, scratch)).first;
        return found->second;
    }

    Where where(double T, double x0) { return locate(at(T), x0); }

    // The invariants and melting points between lo and hi, each solved on its own equations.
    Diagram between(double lo, double hi)
    {
        System t = s;
        t.range = {lo, hi, hi - lo, 2};
        return compute_diagram(t);
    }

    // The highest temperature below start at which has(T) turns true, looked for
    // in steps of 4 K and bisected to 1e-7 K, from where its own equations take over.
    template <class Has>
    bool first_below(double start, double bottom, Has has, double& lo, double& hi)
    {
        hi = start;
        for (lo = start - 4.0; !has(lo); hi = lo, lo -= 4.0)
            if (lo < bottom)
                return false;
        while (hi - lo > 1e-7) {
            const double mid = 0.5 * (lo + hi);
            (has(mid) ? lo : hi) = mid;
        }
        return true;
    }
};

enum class Boundary { solved, not_solved, at_invariant };

// The liquidus (held = liquid) or solidus (held = solid) temperature of x0, from
// the tie-line of w at T, solved with that end held at x0; the other end goes to
// other. at_invariant when x0 is not the held end of an L+S tie-line there.
Boundary boundary(const System& s, const Where& w, double x0, Phase held, double& T, Composition& other)
{
    if (!w.two_phase || !liquid_and_solid(w.tie) || std::fabs(end_of(w.tie, held).x - x0) >= 1e-6)
        return Boundary::at_invariant;
    const Phase free = held == Phase::liquid ? Phase::solid : Phase::liquid;
    other = end_of(w.tie, free);
    return solve_fixed_end(s, held, composition_from_x(x0), free, other, T) ? Boundary::solved
                                                                            : Boundary::not_solved;
}

// The invariant of d with a phase nearest to composition x, leaving out those at
// the temperatures in done.
const Invariant* nearest(const Diagram& d, double x, const std::vector<double>& done = {})
{
    const Invariant* best = nullptr;
    double distance = HUGE_VAL;
    for (const Invariant& inv : d.invariants)
        for (int i = 0; i < inv.phases; ++i)
            if (std::none_of(done.begin(), done.end(),
                             [&](double T) { return std::fabs(T - inv.T) < 1e-9 * T; }))
                if (std::fabs(inv.at[i].x - x) < distance) {
                    distance = std::fabs(inv.at[i].x - x);
                    best = &inv;
                }
    return best;
}

// The Scheil path's liquid, its partner solid, and ln(1 - f_S).
struct PathPoint {
    double T;
    Composition liquid;
    Composition solid;
    double ln_remaining;
};

// ln(1 - f) from a to b along the liquidus, in v = ln of the liquid's smaller
// fraction towards the end it moves to, where the integrand x/(x_S - x) stays
// finite even as the liquid runs out of one component. Records the path's
// points for the segregation profile.
struct Scheil {
    // The solid forming from a liquid on the liquidus, and the temperature there,
    // from guesses; false if there is none.
    std::function<bool(const Composition& liquid, Composition& solid, double& T)> partner;
    bool towards_b;  // the liquid loses A
    std::vector<PathPoint>& trace;
    bool failed = false;
    long evaluations = 0;

    double small(const Composition& c) const { return towards_b ? c.x : c.y; }
    Composition at_small(double v) const
    {
        const double e = std::exp(v);
        return towards_b ? Composition{e, 1.0 - e} : Composition{1.0 - e, e};
    }

    // The integrand at v, solving the liquidus there from the nearest known point.
    double integrand(double v, PathPoint& guess)
    {
        const Composition liquid = at_small(v);
        Composition solid = guess.solid;
        double T = guess.T;
        if (!partner(liquid, solid, T)) {
            failed = true;
            return 0.0;
        }
        guess = {T, liquid, solid, 0.0};
        const double x = small(liquid);
        return x / (small(solid) - x);
    }

    double simpson(double a, double b, double fa, double fm, double fb, double whole, double eps, int depth,
                   PathPoint& guess, double base)
    {
        const double m = 0.5 * (a + b);
        const double lm = 0.5 * (a + m);
        const double rm = 0.5 * (m + b);
        PathPoint g = guess;
        const double flm = integrand(lm, g);
        const double frm = integrand(rm, g);
        const double left = (m - a) / 6.0 * (fa + 4.0 * flm + fm);
        const double right = (b - m) / 6.0 * (fm + 4.0 * frm + fb);
        if (++evaluations > 4000000) {  // no path takes this many: something is wrong
            failed = true;
            return whole;
        }
        if (depth <= 0 || std::fabs(left + right - whole) <= 15.0 * eps) {
            const double total = left + right + (left + right - whole) / 15.0;
            PathPoint mid_point = g;
            integrand(m, mid_point);
            mid_point.ln_remaining = base + left + (left - (m - a) / 6.0 * (fa + 4.0 * flm + fm)) / 15.0;
            trace.push_back(mid_point);
            guess = g;
            integrand(b, guess);
            guess.ln_remaining = base + total;
            trace.push_back(guess);
            return total;
        }
        const double l = simpson(a, m, fa, flm, fm, left, eps / 2.0, depth - 1, guess, base);
        return l + simpson(m, b, fm, frm, fb, right, eps / 2.0, depth - 1, guess, base + l);
    }

    // Follows the path from `from` to the liquid composition `to` (at least four
    // pieces, so that the profile has points all along it).
    PathPoint advance(const PathPoint& from, const Composition& to, int pieces)
    {
        PathPoint at = from;
        const double v0 = std::log(small(from.liquid));
        const double v1 = std::log(small(to));
        for (int k = 0; k < pieces && !failed; ++k) {
            const double a = v0 + (v1 - v0) * k / pieces;
            const double b = v0 + (v1 - v0) * (k + 1) / pieces;
            PathPoint g = at;
            const double fa = integrand(a, g);
            PathPoint gm = g;
            const double fm = integrand(0.5 * (a + b), gm);
            PathPoint gb = gm;
            const double fb = integrand(b, gb);
            const double whole = (b - a) / 6.0 * (fa + 4.0 * fm + fb);
            // 1e-11 of the piece's own share of ln(1 - f), and no finer than 2^-12 of it.
            const double eps = 1e-11 * std::max(1e-3, std::fabs(whole));
            at.ln_remaining += simpson(a, b, fa, fm, fb, whole, eps, 12, g, at.ln_remaining);
            at.T = g.T;
            at.liquid = g.liquid;
            at.solid = g.solid;
        }
        return at;
    }
};

}  // namespace

namespace {

// Whether a lever-rule state and the next one belong to the same two-phase
// region: the phases held and the ends, within what a step moves them.
bool same_region(const Where& a, const Where& b)
{
    if (a.two_phase != b.two_phase)
        return false;
    if (!a.two_phase)
        return a.single == b.single;
    return a.tie.low_phase == b.tie.low_phase && a.tie.high_phase == b.tie.high_phase &&
           std::fabs(a.tie.low.x - b.tie.low.x) < 0.05 && std::fabs(a.tie.high.x - b.tie.high.x) < 0.05;
}

}  // namespace

Solidification solidify(const System& s, double x0, double step)
{
    Solidification out{};
    out.x0 = x0;
    out.partition = EMPTY;
    out.minor_is_a = x0 < 0.5;
    out.scheil_end = PathEnd::unresolved;
    out.scheil_remaining = EMPTY;
    out.scheil_last_solid = EMPTY;
    Engine e{s, make_grid(s), {}, {}};
    const Composition c0 = composition_from_x(x0);
    const auto fail = [&](double T, const std::string& why) {
        out.doubts.push_back({T, Phase::liquid, x0, Phase::solid, x0, why});
        return out;
    };

    // The liquidus: the highest temperature with solid at x0.
    double top = std::max(s.a.melting_point(), s.b.melting_point()) + 1.0;
    while (holds(e.where(top, x0), Phase::solid) && top < 1e5)
        top = std::min(1e5, 1.5 * top);
    const double bottom = 1e-3 * std::min(s.a.melting_point(), s.b.melting_point());
    double lo = 0.0;
    double hi = 0.0;
    if (!e.first_below(
            top, bottom, [&](double T) { return holds(e.where(T, x0), Phase::solid); }, lo, hi))
        return fail(top, "no solid forms at this composition");
    Composition partner{};
    Invariant liquidus_invariant{};
    out.liquidus = lo;
    const Boundary liquidus = boundary(s, e.where(lo, x0), x0, Phase::liquid, out.liquidus, partner);
    if (liquidus == Boundary::not_solved)
        return fail(lo, "the liquidus equations were not solved");
    if (liquidus == Boundary::at_invariant) {
        const Diagram d = e.between(lo - 1e-4, hi + 1e-4);
        const Invariant* inv = nearest(d, x0);
        if (inv == nullptr)
            return fail(lo, "the first solid forms where no invariant was found");
        out.liquidus = inv->T;
        if (inv->kind == InvariantKind::congruent && std::fabs(inv->at[0].x - x0) <= 1e-9) {
            out.congruent = true;
            partner = inv->at[0];
        } else {
            out.liquidus_at_invariant = true;
            liquidus_invariant = *inv;
            partner = composition_from_x(at_invariant(*inv, x0, false).xs);
        }
    }
    out.partition = out.minor_is_a ? partner.x / x0 : partner.y / c0.y;

    // The solidus: the highest temperature without liquid at x0.
    Invariant solidus_invariant{};
    if (out.congruent) {
        out.solidus = out.liquidus;
    } else {
        if (!e.first_below(
                out.liquidus - 1e-9, bottom, [&](double T) { return !holds(e.where(T, x0), Phase::liquid); },
                lo, hi))
            return fail(out.liquidus,
                        "some liquid is left at this composition down to a thousandth of the lower "
                        "melting point");
        Composition liquid{};
        out.solidus = hi;
        const Boundary solidus = boundary(s, e.where(hi, x0), x0, Phase::solid, out.solidus, liquid);
        if (solidus == Boundary::not_solved)
            return fail(hi, "the solidus equations were not solved");
        if (solidus == Boundary::at_invariant) {
            const Diagram d = e.between(lo - 1e-4, hi + 1e-4);
            const Invariant* inv = nearest(d, x0);
            if (inv == nullptr)
                return fail(hi, "the liquid runs out where no invariant was found");
            out.solidus = inv->T;
            out.solidus_at_invariant = true;
            out.solidus_kind = inv->kind;
            solidus_invariant = *inv;
        }
    }

    // The rows' temperatures below the liquidus, and the invariants the lever
    // path crosses on the way to the solidus (two rows each).
    std::vector<double> temperatures;
    for (double T = std::ceil(out.liquidus / step - 1.0) * step; T > bottom; T -= step)
        if (T < out.liquidus)
            temperatures.push_back(T);
    std::vector<Invariant> crossed;
    if (out.solidus_at_invariant)
        crossed.push_back(solidus_invariant);
    if (!out.congruent) {
        Where before = e.where(out.liquidus - 1e-9, x0);
        double T_before = out.liquidus - 1e-9;
        for (double T : temperatures) {
            if (T <= out.solidus)
                break;
            const Where w = e.where(T, x0);
            if (!same_region(before, w)) {
                const Diagram d = e.between(T, T_before);
                if (const Invariant* inv = nearest(d, x0))
                    if (inv->phases == 3)
                        crossed.push_back(*inv);
            }
            before = w;
            T_before = T;
        }
    }

    // The Scheil path, node by node: the rows' temperatures, the solidus and the
    // lever path's invariants, until the path ends.
    std::vector<double> nodes = temperatures;
    nodes.push_back(out.solidus);
    for (const Invariant& inv : crossed)
        nodes.push_back(inv.T);
    std::sort(nodes.begin(), nodes.end(), std::greater<>());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());

    struct Node {
        double T;
        State lever;
        State scheil;
    };
    std::vector<Node> rows_out;
    std::vector<PathPoint> trace;
    const bool towards_b = partner.x > x0;
    Scheil path{[&s](const Composition& liquid, Composition& solid, double& T) {
                    return solve_fixed_end(s, Phase::liquid, liquid, Phase::solid, solid, T);
                },
                towards_b, trace};
    PathPoint now{out.liquidus, c0, partner, 0.0};
    trace.push_back(now);
    const State first_solid{0.0, partner.x, x0};
    const auto lever_at = [&](double T, bool above) -> State {
        for (const Invariant& inv : crossed)
            if (inv.T == T)
                return at_invariant(inv, x0, above);
        if (T <= out.solidus)
            return {1.0, x0, EMPTY};
        return lever(e.where(T, x0), x0);
    };
    const auto scheil_now = [&]() {
        return State{1.0 - std::exp(now.ln_remaining), now.solid.x, now.liquid.x};
    };
    // Two rows at an invariant's temperature, before and after its reaction; where
    // the lever path's pair is already there, the Scheil states join it.
    const auto pair_at = [&](double T, const State& lever_before, const State& lever_after,
                             const State& before, const State& after) {
        const std::size_t n = rows_out.size();
        if (n >= 2 && rows_out[n - 1].T == T && rows_out[n - 2].T == T) {
            rows_out[n - 2].scheil = before;
            rows_out[n - 1].scheil = after;
            return;
        }
        rows_out.push_back({T, lever_before, before});
        rows_out.push_back({T, lever_after, after});
    };

    std::vector<double> handled;  // invariants the Scheil path has been through
    const int base_pieces =
        std::max(2, static_cast<int>(std::ceil(600.0 / std::max(1.0, (out.liquidus - out.solidus) / step))));
    if (out.congruent) {
        // Liquid and solid of one composition: everything freezes at one temperature.
        const State after{1.0, x0, EMPTY};
        rows_out.push_back({out.liquidus, first_solid, first_solid});
        rows_out.push_back({out.liquidus, after, after});
        out.scheil_end = PathEnd::congruent;
        out.scheil_end_T = out.liquidus;
        out.scheil_remaining = 1.0;
        out.scheil_last_solid = x0;
    } else if (out.liquidus_at_invariant) {
        // The first solid forms in an invariant's reaction; what liquid is left
        // after it goes on (a monotectic), or none is (x0 at a eutectic).
        const Where above = e.where(out.liquidus * (1.0 + 1e-9), x0);
        const State before{0.0, EMPTY, above.two_phase ? EMPTY : x0};
        const State after = at_invariant(liquidus_invariant, x0, false);
        rows_out.push_back({out.liquidus, before, before});
        rows_out.push_back({out.liquidus, after, after});
        handled.push_back(out.liquidus);
        out.scheil_crossed.push_back(liquidus_invariant.kind);
        if (std::isnan(after.xl)) {
            out.scheil_end = PathEnd::invariant;
            out.scheil_kind = liquidus_invariant.kind;
            out.scheil_end_T = out.liquidus;
            out.scheil_remaining = 1.0;
            out.scheil_last_solid = x0;
        } else {
            now = {out.liquidus, composition_from_x(after.xl), composition_from_x(after.xs),
                   std::log(1.0 - after.f)};
            path.towards_b = after.xs > after.xl;
            trace.assign(1, {out.liquidus, now.liquid, now.solid, 0.0});  // the reaction's solid, from g = 0
            trace.push_back(now);
        }
    } else {
        rows_out.push_back({out.liquidus, first_solid, first_solid});
    }
    if (out.scheil_end != PathEnd::unresolved)
        trace.clear();
    for (std::size_t n = 0; n < nodes.size() && out.scheil_end == PathEnd::unresolved; ++n) {
        const double T = nodes[n];
        if (T >= now.T * (1.0 - 1e-9))  // where the path already is (an invariant it began at)
            continue;
        const bool lever_crossing =
            std::any_of(crossed.begin(), crossed.end(), [&](const Invariant& inv) { return inv.T == T; });
        // The L+S tie-line whose liquid end continues the path (just above an
        // invariant's temperature, where the pairs are those stable above it).
        const Equilibria& row = e.at(lever_crossing ? T * (1.0 + 1e-12) : T);
        const TieLine* next = nullptr;
        double distance = HUGE_VAL;
        for (const TieLine& t : row.ties) {
            if (!liquid_and_solid(t))
                continue;
            const double xl = end_of(t, Phase::liquid).x;
            const double d = std::fabs(xl - now.liquid.x);
            const bool onwards = path.towards_b ? xl <= now.liquid.x + 1e-9 : xl >= now.liquid.x - 1e-9;
            if (d < distance && onwards) {
                distance = d;
                next = &t;
            }
        }
        // A partner that jumps may mean an invariant between (a peritectic's new
        // solid), or only a fast-moving solidus (near a congruent minimum).
        const bool steady = next != nullptr && distance < 0.05 &&
                            std::fabs(end_of(*next, Phase::solid).x - now.solid.x) < 0.05;
        Diagram events{};
        const Invariant* inv = nullptr;
        if (!steady) {
            events = e.between(T * (1.0 - 1e-9), now.T * (1.0 + 1e-7));
            inv = nearest(events, now.liquid.x, handled);
        }
        if (steady || (next != nullptr && inv == nullptr)) {
            // Enough pieces for a profile of over 1,000 points over the freezing range,
            // and more where the compositions move more: the profile is densest there.
            const double moved = std::max(std::fabs(end_of(*next, Phase::liquid).x - now.liquid.x),
                                          std::fabs(end_of(*next, Phase::solid).x - now.solid.x));
            const int base = T >= out.solidus ? base_pieces : 2;
            now = path.advance(now, end_of(*next, Phase::liquid),
                               base + static_cast<int>(std::ceil(2000.0 * moved)));
            now.T = T;
            now.solid = end_of(*next, Phase::solid);
            rows_out.push_back({T, lever_at(T, true), scheil_now()});
            if (lever_crossing)
                rows_out.push_back({T, lever_at(T, false), scheil_now()});
            continue;
        }
        // The path meets an event between the last node and this one.
        const Diagram& d = events;
        int liquid_index = -1;
        if (inv != nullptr && inv->phases == 3)
            for (int i = 0; i < 3; ++i)
                if (inv->phase[i] == Phase::liquid &&
                    (liquid_index < 0 || std::fabs(inv->at[i].x - now.liquid.x) <
                                             std::fabs(inv->at[liquid_index].x - now.liquid.x)))
                    liquid_index = i;
        if (liquid_index >= 0) {
            // The same invariant as the lever path's, when it is one: one temperature for both.
            for (const Invariant& c : crossed)
                if (std::fabs(c.T - inv->T) < 1e-7 * c.T && c.kind == inv->kind)
                    inv = &c;
            const Composition liquid = inv->at[liquid_index];
            now = path.advance(now, liquid, 4);
            now.T = inv->T;
            handled.push_back(inv->T);
            const State before = scheil_now();
            const bool lever_here = std::any_of(crossed.begin(), crossed.end(),
                                                [&](const Invariant& c) { return c.T == inv->T; });
            const State lever_before = lever_at(inv->T, true);
            const State lever_after = lever_here ? lever_at(inv->T, false) : lever_before;
            // Below the invariant the pairs are (0, 2) when its middle phase is stable
            // above, (0, 1) and (1, 2) when below. A liquid that is the vanishing middle
            // reacts whole; any other goes on with its partner below, without reaction.
            const bool middle_above = middle_stable_above(inv->kind);
            if (middle_above && liquid_index == 1) {
                const int other =
                    inv->phase[0] == Phase::liquid ? 0 : (inv->phase[2] == Phase::liquid ? 2 : -1);
                if (other >= 0) {
                    // A monotectic: the liquid splits into a solid and a second liquid, which goes on.
                    const int solid = 2 - other;
                    const double xs = inv->at[solid].x;
                    const double x2 = inv->at[other].x;
                    const double formed = (1.0 - before.f) * (liquid.x - x2) / (xs - x2);
                    now.ln_remaining = std::log(1.0 - before.f - formed);
                    now.liquid = inv->at[other];
                    now.solid = inv->at[solid];
                    trace.push_back(now);
                    path.towards_b = xs > x2;
                    out.scheil_crossed.push_back(inv->kind);
                    pair_at(inv->T, lever_before, lever_after, before, scheil_now());
                    n -= inv->T > T ? 1 : 0;  // a node below the event: again, from the second liquid
                    continue;
                }
            } else {
                const int partner_index = middle_above ? 2 - liquid_index : 1;
                if (partner_index == liquid_index || inv->phase[partner_index] != Phase::solid)
                    return fail(inv->T, "the Scheil liquid meets an invariant it cannot pass");
                // A peritectic, syntectic or metatectic: nothing reacts without diffusion
                // in the solid; the liquid goes on along the liquidus of its new partner.
                now.solid = inv->at[partner_index];
                trace.push_back(now);  // the profile steps to the new solid here
                out.scheil_crossed.push_back(inv->kind);
                pair_at(inv->T, lever_before, lever_after, before, scheil_now());
                n -= inv->T > T ? 1 : 0;
                continue;
            }
            out.scheil_end = PathEnd::invariant;
            out.scheil_kind = inv->kind;
            out.scheil_end_T = inv->T;
            out.scheil_remaining = 1.0 - before.f;
            out.scheil_last_solid = liquid.x;
            pair_at(inv->T, lever_before, lever_after, before, {1.0, liquid.x, EMPTY});
            break;
        }
        if (!d.melting.empty() && std::min(now.liquid.x, now.liquid.y) < 0.05) {
            // The liquid runs out of one component: follow it until 1e-10 of it is left.
            while (std::exp(now.ln_remaining) > 1e-10 && path.small(now.liquid) > 1e-280 && !path.failed)
                now = path.advance(now, path.at_small(std::log(path.small(now.liquid)) - 2.0), 1);
            out.scheil_end = PathEnd::pure_component;
            out.scheil_end_T = d.melting.back().T;
            out.scheil_remaining = std::exp(now.ln_remaining);
            out.scheil_last_solid = path.towards_b ? 0.0 : 1.0;
            rows_out.push_back(
                {out.scheil_end_T, lever_at(out.scheil_end_T, false), {1.0, out.scheil_last_solid, EMPTY}});
            break;
        }
        if (inv != nullptr && inv->kind == InvariantKind::congruent) {
            // Within 1e-6 of the congruent composition the rest freezes there: closer, the
            // liquid and solid differ by less than their potentials can tell apart.
            while (std::exp(now.ln_remaining) > 1e-10 && !path.failed &&
                   std::fabs(now.liquid.x - inv->at[0].x) > 1e-6)
                now = path.advance(now,
                                   composition_from_x(now.liquid.x + 0.5 * (inv->at[0].x - now.liquid.x)), 1);
            out.scheil_end = PathEnd::congruent;
            out.scheil_end_T = inv->T;
            out.scheil_remaining = std::exp(now.ln_remaining);
            out.scheil_last_solid = inv->at[0].x;
            rows_out.push_back({inv->T, lever_at(inv->T, false), {1.0, inv->at[0].x, EMPTY}});
            break;
        }
        return fail(T, "the Scheil path ends in an event not resolved");
    }
    if (path.failed)
        return fail(now.T, "the liquidus equations were not solved along the Scheil path");
    if (out.scheil_end == PathEnd::unresolved)
        return fail(now.T, "the Scheil path does not end above the lowest temperature");

    for (const Node& r : rows_out)
        out.rows.push_back({r.T, r.lever.f, r.lever.xs, r.lever.xl, r.scheil.f, r.scheil.xs, r.scheil.xl});

    // The segregation profile: the solid forming at each fraction solidified, then
    // the remainder that freezes at the end with the last liquid's composition.
    double last_g = -1.0;
    for (const PathPoint& p : trace) {
        double g = 1.0 - std::exp(p.ln_remaining);
        if (g >= 1.0)  // the last of the liquid: the end's own point below
            break;
        // A new solid at the same fraction (a peritectic's, a monotectic's): a step,
        // one representable fraction on.
        if (g <= last_g && !out.x_solid.empty() && p.solid.x != out.x_solid.back())
            g = std::nextafter(last_g, 2.0);
        if (g >= 1.0)
            break;
        if (g > last_g) {
            out.g.push_back(g);
            out.x_solid.push_back(p.solid.x);
            last_g = g;
        }
    }
    // The last liquid freezes with its own composition: a step to it, then g = 1.
    const double step_at = out.g.empty() ? 0.0 : std::nextafter(out.g.back(), 2.0);
    if (step_at < 1.0) {
        out.g.push_back(step_at);
        out.x_solid.push_back(out.scheil_last_solid);
    }
    out.g.push_back(1.0);
    out.x_solid.push_back(out.scheil_last_solid);
    return out;
}

double scheil_log_remaining(double x_from, double x_to, const std::function<double(double)>& solid)
{
    std::vector<PathPoint> trace;
    const double s0 = solid(x_from);
    Scheil path{[&](const Composition& liquid, Composition& c, double&) {
                    c = composition_from_x(solid(liquid.x));
                    return true;
                },
                s0 > x_from, trace};
    const PathPoint start{0.0, composition_from_x(x_from), composition_from_x(s0), 0.0};
    return path.advance(start, composition_from_x(x_to), 4).ln_remaining;
}
