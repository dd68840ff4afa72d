#include "engine/database/database_system.h"

#include "engine/database/compound_energy.h"
#include "engine/database/lattice_builder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

// The energy of an end member a phase cannot hold (its other element, in a
// phase of one element): so high that no double holds its solubility, which
// the tie-lines then write as the pure component, at any T up to 1e5 K.
constexpr double ABSENT = 1e9;  // J/mol

constexpr double LOWEST_SCAN = 10.0;

constexpr int COMPOUND = -3;     // every sublattice holds one constituent, both elements among them
constexpr int SUBLATTICES = -4;  // two sublattices hold both elements, others one element or vacancies
constexpr int ONE_MIXING = -5;   // one sublattice holds both elements, others one element each or vacancies

using Builder = CoefficientBuilder;

// The sublattice holding both elements, -1 where none does (a phase of one
// element); COMPOUND, SUBLATTICES or ONE_MIXING for those kinds, any of them
// beside sublattices of one element or vacancies; -2 where the phase is beyond
// the model (why says how).
int mixing_sublattice(const BinaryPhase& p, std::string& why)
{
    std::vector<int> mixing;
    int element = -1;
    bool both_alone = false;  // each element alone on a sublattice of its own
    for (std::size_t s = 0; s < p.constituents.size(); ++s) {
        const std::vector<int>& c = p.constituents[s];
        if (c.size() == 1) {
            if (c[0] != VACANCY) {
                both_alone = both_alone || (element >= 0 && element != c[0]);
                element = c[0];
            }
            continue;
        }
        if (std::find(c.begin(), c.end(), VACANCY) != c.end()) {
            why = "vacancies mixed with an element on one sublattice";
            return -2;
        }
        mixing.push_back(static_cast<int>(s));
    }
    if (mixing.size() > 2) {
        why = "more than two sublattices holding both elements (not modelled yet)";
        return -2;
    }
    if (mixing.size() == 2)
        return SUBLATTICES;
    if (mixing.size() == 1)
        return element >= 0 ? ONE_MIXING : mixing[0];
    return both_alone ? COMPOUND : -1;
}

// Whether a term names vacancies (or any) on every sublattice but the mixing one.
bool on_vacancies(const BinaryPhase::Term& t, int mixing)
{
    for (std::size_t s = 0; s < t.on.size(); ++s) {
        if (static_cast<int>(s) == mixing)
            continue;
        if (!(t.on[s].size() == 1 && (t.on[s][0] == VACANCY || t.on[s][0] == ANY)))
            return false;
    }
    return true;
}

// A solution of the two elements on sublattice m (or a phase of one element,
// m = -1, that element's sublattice the one it sits on).
bool solution_model(const BinaryPhase& p, int m, Builder& b, PhaseModel& out, std::string& why)
{
    out = PhaseModel{p.name, p.liquid, SolutionKind{}};
    SolutionKind& k = std::get<SolutionKind>(out.kind);
    int site = m;
    if (m < 0)
        for (std::size_t s = 0; s < p.constituents.size(); ++s)
            if (p.constituents[s][0] != VACANCY)
                site = static_cast<int>(s);
    if (site < 0) {
        why = "no element on any sublattice";
        return false;
    }
    const double atoms = p.sites[static_cast<std::size_t>(site)];
    const std::vector<int>& held = p.constituents[static_cast<std::size_t>(site)];
    const bool has_a = std::find(held.begin(), held.end(), 0) != held.end();
    const bool has_b = std::find(held.begin(), held.end(), 1) != held.end();
    if (!has_a)
        k.pure_a.a = ABSENT;
    if (!has_b)
        k.pure_b.a = ABSENT;
    k.magnetic = p.magnetic;
    k.magnetism.antiferromagnetic_factor = p.antiferromagnetic_factor;
    k.magnetism.structure_factor = p.structure_factor;
    k.magnetism.atoms = atoms;
    for (const BinaryPhase::Term& t : p.terms) {
        if (!on_vacancies(t, site))
            continue;  // a term of a constituent the phase does not hold here
        const std::vector<int>& on = t.on[static_cast<std::size_t>(site)];
        if (on.size() == 1 && on[0] == ANY) {
            why = "a parameter with \"*\" on the sublattice of the two elements";
            return false;
        }
        const bool energy = t.property == Property::gibbs;
        const double per_atoms = energy ? 1.0 / atoms : 1.0;
        Coefficient* c = nullptr;
        double scale = per_atoms;
        if (on.size() == 1) {
            if (t.order != 0)
                continue;  // an end member has no order but 0
            MagneticModel& g = k.magnetism;
            c = energy                                      ? (on[0] == 0 ? &k.pure_a : &k.pure_b)
                : t.property == Property::curie_temperature ? (on[0] == 0 ? &g.tc_a : &g.tc_b)
                                                            : (on[0] == 0 ? &g.beta_a : &g.beta_b);
        } else {
            const auto order = static_cast<std::size_t>(t.order);
            if (order >= MOST_EXCESS_TERMS) {
                why = "an interaction of order above 15";
                return false;
            }
            std::vector<Coefficient>& series = energy ? k.excess
                                               : t.property == Property::curie_temperature
                                                   ? k.magnetism.tc_excess
                                                   : k.magnetism.beta_excess;
            if (series.size() <= order)
                series.resize(order + 1);
            c = &series[order];
            if (on[0] == 1 && t.order % 2 == 1)  // (y_B - y_A)^k with k odd
                scale = -scale;
        }
        b.add(*c, t.value, scale);
    }
    return true;
}

