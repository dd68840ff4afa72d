// A phase of two sublattices that both hold both elements, or of one beside
// sublattices of one element each: its side of the phase contract, its curve
// the minimum over its share (sublattices.h).
#include "engine/phases/kinds.h"
#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>

namespace kinds {

namespace {

// A pure end per mole of atoms, from its end member's G, TC and beta per
// formula unit; none (HUGE_VAL) where a fixed sublattice holds the other element.
double pure_end(const SublatticePairKind& m, bool of_a, double T, double R, double g, double tc, double beta)
{
    if ((of_a ? m.fixed_sites[1] : m.fixed_sites[0]) != 0.0)
        return HUGE_VAL;
    const double atoms = m.sites[0] + (m.one_mixing ? 0.0 : m.sites[1]) + m.fixed_sites[0] + m.fixed_sites[1];
    double end = g / atoms;
    if (m.magnetic)
        end += magnetic_gibbs(T, tc, beta, m.magnetism.antiferromagnetic_factor, m.magnetism.structure_factor,
                              R) /
               atoms;
    return end;
}

// A property of the phase at T.
template <int N>
void terms_at(const System& s, const LatticeCoefficients& c, double T, LatticeTerms<N>& out)
{
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            out.end[i][j] = coefficient_at(s, c.end[i][j], T);
            const std::vector<Coefficient>& series = c.interactions[i][j];
            out.terms[i][j] = static_cast<int>(std::min<std::size_t>(series.size(), N));
            for (int k = 0; k < out.terms[i][j]; ++k)
                out.series[i][j][k] = coefficient_at(s, series[static_cast<std::size_t>(k)], T);
        }
    out.reciprocal = coefficient_at(s, c.reciprocal, T);
}

// x held NEAR_PURE inside either end of the phase's range, a pure end or one
// that fixed sublattices set (COST 507's theta, (Al)2(Al,Cu)1, from x = 2/3):
// at an end the one state has fractions of exactly 0, and the logarithms in
// its potentials diverge.
double clamped(const SublatticeValues& v, double x)
{
    const double mixing = v.sites[0] + (v.one_mixing ? 0.0 : v.sites[1]);
    const double n = mixing + v.fixed_sites[0] + v.fixed_sites[1];
    const double lo = v.fixed_sites[0] / n;
    const double hi = (v.fixed_sites[0] + mixing) / n;
    if (x >= lo && x < lo + NEAR_PURE)
        return lo + NEAR_PURE;
    if (x <= hi && x > hi - NEAR_PURE)
        return hi - NEAR_PURE;
    return std::min(std::max(x, NEAR_PURE), 1.0 - NEAR_PURE);
}

// The minimum at x searched from no guess, or kept from such a search at x.
SublatticeMinimum searched_minimum(const SublatticePairAtT& v, double x)
{
    for (std::size_t k = 0; k < v.SEARCHES_KEPT; ++k)
        if (v.searched_x[k] == x)
            return v.searched[k];
    const std::size_t k = v.next_kept;
    v.next_kept = (k + 1) % v.SEARCHES_KEPT;
    v.searched[k] = sublattice_minimum(v.lattice, x);
    v.searched_x[k] = x;
    return v.searched[k];
}

// The rests, excess and bend at c from the minimum, its share carried in q
// (searched from no guess where q is -1).
void parts(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c, double& rest_a,
           double& rest_b, double& excess, double& bend, double& q)
{
    const double x = clamped(v.lattice, c.x);
    const double y = 1.0 - x;
    const SublatticeMinimum m = q == -1.0 ? searched_minimum(v, x) : sublattice_minimum(v.lattice, x, q);
    q = m.q;
    rest_a = m.g + y * m.g1 - at.RT * std::log(x);
    rest_b = m.g - x * m.g1 - at.RT * std::log1p(-x);
    excess = m.g - x * reference_end(at.ga) - y * reference_end(at.gb) -
             at.RT * (x * std::log(x) + y * std::log(y));
    bend = m.g2 - at.RT / (x * y);
}

}  // namespace

void pair_at(const System& s, const SublatticePairKind& m, PhaseAtT& at)
{
    SublatticeValues& v = at.kind.emplace<SublatticePairAtT>().lattice;
    v.RT = at.RT;
    v.sites[0] = m.sites[0];
    v.sites[1] = m.sites[1];
    terms_at(s, m.lattice, at.T, v.g);
    v.magnetic = m.magnetic;
    if (m.magnetic) {
        terms_at(s, m.lattice_magnetism[0], at.T, v.tc);
        terms_at(s, m.lattice_magnetism[1], at.T, v.beta);
        v.T = at.T;
        v.R = at.R;
        v.antiferromagnetic_factor = m.magnetism.antiferromagnetic_factor;
        v.structure_factor = m.magnetism.structure_factor;
    }
    v.one_mixing = m.one_mixing;
    v.fixed_sites[0] = m.fixed_sites[0];
    v.fixed_sites[1] = m.fixed_sites[1];
    const int b = m.one_mixing ? 0 : 1;
    const auto end_of = [&](bool of_a) {
        const int i = of_a ? 0 : 1;
        const int j = of_a ? 0 : b;
        return m.magnetic ? pure_end(m, of_a, at.T, at.R, v.g.end[i][j], v.tc.end[i][j], v.beta.end[i][j])
                          : pure_end(m, of_a, at.T, at.R, v.g.end[i][j], 0.0, 0.0);
    };
    at.ga = end_of(true);
    at.gb = end_of(false);
    at.ga_dT = 0.0;
    at.gb_dT = 0.0;
}

