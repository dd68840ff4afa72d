// The phase contract of model.h, dispatched on the kind of phase: the one place
// that tells a solution, a compound and a phase of sublattices apart.
#include "engine/phases/kinds.h"

#include <cmath>

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The phase as a phase of any sublattices, where it is one or has that form
// beside a faster one (a pair of sublattices); none for the others.
const LatticeKind* general_form(const PhaseModel& m)
{
    const LatticeKind* general = std::get_if<LatticeKind>(&m.kind);
    if (general == nullptr && m.sublattices)
        general = &*m.sublattices;
    return general;
}

}  // namespace

bool is_point(const PhaseModel& m)
{
    return std::holds_alternative<CompoundKind>(m.kind);
}

bool has_internal_state(const PhaseModel& m)
{
    return std::holds_alternative<SublatticePairKind>(m.kind) || std::holds_alternative<LatticeKind>(m.kind);
}

bool has_mixing_terms(const PhaseModel& m)
{
    return std::visit(Overloaded{[](const SolutionKind& k) { return !k.excess.empty() || k.magnetic; },
                                 [](const CompoundKind&) { return false; },
                                 [](const SublatticePairKind& k) { return k.magnetic; },
                                 [](const LatticeKind& k) { return k.model.magnetic; }},
                      m.kind);
}

std::vector<double> ordered_compositions(const PhaseModel& m)
{
    return std::visit(
        Overloaded{[](const SublatticePairKind& k) { return kinds::pair_ordered_compositions(k); },
                   [](const LatticeKind& k) { return kinds::lattice_ordered_compositions(k); },
                   [](const auto&) { return std::vector<double>{}; }},
        m.kind);
}

std::vector<std::vector<double>> site_fractions(const System& s, Phase p, const Composition& c, double T)
{
    const PhaseModel& m = phase_model(s, p);
    const LatticeKind* general = general_form(m);
    if (general != nullptr)
        return kinds::lattice_site_fractions(s, *general, c.x, T);
    return {{c.x, c.y}};
}

Jet gibbs_in_T(const System& s, Phase p, const Composition& c, double T)
{
    const PhaseModel& m = phase_model(s, p);
    const LatticeKind* general = general_form(m);
    if (general != nullptr)
        return kinds::lattice_gibbs_in_T(s, *general, c.x, T);
    return std::visit(
        Overloaded{[&](const SolutionKind& k) { return kinds::solution_gibbs_in_T(s, k, c, T); },
                   [&](const CompoundKind& k) { return kinds::compound_gibbs_in_T(s, k, T); },
                   [](const auto&) {
                       return Jet{std::nan(""), std::nan(""), std::nan(""), 0.0};
                   }},
        m.kind);
}

StateInT state_in_T(const System& s, Phase p, const Composition& c, double T)
{
    const PhaseModel& m = phase_model(s, p);
    const LatticeKind* general = general_form(m);
    if (general != nullptr)
        return kinds::lattice_state_in_T(s, *general, c.x, T);
    return {site_fractions(s, p, c, T), gibbs_in_T(s, p, c, T)};
}

std::array<double, 2> range_ends(const PhaseModel& m)
{
    return std::visit(Overloaded{[](const SublatticePairKind& k) { return kinds::pair_range_ends(k); },
                                 [](const LatticeKind& k) {
                                     return std::array<double, 2>{k.model.x_min, k.model.x_max};
                                 },
                                 [](const CompoundKind& k) {
                                     return std::array<double, 2>{k.x, k.x};
                                 },
                                 [](const SolutionKind&) {
                                     return std::array<double, 2>{0.0, 1.0};
                                 }},
                      m.kind);
}

Composition point_composition(const PhaseModel& m)
{
    return composition_from_x(std::get<CompoundKind>(m.kind).x);
}

bool is_point(const PhaseAtT& at)
{
    return std::holds_alternative<CompoundAtT>(at.kind);
}

bool has_internal_state(const PhaseAtT& at)
{
    return std::holds_alternative<SublatticePairAtT>(at.kind) || std::holds_alternative<LatticeAtT>(at.kind);
}

bool has_branches(const PhaseAtT& at)
{
    return std::holds_alternative<LatticeAtT>(at.kind);
}

PhaseAtT phase_at(const System& s, Phase p, double T, bool slopes)
{
    const PhaseModel& m = phase_model(s, p);
    PhaseAtT at;
    at.model = &m;
    at.system = &s;
    at.phase = p;
    at.T = T;
    at.R = s.gas_constant;
    at.RT = s.gas_constant * T;
    at.slopes = slopes;
    std::visit(Overloaded{[&](const SolutionKind& k) { kinds::solution_at(s, k, at); },
                          [&](const CompoundKind& k) { kinds::compound_at(s, k, at); },
                          [&](const SublatticePairKind& k) { kinds::pair_at(s, k, at); },
                          [&](const LatticeKind& k) { kinds::lattice_at(s, k, at); }},
               m.kind);
    return at;
}