// A compound of fixed composition: its one end member per mole of atoms, and
// where it has them its TC and beta (cementite).
bool compound_model(const BinaryPhase& p, Builder& b, PhaseModel& out, std::string& why)
{
    (void)why;
    out = PhaseModel{p.name, p.liquid, CompoundKind{}};
    CompoundKind& k = std::get<CompoundKind>(out.kind);
    double atoms = 0.0;
    double of_a = 0.0;
    for (std::size_t s = 0; s < p.constituents.size(); ++s) {
        const int c = p.constituents[s][0];
        atoms += c == VACANCY ? 0.0 : p.sites[s];
        of_a += c == 0 ? p.sites[s] : 0.0;
    }
    k.x = of_a / atoms;
    k.magnetism.antiferromagnetic_factor = p.antiferromagnetic_factor;
    k.magnetism.structure_factor = p.structure_factor;
    k.magnetism.atoms = atoms;
    for (const BinaryPhase::Term& t : p.terms) {
        if (t.order != 0)
            continue;
        if (t.property == Property::gibbs)
            b.add(k.energy, t.value, 1.0 / atoms);
        else
            b.add(t.property == Property::curie_temperature ? k.magnetism.tc_a : k.magnetism.beta_a, t.value,
                  1.0);
    }
    const auto given = [](const Coefficient& c) { return !c.parameters.empty(); };
    k.magnetic = p.magnetic && given(k.magnetism.tc_a) && given(k.magnetism.beta_a);
    return true;
}

// The sublattices holding both elements; the others' sites of A and of B
// added to the kind's fixed sites.
std::vector<std::size_t> mixing_and_fixed(const BinaryPhase& p, SublatticePairKind& k)
{
    std::vector<std::size_t> mixing;
    for (std::size_t s = 0; s < p.constituents.size(); ++s) {
        const int c = p.constituents[s][0];
        if (p.constituents[s].size() == 2)
            mixing.push_back(s);
        else if (c != VACANCY)
            k.fixed_sites[static_cast<std::size_t>(c)] += p.sites[s];
    }
    return mixing;
}

// Where a parameter of a phase of sublattices goes: the energy's, TC's or
// beta's coefficients, with the terms a series may hold there.
LatticeCoefficients* lattice_target(const BinaryPhase::Term& t, SublatticePairKind& k, std::size_t& most)
{
    most = t.property == Property::gibbs ? MOST_EXCESS_TERMS : MOST_MAGNETIC_TERMS;
    switch (t.property) {
    case Property::gibbs:
        return &k.lattice;
    case Property::curie_temperature:
        return &k.lattice_magnetism[0];
    case Property::bohr_magneton_number:
        return &k.lattice_magnetism[1];
    case Property::unmodelled:
        break;
    }
    return nullptr;
}

// A phase of sublattices: name, kind and magnetic factors.
SublatticePairKind& pair_phase(const BinaryPhase& p, bool one_mixing, PhaseModel& out)
{
    out = PhaseModel{p.name, p.liquid, SublatticePairKind{}};
    SublatticePairKind& k = std::get<SublatticePairKind>(out.kind);
    k.one_mixing = one_mixing;
    k.magnetic = p.magnetic;
    k.magnetism.antiferromagnetic_factor = p.antiferromagnetic_factor;
    k.magnetism.structure_factor = p.structure_factor;
    return k;
}

