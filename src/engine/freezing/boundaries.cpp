// The liquidus and the solidus of an alloy: found in steps from above,
// bisected, and solved on their own equations, or met at an invariant.
#include "engine/freezing/solidify_steps.h"

#include <algorithm>
#include <cmath>

namespace freezing {

namespace {

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

}  // namespace

// The solid of an invariant at composition x.
Phase solid_at(const Invariant& inv, double x)
{
    for (int i = 0; i < inv.phases; ++i)
        if (inv.phase[i] != Phase::liquid && inv.at[i].x == x)
            return inv.phase[i];
    return Phase::solid;
}

// The invariant of d with a phase nearest to composition x, leaving out those in done.
const Invariant* nearest(const Diagram& d, double x, const std::vector<Invariant>& done)
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
    if (b.at_invariant && b.invariant.kind == InvariantKind::eutectic)
        out.eutectic_lever = 1.0 - lever_at_invariant(b.invariant, out.x0, true).f;
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

Solidification fail(Solidification& out, double T, const std::string& why)
{
    out.doubts.push_back(doubt_at(T, why));
    return out;
}

}  // namespace freezing