Excess excess_of(const PhaseAtT& at, double x, int derivatives)
{
    return std::visit(
        Overloaded{[&](const SolutionAtT& v) { return kinds::solution_excess(at, v, x, derivatives); },
                   [&](const SublatticePairAtT& v) { return kinds::pair_excess(at, v, x, derivatives); },
                   [&](const LatticeAtT& v) { return kinds::lattice_excess(at, v, x, derivatives); },
                   [](const CompoundAtT&) {
                       return Excess{HUGE_VAL, 0.0, 0.0, 0.0};
                   }},
        at.kind);
}

Potentials potentials(const PhaseAtT& at, const Composition& c)
{
    double ln_x = 0.0;
    double ln_y = 0.0;
    composition_logs(c, ln_x, ln_y);
    return potentials(at, c, ln_x, ln_y);
}

Potentials potentials(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y)
{
    const double x = c.x;
    const double y = c.y;
    const kinds::Rests r =
        std::visit(Overloaded{[&](const SolutionAtT& v) { return kinds::solution_rests(at, v, c); },
                              [&](const SublatticePairAtT& v) { return kinds::pair_rests(at, v, c); },
                              [&](const LatticeAtT& v) { return kinds::lattice_rests(at, v, c); },
                              [](const CompoundAtT&) {
                                  return kinds::Rests{HUGE_VAL, HUGE_VAL, 0.0, 0.0, 0.0};
                              }},
                   at.kind);
    Potentials out{};
    out.rest_a = r.a;
    out.rest_b = r.b;
    out.mu_a_dT = r.a_dT;
    out.mu_b_dT = r.b_dT;
    out.RT = at.RT;
    out.mu_a = at.RT * ln_x + out.rest_a;
    out.mu_b = at.RT * ln_y + out.rest_b;
    out.mu_a_dT += at.R * ln_x;
    out.mu_b_dT += at.R * ln_y;
    out.curvature = at.RT + x * y * r.e2;
    if (x <= y) {  // u = ln x: dx/du = x
        out.dmu_a = out.curvature;
        out.dmu_b = -(x / y) * out.curvature;
    } else {  // u = ln y: dx/du = -y
        out.dmu_a = -(y / x) * out.curvature;
        out.dmu_b = out.curvature;
    }
    return out;
}

Potentials potentials(const System& s, Phase p, const Composition& c, double T)
{
    return potentials(phase_at(s, p, T), c);
}

double above_line(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, double mu_a,
                  double mu_b)
{
    return std::visit(
        Overloaded{[&](const SolutionAtT& v) {
                       return kinds::solution_above_line(at, v, c, ln_x, ln_y, mu_a, mu_b);
                   },
                   [&](const CompoundAtT&) { return kinds::compound_above_line(at, c, mu_a, mu_b); },
                   [&](const SublatticePairAtT& v) { return kinds::pair_above_line(at, v, c, mu_a, mu_b); },
                   [&](const LatticeAtT& v) { return kinds::lattice_above_line(at, v, c, mu_a, mu_b); }},
        at.kind);
}

InternalMemory no_memory()
{
    InternalMemory m;
    std::fill(std::begin(m.shares.q), std::end(m.shares.q), -1.0);
    std::fill(std::begin(m.shares.u), std::end(m.shares.u), NAN);
    std::fill(std::begin(m.shares.T), std::end(m.shares.T), NAN);
    std::fill(std::begin(m.shares.near_lo), std::end(m.shares.near_lo), false);
    m.y.fill(0.0);
    return m;
}

void pass_stateless(InternalMemory& memory)
{
    if (!memory.has_y && memory.followed > 0)
        ++memory.followed;
}

void expect_grid_points(const PhaseAtT& at, std::size_t n)
{
    if (const LatticeAtT* v = std::get_if<LatticeAtT>(&at.kind))
        v->along_grid.reserve(v->along_grid.size() + n);
}

void internal_grid_parts(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, bool known,
                         InternalMemory& memory, InternalMemory& neighbour, double& rest_a, double& rest_b)
{
    std::visit(Overloaded{[&](const SublatticePairAtT& v) {
                              kinds::pair_grid_parts(at, v, c, ln_x, ln_y, known, memory, neighbour.q, rest_a,
                                                     rest_b);
                          },
                          [&](const LatticeAtT& v) {
                              kinds::lattice_grid_parts(at, v, c, ln_x, ln_y, known, memory, neighbour,
                                                        rest_a, rest_b);
                          },
                          [&](const auto&) { rest_a = rest_b = HUGE_VAL; }},
               at.kind);
}

bool internal_grid_spread(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y,
                          InternalMemory& memory, const InternalMemory& beside, double& rest_a,
                          double& rest_b)
{
    const auto* v = std::get_if<LatticeAtT>(&at.kind);
    return v != nullptr && kinds::lattice_grid_spread(at, *v, c, ln_x, ln_y, memory, beside, rest_a, rest_b);
}

