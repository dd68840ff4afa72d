#include "engine/freezing/point.h"

#include "engine/diagram/energies.h"
#include "engine/diagram/tangent_check.h"
#include "engine/freezing/lever.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

namespace {

// The phases holding x0 at equilibrium: the tie-line's two by the lever rule,
// a phase of no amount left out (x0 at a tie-line's end), or the one phase.
std::vector<PhaseShare> shares_at(const Location& w, double x0)
{
    if (!w.two_phase)
        return {{w.single, 1.0, composition_from_x(x0), {}}};
    const TieLine& t = w.tie;
    const double high = (x0 - t.low.x) / (t.high.x - t.low.x);
    std::vector<PhaseShare> out;
    if (high < 1.0)
        out.push_back({t.low_phase, 1.0 - high, t.low, {}});
    if (high > 0.0)
        out.push_back({t.high_phase, high, t.high, {}});
    return out;
}

// The alloy's one phase where the row holds one at x0: the stretch's own, or,
// where the stretch crosses an ordering that sets in continuously (Al-Fe's
// bcc at 1200 K, A2 on one side and B2 on the other), whichever state of its
// family lies lowest at x0. The ordered phase has no state where it is
// disordered, and its disordered part lies above it where it orders.
Location one_phase_at(const System& s, Location w, double T, double x0)
{
    if (w.two_phase)
        return w;
    const Phase family = phase_family(s, w.single);
    const Composition c = composition_from_x(x0);
    double lowest = gibbs(s, w.single, c, T);
    for (std::size_t k = 0; k < s.phases.size(); ++k) {
        const Phase q = phase_number(k);
        if (q == w.single || phase_family(s, q) != family)
            continue;
        const double g = gibbs(s, q, c, T);
        if (g < lowest || (!(lowest < HUGE_VAL) && g < HUGE_VAL)) {
            lowest = g;
            w.single = q;
        }
    }
    return w;
}

// The potentials of the alloy: its one phase's, or the tie-line's.
void potentials_at(const System& s, const Location& w, double T, PointEquilibrium& out)
{
    if (w.two_phase) {
        tangent_potentials(s, w.tie, T, out.mu_a, out.mu_b);
        return;
    }
    const Potentials p = potentials(s, w.single, out.phases[0].c, T);
    out.mu_a = p.mu_a;
    out.mu_b = p.mu_b;
}

// G at c on the tangent x mu_a + y mu_b, a component absent counting nothing.
double on_tangent(const Composition& c, double mu_a, double mu_b)
{
    return (c.x > 0.0 ? c.x * mu_a : 0.0) + (c.y > 0.0 ? c.y * mu_b : 0.0);
}

}  // namespace

PointGrids point_grids(const System& s)
{
    return {make_coarse_grid(s), make_grid(s)};
}

std::vector<PointEquilibrium> equilibria_at_points(const System& s, const PointGrids& grids, double T,
                                                   const std::vector<double>& x0)
{
    if (x0.empty())
        return {};
    // Where no phase has an internal state, each point of the full grid is a
    // closed form, and the full grid costs no more than the check would.
    const bool coarse_first = std::any_of(s.phases.begin(), s.phases.end(),
                                          [](const PhaseModel& m) { return has_internal_state(m); });
    std::vector<Doubt> coarse_doubts;
    GridEnergies energies;
    Equilibria coarse{};
    if (coarse_first)
        coarse = equilibria_about(s, grids.coarse, T, *std::min_element(x0.begin(), x0.end()),
                                  *std::max_element(x0.begin(), x0.end()), coarse_doubts, energies);
    const std::vector<PhaseAtT> phases = coarse_first ? phases_at(s, T) : std::vector<PhaseAtT>{};
    std::vector<Doubt> full_doubts;
    std::optional<Equilibria> full;
    // Alloys on one tie-line share its tangent, checked once.
    std::map<std::pair<double, double>, bool> holds;
    const auto check = [&](double mu_a, double mu_b) {
        const auto [at, fresh] = holds.try_emplace({mu_a, mu_b}, false);
        if (fresh)
            at->second = lowest_above_line(grids.full, grids.coarse, energies, phases, mu_a, mu_b) >=
                         -STABLE * s.gas_constant * T;
        return at->second;
    };
    std::vector<PointEquilibrium> out;
    out.reserve(x0.size());
    for (const double x : x0) {
        if (coarse_first && coarse_doubts.empty()) {
            PointEquilibrium p = equilibrium_at_point(s, coarse, coarse_doubts, x);
            if (check(p.mu_a, p.mu_b)) {
                out.push_back(std::move(p));
                continue;
            }
        }
        if (!full)
            full = equilibria_at(s, grids.full, T, full_doubts);
        out.push_back(equilibrium_at_point(s, *full, full_doubts, x));
    }
    return out;
}