// Term k of a series, its sign from the order the parameter names the two:
// (y_B - y_A)^k. False past the terms the series may hold.
bool add_to_series(Builder& b, std::vector<Coefficient>& series, const BinaryPhase::Term& t,
                   const std::vector<int>& named, std::size_t most, std::string& why)
{
    const auto k = static_cast<std::size_t>(t.order);
    if (k >= most) {
        why = "an interaction of order above " + std::to_string(most - 1);
        return false;
    }
    if (series.size() <= k)
        series.resize(k + 1);
    b.add(series[k], t.value, named[0] == 1 && t.order % 2 == 1 ? -1.0 : 1.0);
    return true;
}

// One sublattice of both elements beside sublattices of one element each (and
// of vacancies), per formula unit.
bool one_mixing_model(const BinaryPhase& p, Builder& b, PhaseModel& out, std::string& why)
{
    SublatticePairKind& k = pair_phase(p, true, out);
    const std::size_t m = mixing_and_fixed(p, k)[0];
    k.sites[0] = p.sites[m];
    for (const BinaryPhase::Term& t : p.terms) {
        std::size_t most = 0;
        LatticeCoefficients* c = lattice_target(t, k, most);
        const std::vector<int>& on = t.on[m];
        if (c == nullptr || (on.size() == 1 && on[0] == ANY)) {
            why = c == nullptr ? "a parameter of a property the model does not take"
                               : "a parameter with \"*\" on the sublattice of the two elements";
            return false;
        }
        if (on.size() == 1) {
            if (t.order == 0)
                b.add(c->end[static_cast<std::size_t>(on[0])][0], t.value, 1.0);
        } else if (!add_to_series(b, c->interactions[0][0], t, on, most, why)) {
            return false;
        }
    }
    return true;
}

// A phase of two sublattices that both hold both elements, beside any of one
// element or vacancies, per formula unit.
bool sublattice_model(const BinaryPhase& p, Builder& b, PhaseModel& out, std::string& why)
{
    SublatticePairKind& k = pair_phase(p, false, out);
    const std::vector<std::size_t> both = mixing_and_fixed(p, k);
    const std::size_t s1 = both[0];
    const std::size_t s2 = both[1];
    k.sites[0] = p.sites[s1];
    k.sites[1] = p.sites[s2];
    for (const BinaryPhase::Term& t : p.terms) {
        std::size_t most = 0;
        LatticeCoefficients* c = lattice_target(t, k, most);
        if (c == nullptr) {
            why = "a parameter of a property the model does not take";
            return false;
        }
        const std::vector<int>& on1 = t.on[s1];
        const std::vector<int>& on2 = t.on[s2];
        const bool any1 = on1.size() == 1 && on1[0] == ANY;
        const bool any2 = on2.size() == 1 && on2[0] == ANY;
        bool added = true;
        const auto add_series = [&](int lattice, int other, const std::vector<int>& named) {
            added = added && add_to_series(b, c->interactions[lattice][other], t, named, most, why);
        };
        if (on1.size() == 1 && on2.size() == 1 && !any1 && !any2) {
            if (t.order == 0)
                b.add(c->end[on1[0]][on2[0]], t.value, 1.0);
        } else if (on1.size() == 2 && on2.size() == 1) {
            for (int j = 0; j < 2; ++j)
                if (any2 || on2[0] == j)
                    add_series(0, j, on1);
        } else if (on1.size() == 1 && on2.size() == 2 && !any1 && t.order >= 0) {
            add_series(1, on1[0], on2);
        } else if (on1.size() == 1 && on2.size() == 2 && any1) {
            for (int i = 0; i < 2; ++i)
                add_series(1, i, on2);
        } else if (on1.size() == 2 && on2.size() == 2 && t.order == 0) {
            b.add(c->reciprocal, t.value, 1.0);
        } else {
            why = "a parameter of two sublattices the model does not take";
            return false;
        }
        if (!added)
            return false;
    }
    return true;
}

