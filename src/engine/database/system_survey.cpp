// What a binary's system does over temperature: where a function it calls is
// not finite, where its functions are taken beyond their limits, and its pure
// components' transitions.
#include "engine/database/database_system.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double SCAN_STEP = 5.0;  // K, between the temperatures where pure transitions are looked for

// Every coefficient a phase's energy takes, whatever its kind.
std::vector<const Coefficient*> coefficients_of(const PhaseModel& p)
{
    std::vector<const Coefficient*> all;
    const auto magnetism = [&](const MagneticModel& g) {
        for (const Coefficient* c : {&g.tc_a, &g.tc_b, &g.beta_a, &g.beta_b})
            all.push_back(c);
        for (const std::vector<Coefficient>* series : {&g.tc_excess, &g.beta_excess})
            for (const Coefficient& c : *series)
                all.push_back(&c);
    };
    const auto lattice = [&](const LatticeCoefficients& l) {
        for (const auto& row : l.end)
            for (const Coefficient& c : row)
                all.push_back(&c);
        for (const auto& row : l.interactions)
            for (const std::vector<Coefficient>& series : row)
                for (const Coefficient& c : series)
                    all.push_back(&c);
        all.push_back(&l.reciprocal);
    };
    if (const auto* k = std::get_if<SolutionKind>(&p.kind)) {
        all.push_back(&k->pure_a);
        all.push_back(&k->pure_b);
        for (const Coefficient& c : k->excess)
            all.push_back(&c);
        if (k->magnetic)
            magnetism(k->magnetism);
    } else if (const auto* k = std::get_if<CompoundKind>(&p.kind)) {
        all.push_back(&k->energy);
        magnetism(k->magnetism);
    } else if (const auto* k = std::get_if<SublatticePairKind>(&p.kind)) {
        lattice(k->lattice);
        for (const LatticeCoefficients& l : k->lattice_magnetism)
            lattice(l);
    } else {
        for (const Coefficient& c : std::get<LatticeKind>(p.kind).values)
            all.push_back(&c);
    }
    return all;
}

}  // namespace

bool not_finite(const System& s, const std::vector<double>& temperatures, NotFinite& found)
{
    for (const double T : temperatures)
        for (const Piecewise& p : s.parameters) {
            const int where = not_finite_at(p, s.functions, T);
            if (where == -2)
                continue;
            found.what = where == -1 ? &p : &s.functions.bodies[static_cast<std::size_t>(where)];
            found.T = T;
            return true;
        }
    return false;
}

void pure_transitions(const System& s, double lowest, double highest, std::vector<PureTransition>& of_a,
                      std::vector<PureTransition>& of_b)
{
    // Each phase with an internal state carries its state at each end up the
    // scan, and both ends are scanned together: such a phase's values at a
    // temperature serve both.
    std::vector<InternalMemory> memory(2 * s.phases.size(), no_memory());
    // Of two phases whose pure energies are equal to their rounding (COST
    // 507's boron as DIAMOND_A4 and as BETA_RHOMBO_B), the first is the
    // stable one throughout: which of them rounds lower changes from one
    // temperature to the next, and each change was a transition. The energies
    // compared are the scan's own, not searched again: two phases of the same
    // sublattices would otherwise be searched from every start at every step.
    const auto stable = [&](double T, Phase best[2]) {
        double g[2] = {HUGE_VAL, HUGE_VAL};
        double g_size[2] = {0.0, 0.0};
        best[0] = best[1] = Phase::liquid;
        for (std::size_t k = 0; k < s.phases.size(); ++k) {
            double here[2];
            double size[2];
            pure_gibbs_ends(s, phase_number(k), T, &memory[2 * k], here, size);
            for (int end = 0; end < 2; ++end)
                if (here[end] < g[end] && !equal_to_rounding(here[end], size[end], g[end], g_size[end])) {
                    g[end] = here[end];
                    g_size[end] = size[end];
                    best[end] = phase_number(k);
                }
        }
    };
    std::vector<PureTransition>* out[2] = {&of_a, &of_b};
    Phase before[2];
    stable(lowest, before);
    for (double T = lowest; T < highest;) {
        const double next = std::min(highest, T + SCAN_STEP);
        Phase after[2];
        stable(next, after);
        for (int end = 0; end < 2; ++end) {
            if (after[end] != before[end]) {
                const double at = pure_transition(s, before[end], after[end], end == 0, T, next);
                out[end]->push_back({std::isnan(at) ? 0.5 * (T + next) : at, before[end], after[end]});
            }
            before[end] = after[end];
        }
        T = next;
    }
}

double melting_point(const System& s, const std::vector<PureTransition>& transitions)
{
    for (const PureTransition& t : transitions)
        if (is_liquid(s, t.above))
            return t.T;
    return std::numeric_limits<double>::quiet_NaN();
}

std::vector<std::string> extrapolated_phases(const System& s, double first, double last)
{
    std::vector<std::string> out;
    for (const PhaseModel& p : s.phases) {
        const std::vector<const Coefficient*> all = coefficients_of(p);
        bool extrapolated = false;
        // Limits are increasing, so a function holds over the range where it holds at both ends.
        for (const Coefficient* c : all)
            for (const auto& parameter : c->parameters)
                for (double T : {first, last})
                    evaluate(s.parameters[static_cast<std::size_t>(parameter.first)], s.functions, T,
                             extrapolated);
        if (extrapolated)
            out.push_back(p.name);
    }
    return out;
}