PointEquilibrium equilibrium_at_point(const System& s, const PointGrids& grids, double T, double x0)
{
    return equilibria_at_points(s, grids, T, {x0}).front();
}

PointEquilibrium equilibrium_at_point(const System& s, const Equilibria& e, const std::vector<Doubt>& doubts,
                                      double x0)
{
    PointEquilibrium out{};
    const double T = e.T;
    out.T = T;
    out.x0 = x0;
    out.doubts = doubts;
    const Location w = one_phase_at(s, locate(e, x0), T, x0);
    out.phases = shares_at(w, x0);
    potentials_at(s, w, T, out);
    const double RT = s.gas_constant * T;
    out.activity_a = std::exp((out.mu_a - stable_pure_energy(s, true, T)) / RT);
    out.activity_b = std::exp((out.mu_b - stable_pure_energy(s, false, T)) / RT);
    for (PhaseShare& share : out.phases) {
        StateInT state = state_in_T(s, share.phase, share.c, T);
        share.site_fractions = std::move(state.site_fractions);
        const Jet g = state.g;
        out.G += share.amount * on_tangent(share.c, out.mu_a, out.mu_b);
        out.S -= share.amount * g.d1;
        out.Cp -= share.amount * T * g.d2;
        if (!std::isfinite(g.d1) || !std::isfinite(g.d2))
            out.doubts.push_back(doubt_at(T, "no entropy or heat capacity of " + phase_name(s, share.phase) +
                                                 ": its internal state has no general form to hold"));
    }
    out.H = out.G + T * out.S;
    return out;
}

std::vector<PhaseFraction> phase_fractions(const System& s, const Diagram& d, double x0)
{
    // A phase on both sides of its own gap is two: by its copy, 1 for the end richer in A.
    using Key = std::pair<Phase, int>;
    const auto keys_of = [](const std::vector<PhaseShare>& shares) {
        std::vector<Key> keys;
        for (std::size_t k = 0; k < shares.size(); ++k)
            keys.emplace_back(shares[k].phase, k == 1 && shares[0].phase == shares[1].phase ? 1 : 0);
        return keys;
    };
    std::vector<std::vector<PhaseShare>> at;
    at.reserve(d.rows.size());
    std::vector<Key> seen;
    for (const Equilibria& e : d.rows) {
        at.push_back(shares_at(one_phase_at(s, locate(e, x0), e.T, x0), x0));
        for (const Key& key : keys_of(at.back()))
            if (std::find(seen.begin(), seen.end(), key) == seen.end())
                seen.push_back(key);
    }
    std::vector<PhaseFraction> out;
    out.reserve(seen.size() * d.rows.size());
    for (const Key& key : seen)
        for (std::size_t i = 0; i < d.rows.size(); ++i) {
            PhaseFraction f{d.rows[i].T, key.first, key.second, 0.0, std::nan("")};
            const std::vector<Key> keys = keys_of(at[i]);
            for (std::size_t k = 0; k < keys.size(); ++k)
                if (keys[k] == key) {
                    f.amount = at[i][k].amount;
                    f.x = at[i][k].c.x;
                }
            out.push_back(f);
        }
    return out;
}