// Whether a magnetic phase has both a TC and a beta in this binary: without
// either it has no magnetic term, and none is evaluated at every temperature.
void hold_magnetism(PhaseModel& m)
{
    const auto given = [](const Coefficient& c) { return c.a != 0.0 || c.b != 0.0 || !c.parameters.empty(); };
    const auto any_of = [&](const std::vector<Coefficient>& series) {
        return std::any_of(series.begin(), series.end(), given);
    };
    const auto lattice = [&](const LatticeCoefficients& c) {
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                if (given(c.end[i][j]) || any_of(c.interactions[i][j]))
                    return true;
        return given(c.reciprocal);
    };
    if (auto* pair = std::get_if<SublatticePairKind>(&m.kind)) {
        pair->magnetic =
            pair->magnetic && lattice(pair->lattice_magnetism[0]) && lattice(pair->lattice_magnetism[1]);
    } else if (auto* solution = std::get_if<SolutionKind>(&m.kind)) {
        const MagneticModel& g = solution->magnetism;
        solution->magnetic = solution->magnetic && (given(g.tc_a) || given(g.tc_b) || any_of(g.tc_excess)) &&
                             (given(g.beta_a) || given(g.beta_b) || any_of(g.beta_excess));
    }
}

}  // namespace

namespace {

// Why a phase the file declares is left out of every binary, before its
// parameters are looked at: an ionic or aqueous model; empty where neither.
std::string beyond_the_model(const DatabasePhase& phase)
{
    if (phase.kind == 'Y')
        return "an ionic liquid (the two-sublattice ionic model is not modelled)";
    if (phase.kind == 'A')
        return "an aqueous solution (not modelled)";
    return "";
}

// The functions that the parameters of the kept phases call, directly or
// through others: where a fault of a function weighs on the result.
std::vector<bool> functions_called(const System& s)
{
    std::vector<bool> called(s.functions.bodies.size(), false);
    std::vector<std::size_t> to_visit;
    const auto visit = [&](const Piecewise& p) {
        for (const Expression& e : p.pieces)
            for (const Expression::Step& step : e.steps)
                if (step.op == Expression::Op::call && !called[static_cast<std::size_t>(step.function)]) {
                    called[static_cast<std::size_t>(step.function)] = true;
                    to_visit.push_back(static_cast<std::size_t>(step.function));
                }
    };
    for (const Piecewise& p : s.parameters)
        visit(p);
    while (!to_visit.empty()) {
        const std::size_t f = to_visit.back();
        to_visit.pop_back();
        visit(s.functions.bodies[f]);
    }
    return called;
}

// The file's faults, each marked where it touches a kept phase or a function
// a kept phase calls.
void weigh_faults(const Database& db, DatabaseBinary& out)
{
    const std::vector<bool> called = functions_called(out.system);
    for (const DatabaseFault& f : db.faults) {
        const bool kept_phase =
            !f.phase.empty() && std::any_of(out.system.phases.begin(), out.system.phases.end(),
                                            [&](const PhaseModel& m) { return m.name == f.phase; });
        const bool kept_function = f.function >= 0 && called[static_cast<std::size_t>(f.function)];
        out.warnings.push_back({f.text, kept_phase || kept_function});
    }
}

}  // namespace

