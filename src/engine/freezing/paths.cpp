// The two paths an alloy freezes along below its liquidus: the invariants the
// lever path crosses, and the Scheil path, followed once on temperatures of its own.
#include "engine/freezing/solidify_steps.h"

#include <algorithm>
#include <cmath>

namespace freezing {

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

}  // namespace freezing