Excess pair_excess(const PhaseAtT& at, const SublatticePairAtT& v, double x, int derivatives)
{
    // The minimum less the ideal solution of its pure ends; the third
    // derivative by a difference of the second.
    const auto bent = [&](double at_x) {
        const SublatticeMinimum m = searched_minimum(v, at_x);
        const double xi = clamped(v.lattice, at_x);
        return m.g2 - at.RT / (xi * (1.0 - xi));
    };
    const double xi = clamped(v.lattice, x);
    const SublatticeMinimum m = searched_minimum(v, xi);
    const double yi = 1.0 - xi;
    const double ga = reference_end(at.ga);
    const double gb = reference_end(at.gb);
    Excess out{m.g - xi * ga - yi * gb - at.RT * (xi * std::log(xi) + yi * std::log(yi)),
               m.g1 - ga + gb - at.RT * (std::log(xi) - std::log(yi)), bent(xi), 0.0};
    if (derivatives >= 3) {
        const double h = 1e-6;
        out.e3 = (bent(xi + h) - bent(xi - h)) / (2.0 * h);
    }
    return out;
}

// The rests, and their T slopes by a central difference of the whole minimum,
// each side searched from the share found at T.
Rests pair_rests(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c)
{
    Rests out{0.0, 0.0, 0.0, 0.0, 0.0};
    double excess = 0.0;
    double q = -1.0;
    parts(at, v, c, out.a, out.b, excess, out.e2, q);
    if (!at.slopes)
        return out;
    const auto rests_at = [&](double T, double& a, double& b) {
        double unused_excess = 0.0;
        double unused_bend = 0.0;
        double guess = q;
        const PhaseAtT there = phase_at(*at.system, at.phase, T, false);
        parts(there, std::get<SublatticePairAtT>(there.kind), c, a, b, unused_excess, unused_bend, guess);
    };
    double a_hot = 0.0;
    double b_hot = 0.0;
    double a_cold = 0.0;
    double b_cold = 0.0;
    rests_at(at.T + SLOPE_STEP, a_hot, b_hot);
    rests_at(at.T - SLOPE_STEP, a_cold, b_cold);
    out.a_dT = (a_hot - a_cold) / (2.0 * SLOPE_STEP);
    out.b_dT = (b_hot - b_cold) / (2.0 * SLOPE_STEP);
    return out;
}

double pair_above_line(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c, double mu_a,
                       double mu_b)
{
    const double x = c.x;
    const double y = c.y;
    if (x == 0.0 || y == 0.0)
        return x == 0.0 ? at.gb - mu_b : at.ga - mu_a;
    return searched_minimum(v, clamped(v.lattice, x)).g - (x * mu_a + y * mu_b);
}

// Its end member alone.
double pair_pure(const System& s, const SublatticePairKind& m, bool of_a, double T, double& size)
{
    const int i = of_a ? 0 : 1;
    const int j = of_a || !m.one_mixing ? i : 0;
    const auto at_T = [&](const LatticeCoefficients& c) { return coefficient_at(s, c.end[i][j], T); };
    const double g = m.magnetic ? pure_end(m, of_a, T, s.gas_constant, at_T(m.lattice),
                                           at_T(m.lattice_magnetism[0]), at_T(m.lattice_magnetism[1]))
                                : pure_end(m, of_a, T, s.gas_constant, at_T(m.lattice), 0.0, 0.0);
    size = std::fabs(g);
    return g;
}

// From a close guess of its share, taken a few Newton steps to the minimum
// (sublattice_minimum_near): a grid reads no more of the phase.
void pair_grid_parts(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c, double ln_x,
                     double ln_y, bool known, InternalMemory& memory, double& q, double& rest_a,
                     double& rest_b)
{
    const double x = clamped(v.lattice, c.x);
    // Beyond the phase's range, which no temperature moves (most of the grid
    // for a compound of anti-sites): no energy, nothing to remember.
    if (beyond_shares(v.lattice, x)) {
        q = -1.0;
        rest_a = rest_b = HUGE_VAL;
        return;
    }
    if (known)
        q = extrapolated_share(v.lattice, c.x, memory.shares, at.T);
    const double y = 1.0 - x;
    const SublatticeMinimum m = sublattice_minimum_near(v.lattice, x, q);
    q = m.q;
    if (x != c.x) {  // held off the pure end, as the minimum is
        ln_x = std::log(x);
        ln_y = std::log1p(-x);
    }
    rest_a = m.g + y * m.g1 - at.RT * ln_x;
    rest_b = m.g - x * m.g1 - at.RT * ln_y;
    remember_share(v.lattice, c.x, q, at.T, memory.shares);
}

std::array<double, 2> pair_range_ends(const SublatticePairKind& m)
{
    const double mixing = m.sites[0] + (m.one_mixing ? 0.0 : m.sites[1]);
    const double n = mixing + m.fixed_sites[0] + m.fixed_sites[1];
    return {m.fixed_sites[0] / n, (m.fixed_sites[0] + mixing) / n};
}

std::vector<double> pair_ordered_compositions(const SublatticePairKind& m)
{
    std::vector<double> out;
    // The range's ends, where fixed sublattices bound it (a pure end among them,
    // where an end there that Newton cannot resolve is taken).
    if (m.one_mixing || m.fixed_sites[0] > 0.0 || m.fixed_sites[1] > 0.0) {
        const std::array<double, 2> ends = pair_range_ends(m);
        out.push_back(ends[0]);
        out.push_back(ends[1]);
    }
    if (!m.one_mixing) {
        const double n = m.sites[0] + m.sites[1] + m.fixed_sites[0] + m.fixed_sites[1];
        out.push_back((m.fixed_sites[0] + m.sites[0]) / n);
        out.push_back((m.fixed_sites[0] + m.sites[1]) / n);
    }
    return out;
}

}  // namespace kinds