namespace {

// Where one phase of the database stands in the binary of a and b.
enum class Place { absent, kept, rejected, part, left_out };

// The general form of a phase that a faster kind computes, for its site
// fractions on request; none where the general phase does not take it.
void keep_sublattices(const Database& db, const DatabasePhase& phase, const std::string& a,
                      const std::string& b, Builder& builder, PhaseModel& model)
{
    const std::size_t kept = builder.s.parameters.size();
    PhaseModel general;
    std::string unused;
    if (lattice_phase(db, phase, a, b, builder, general, unused))
        model.sublattices = std::get<LatticeKind>(std::move(general.kind));
    else
        builder.give_back(kept);
}

// The phase by the fastest model that takes it: a solution, a compound, a pair
// of sublattices, else the general phase of sublattices.
bool model_of_phase(const Database& db, const DatabasePhase& phase, const std::string& a,
                    const std::string& b, Builder& builder, PhaseModel& model, BinaryPhase& bp,
                    std::string& why)
{
    const bool general = !phase.disordered_part.empty() || holds_molecules(db, phase, a, b) ||
                         !binary_phase(db, phase, a, b, bp, why);
    if (!general) {
        const std::size_t kept = builder.s.parameters.size();
        const int m = mixing_sublattice(bp, why);
        const bool modelled = m == COMPOUND      ? compound_model(bp, builder, model, why)
                              : m == SUBLATTICES ? sublattice_model(bp, builder, model, why)
                              : m == ONE_MIXING  ? one_mixing_model(bp, builder, model, why)
                                                 : m != -2 && solution_model(bp, m, builder, model, why);
        if (modelled) {
            keep_sublattices(db, phase, a, b, builder, model);
            return true;
        }
        builder.give_back(kept);
    }
    const std::size_t kept = builder.s.parameters.size();
    if (lattice_phase(db, phase, a, b, builder, model, why))
        return true;
    builder.give_back(kept);
    return false;
}

Place place_of(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b,
               bool asked, Builder& builder, PhaseModel& model, std::string& why)
{
    BinaryPhase bp;
    if (!in_binary(db, phase, a, b)) {
        if (!asked)
            return Place::absent;  // a phase of other elements: not part of this binary
        why = "a sublattice holds neither element nor vacancies";
        return Place::left_out;
    }
    const bool rejected = std::find(db.rejected.begin(), db.rejected.end(), phase.name) != db.rejected.end();
    if (!asked && rejected)
        return Place::rejected;
    if (!asked && !phase.part_of.empty())
        return Place::part;
    why = beyond_the_model(phase);
    if (!why.empty())
        return Place::left_out;
    if (!model_of_phase(db, phase, a, b, builder, model, bp, why)) {
        if (why == "empty")
            why = "a sublattice holds neither element nor vacancies";
        return Place::left_out;
    }
    hold_magnetism(model);
    model.gas = phase.kind == 'G' || phase.name == "GAS";
    why.clear();
    for (const std::string& u : phase.unmodelled)
        why += (why.empty() ? "" : ", ") + u;
    for (const std::string& u : bp.unmodelled)
        why += (why.empty() ? "" : ", ") + u;
    return Place::kept;
}

// An ordered phase's disordered states are its disordered part's, a phase of
// its own, kept beside it whether asked for or not: the ordered phase keeps
// only its ordered states, and the two never stand side by side as one state
// under two names. Where the part cannot be modelled, the ordered phase keeps
// them under its own name.
void link_disordered_parts(const Database& db, const std::string& a, const std::string& b, Builder& builder,
                           DatabaseBinary& out)
{
    std::vector<PhaseModel>& phases = out.system.phases;
    for (std::size_t i = 0; i < phases.size(); ++i) {
        const LatticeKind* k = std::get_if<LatticeKind>(&phases[i].kind);
        if (k == nullptr || k->disordered.empty())
            continue;
        const std::string part = k->disordered;
        const auto named = [&](const PhaseModel& m) { return m.name == part; };
        if (std::none_of(phases.begin(), phases.end(), named)) {
            const DatabasePhase* dp = find_phase(db, part);
            PhaseModel model;
            std::string why;
            if (dp == nullptr || place_of(db, *dp, a, b, true, builder, model, why) != Place::kept)
                continue;
            phases.push_back(model);
            std::vector<std::string>& rejected = out.rejected;
            rejected.erase(std::remove(rejected.begin(), rejected.end(), part), rejected.end());
        }
        std::get<LatticeKind>(phases[i].kind).model.ordered_only = true;
    }
}

bool known_names(const Database& db, const std::string& a, const std::string& b,
                 const std::vector<std::string>& only, std::string& why)
{
    for (const std::string& e : {a, b})
        if (find_element(db, e) == nullptr) {
            why = "no element " + e + " in the database";
            return false;
        }
    for (const std::string& name : only)
        if (find_phase(db, name) == nullptr) {
            why = "no phase " + name + " in the database";
            return false;
        }
    return true;
}

}  // namespace

