#include "engine/freezing/solidify.h"

#include "engine/freezing/solidify_steps.h"

using namespace freezing;

namespace {

Solidification unresolved(double x0)
{
    Solidification out{};
    out.x0 = x0;
    out.partition = EMPTY;
    out.minor_is_a = x0 < 0.5;
    out.scheil_end = PathEnd::unresolved;
    out.scheil_remaining = EMPTY;
    out.scheil_last_solid = EMPTY;
    out.eutectic_lever = EMPTY;
    out.eutectic_scheil = EMPTY;
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
    if (out.scheil_end == PathEnd::invariant && out.scheil_kind == InvariantKind::eutectic)
        out.eutectic_scheil = out.scheil_remaining;
    return out;
}