void stagger_search(const PhaseAtT& at, InternalMemory& memory, std::size_t point)
{
    if (std::holds_alternative<LatticeAtT>(at.kind))
        kinds::lattice_stagger_search(memory, point);
}

bool rests_following(const PhaseAtT& at, const Composition& c, InternalMemory& state, bool search,
                     double& rest_a, double& rest_b)
{
    if (const auto* v = std::get_if<LatticeAtT>(&at.kind))
        return kinds::lattice_rests_following(at, *v, c, state, search, rest_a, rest_b);
    const Potentials m = potentials(at, c);
    rest_a = m.rest_a;
    rest_b = m.rest_b;
    return true;
}

bool rests_carried(const PhaseAtT& at, const Composition& c, InternalMemory& state, double& rest_a,
                   double& rest_b)
{
    if (const auto* v = std::get_if<LatticeAtT>(&at.kind))
        return kinds::lattice_rests_carried(at, *v, c, state, rest_a, rest_b);
    return rests_following(at, c, state, false, rest_a, rest_b);
}

double gibbs_following(const PhaseAtT& at, const Composition& c, InternalMemory& state, bool search)
{
    double rest_a = HUGE_VAL;
    double rest_b = HUGE_VAL;
    if (!rests_following(at, c, state, search, rest_a, rest_b))
        return HUGE_VAL;
    // x mu_a + y mu_b, as gibbs() sums them: x ln x vanishes at x = 0.
    double ln_x = 0.0;
    double ln_y = 0.0;
    composition_logs(c, ln_x, ln_y);
    const double a = c.x > 0.0 ? c.x * (rest_a + at.RT * ln_x) : 0.0;
    const double b = c.y > 0.0 ? c.y * (rest_b + at.RT * ln_y) : 0.0;
    return a + b;
}

bool skips_tails(const PhaseAtT& at)
{
    if (const auto* pair = std::get_if<SublatticePairAtT>(&at.kind))
        return !pair->lattice.one_mixing;
    return std::holds_alternative<LatticeAtT>(at.kind);
}

void composition_logs(const Composition& c, double& ln_x, double& ln_y)
{
    if (c.x <= c.y) {
        ln_x = std::log(c.x);
        ln_y = std::log1p(-c.x);
    } else {
        ln_x = std::log1p(-c.y);
        ln_y = std::log(c.y);
    }
}

namespace kinds {

double pure_energy(const System& s, Phase p, bool of_a, double T, double& size)
{
    const PhaseModel& m = phase_model(s, p);
    return std::visit(Overloaded{[&](const SolutionKind& k) { return solution_pure(s, k, of_a, T, size); },
                                 [&](const CompoundKind&) {
                                     size = 0.0;  // no pure component
                                     return HUGE_VAL;
                                 },
                                 [&](const SublatticePairKind& k) { return pair_pure(s, k, of_a, T, size); },
                                 [&](const LatticeKind& k) { return lattice_pure(s, k, of_a, T, size); }},
                      m.kind);
}

}  // namespace kinds

bool ordered_and_disordered(const System& s, Phase p, Phase q)
{
    const auto part_of = [&](Phase ordered, Phase disordered) {
        const auto* k = std::get_if<LatticeKind>(&phase_model(s, ordered).kind);
        return k != nullptr && k->model.ordered_only && k->disordered == phase_name(s, disordered);
    };
    return part_of(p, q) || part_of(q, p);
}

Phase phase_family(const System& s, Phase p)
{
    const auto* k = std::get_if<LatticeKind>(&phase_model(s, p).kind);
    if (k == nullptr || !k->model.ordered_only)
        return p;
    for (std::size_t i = 0; i < s.phases.size(); ++i)
        if (s.phases[i].name == k->disordered)
            return phase_number(i);
    return p;
}

double ordering(const PhaseAtT& at, const Composition& c)
{
    const auto* v = std::get_if<LatticeAtT>(&at.kind);
    return v == nullptr ? 0.0 : kinds::lattice_ordering(*v, c);
}

int ordering_pattern(const PhaseAtT& at, const Composition& c)
{
    const auto* v = std::get_if<LatticeAtT>(&at.kind);
    return v == nullptr ? 0 : kinds::lattice_pattern_at(*v, c);
}

int ordering_pattern(const PhaseAtT& at, const InternalMemory& state)
{
    const auto* v = std::get_if<LatticeAtT>(&at.kind);
    return v == nullptr || !state.has_y ? 0 : lattice_pattern(*v, state.y);
}

std::vector<double> downward_corners(const PhaseAtT& at)
{
    std::vector<double> out;
    if (const auto* v = std::get_if<SolutionAtT>(&at.kind))
        kinds::solution_corners(at, *v, out);
    return out;
}