bool binary_phases(const Database& db, const std::string& a, const std::string& b,
                   const std::vector<std::string>& only, DatabaseBinary& out, std::string& why,
                   double pressure)
{
    if (!known_names(db, a, b, only, why))
        return false;
    out = DatabaseBinary{};
    System& s = out.system;
    s.name = a + "-" + b;
    s.a = {a, 0.0, 0.0};
    s.b = {b, 0.0, 0.0};
    for (const DatabaseElement& e : db.elements) {
        if (e.name == a)
            s.a.molar_mass = e.mass;
        if (e.name == b)
            s.b.molar_mass = e.mass;
    }
    s.gas_constant = DATABASE_GAS_CONSTANT;
    s.functions = db.functions;
    s.functions.pressure = pressure;
    Builder builder{s, {}};
    for (const DatabasePhase& phase : db.phases) {
        const bool asked = std::find(only.begin(), only.end(), phase.name) != only.end();
        if (!only.empty() && !asked)
            continue;
        PhaseModel model;
        std::string reason;
        const Place place = place_of(db, phase, a, b, asked, builder, model, reason);
        const std::string where = "phase " + phase.name + " (line " + std::to_string(phase.line) + ")";
        if (place == Place::left_out && asked) {
            why = where;
            why.append(": ").append(reason);
            return false;
        }
        if (place == Place::left_out)
            out.left_out.push_back({phase.name, phase.line, reason});
        if (place == Place::rejected || place == Place::part)
            (place == Place::rejected ? out.rejected : out.parts).push_back(phase.name);
        if (place != Place::kept)
            continue;
        s.phases.push_back(model);
        if (!reason.empty()) {
            std::string text = where;
            text.append(" carries ").append(reason).append(": not modelled, left out of its G");
            out.warnings.push_back({text, true});
        }
    }
    link_disordered_parts(db, a, b, builder, out);
    // The liquid first, as the tables and the solidification expect.
    std::stable_partition(s.phases.begin(), s.phases.end(), [](const PhaseModel& p) { return p.liquid; });
    if (s.phases.size() > MOST_PHASES) {
        why = "more than 64 phases";
        return false;
    }
    weigh_faults(db, out);
    return true;
}

bool database_binary(const Database& db, const std::string& a, const std::string& b,
                     const std::vector<std::string>& only, DatabaseBinary& out, std::string& why,
                     double pressure)
{
    if (!binary_phases(db, a, b, only, out, why, pressure))
        return false;
    System& s = out.system;
    if (s.phases.empty()) {
        why = "no phase of the database holds " + a + " and " + b;
        return false;
    }
    // Transitions are looked for where the parameters hold, not in the
    // extrapolation below them (298.15 K in most databases) or above them
    // (6000 K in most).
    double lowest = HUGE_VAL;
    double highest = 0.0;
    for (const Piecewise& p : s.parameters)
        if (!p.limits.empty()) {
            lowest = std::min(lowest, p.limits.front());
            highest = std::max(highest, p.limits.back());
        }
    lowest = std::max(LOWEST_SCAN, std::isfinite(lowest) ? lowest : LOWEST_SCAN);
    highest = std::min(HIGHEST_TEMPERATURE / 10.0, highest > lowest ? highest : HIGHEST_TEMPERATURE / 10.0);
    pure_transitions(s, lowest, highest, out.transitions_a, out.transitions_b);
    s.a.melting_point_given = melting_point(s, out.transitions_a);
    s.b.melting_point_given = melting_point(s, out.transitions_b);
    return true;
}

InBinary phase_in_binary(const Database& db, const DatabasePhase& phase, const std::string& a,
                         const std::string& b, std::string& how)
{
    if (!in_binary(db, phase, a, b))
        return InBinary::absent;
    System scratch;
    Builder builder{scratch, {}};
    PhaseModel model;
    // As if asked for: what the engine makes of it, whatever the file chooses.
    if (place_of(db, phase, a, b, true, builder, model, how) != Place::kept)
        return InBinary::not_computed;
    how = model_of(model);
    return InBinary::computed;
}

std::string model_of(const PhaseModel& m)
{
    if (const auto* k = std::get_if<SolutionKind>(&m.kind))
        return k->magnetic ? "solution, magnetic" : "solution";
    if (const auto* k = std::get_if<CompoundKind>(&m.kind))
        return k->magnetic ? "compound, magnetic" : "compound";
    if (const auto* k = std::get_if<SublatticePairKind>(&m.kind)) {
        const std::string kind = k->one_mixing ? "one sublattice of both elements beside fixed ones"
                                               : "two sublattices of both elements";
        return k->magnetic ? kind + ", magnetic" : kind;
    }
    const LatticeKind& k = std::get<LatticeKind>(m.kind);
    std::string kind =
        std::to_string(k.model.sites.size()) + " sublattice" + (k.model.sites.size() > 1 ? "s" : "");
    if (!k.disordered.empty())
        kind += ", ordered, disordered part " + k.disordered;
    return k.model.magnetic ? kind + ", magnetic" : kind;
}
