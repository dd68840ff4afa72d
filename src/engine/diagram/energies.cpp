#include "engine/diagram/energies.h"

#include <algorithm>
#include <cmath>

namespace {

// Where a phase's range stops short of a pure component, its end is an end
// member whose other fractions are all 0, on the edge of the state space; a
// curve takes its end this far inside instead, relative to its width.
constexpr double INSIDE_END = 1e-9;

// The range the phase reaches: a phase of one element, which the reader
// makes a solution with an unreachable other end, only its pure end.
std::array<double, 2> reach(const PhaseModel& m)
{
    if (m.sublattices)
        return {m.sublattices->model.x_min, m.sublattices->model.x_max};
    return range_ends(m);
}

}  // namespace

double phase_energy(const System& s, Phase p, double x, double T)
{
    const std::array<double, 2> range = reach(phase_model(s, p));
    if (!(x >= range[0] && x <= range[1]))
        return std::nan("");
    if (is_point(s, p) || range[0] == range[1])
        return x == range[0] ? gibbs(s, p, composition_from_x(x), T) : std::nan("");
    // The pure ends by the pure energies, where the logarithms of the
    // mixing would leave 0 times infinity.
    const double g = x == 1.0   ? pure_gibbs(s, p, true, T)
                     : x == 0.0 ? pure_gibbs(s, p, false, T)
                                : gibbs(s, p, composition_from_x(x), T);
    return std::isfinite(g) ? g : std::nan("");
}

std::vector<double> phase_energies(const System& s, Phase p, const std::vector<double>& xs, double T)
{
    std::vector<double> out(xs.size(), std::nan(""));
    const std::array<double, 2> range = reach(phase_model(s, p));
    // The curve's inner points by x; the rest (a compound's point, the pure
    // ends, what the phase does not reach) as phase_energy gives them.
    std::vector<std::size_t> inner;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double x = xs[i];
        if (!is_point(s, p) && range[0] < range[1] && x > 0.0 && x < 1.0 && x >= range[0] && x <= range[1])
            inner.push_back(i);
        else
            out[i] = phase_energy(s, p, x, T);
    }
    if (inner.empty())
        return out;
    std::stable_sort(inner.begin(), inner.end(), [&](std::size_t a, std::size_t b) { return xs[a] < xs[b]; });
    const PhaseAtT at = phase_at(s, p, T, false);
    const std::size_t n = inner.size();
    std::vector<double> forward(n);
    std::vector<InternalMemory> states(n, no_memory());
    InternalMemory state = no_memory();
    const double spacing = SEARCH_SPACING * (range[1] - range[0]);
    std::size_t searched = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const bool search = k == 0 || k + 1 == n ||
                            (k - searched >= SEARCHED_EVERY && xs[inner[k]] - xs[inner[searched]] >= spacing);
        if (search)
            searched = k;
        forward[k] = gibbs_following(at, composition_from_x(xs[inner[k]]), state, search);
        states[k] = state;
    }
    // Back along the curve, from the state found going forward wherever that
    // is the lower: a branch found at a search reaches back to where it starts.
    // Where the state carried back is the forward one of the next point, which
    // was itself carried on from this point's, going back finds this point's
    // own forward state: it is not sought again.
    state = no_memory();
    bool forward_state = false;
    for (std::size_t k = n; k-- > 0;) {
        const Composition c = composition_from_x(xs[inner[k]]);
        const bool own = forward_state && states[k + 1].followed > 0;
        double g = has_internal_state(at) && !own ? gibbs_following(at, c, state, false) : HUGE_VAL;
        forward_state = !(g < forward[k]);
        if (forward_state) {
            g = forward[k];
            state = states[k];
        }
        out[inner[k]] = std::isfinite(g) ? g : std::nan("");
    }
    return out;
}

std::vector<EnergyCurve> energy_curves(const System& s, double T)
{
    std::vector<EnergyCurve> out;
    for (std::size_t i = 0; i < s.phases.size(); ++i) {
        const Phase p = phase_number(i);
        const std::array<double, 2> range = reach(s.phases[i]);
        EnergyCurve curve{p, {}, {}};
        const int points = range[0] == range[1] ? 1 : CURVE_POINTS;
        const double inside = INSIDE_END * (range[1] - range[0]);
        std::vector<double> xs;
        for (int k = 0; k < points; ++k) {
            double x = k == points - 1 ? range[1] : range[0] + (range[1] - range[0]) * k / (points - 1);
            if (points > 1 && k == 0 && range[0] > 0.0)
                x += inside;
            if (points > 1 && k == points - 1 && range[1] < 1.0)
                x -= inside;
            xs.push_back(x);
        }
        const std::vector<double> G = phase_energies(s, p, xs, T);
        for (std::size_t k = 0; k < xs.size(); ++k)
            if (!std::isnan(G[k])) {
                curve.x.push_back(xs[k]);
                curve.G.push_back(G[k]);
            }
        if (!curve.x.empty())
            out.push_back(std::move(curve));
    }
    return out;
}

double stable_pure_energy(const System& s, bool of_a, double T)
{
    double lowest = HUGE_VAL;
    for (std::size_t i = 0; i < s.phases.size(); ++i) {
        const double g = pure_gibbs(s, phase_number(i), of_a, T);
        if (std::isfinite(g))
            lowest = std::min(lowest, g);
    }
    return lowest;
}

std::vector<Tangent> common_tangents(const System& s, const Equilibria& e)
{
    std::vector<Tangent> out;
    out.reserve(e.ties.size());
    for (const TieLine& t : e.ties) {
        Tangent tangent{t.low_phase, t.low.x, t.high_phase, t.high.x, 0.0, 0.0};
        tangent_potentials(s, t, e.T, tangent.mu_a, tangent.mu_b);
        out.push_back(tangent);
    }
    return out;
}
