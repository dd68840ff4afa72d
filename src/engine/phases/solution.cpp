// A solution of A and B on one lattice, and a compound of one composition:
// their side of the phase contract.
#include "engine/phases/kinds.h"
#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kinds {

namespace {

// sum_k l_k t^k and its first three derivatives in t (Horner, alongside).
void series(const double* l, std::size_t n, double t, double out[4])
{
    out[0] = out[1] = out[2] = out[3] = 0.0;
    for (auto k = n; k-- > 0;) {
        out[3] = out[3] * t + 3.0 * out[2];
        out[2] = out[2] * t + 2.0 * out[1];
        out[1] = out[1] * t + out[0];
        out[0] = out[0] * t + l[k];
    }
}

// sum_k l_k t^k and its first derivative alone, for the energies at many points.
void series2(const double* l, std::size_t n, double t, double& e0, double& e1)
{
    e0 = 0.0;
    e1 = 0.0;
    for (auto k = n; k-- > 0;) {
        e1 = e1 * t + e0;
        e0 = e0 * t + l[k];
    }
}

// The magnetic term per mole of atoms and its derivatives in x (the third
// where asked, else 0).
Jet magnetic_at(const MagneticModel& m, const SolutionAtT& v, double T, double R, double x, bool third = true)
{
    const double y = 1.0 - x;
    const auto rk = [&](const double* c, std::size_t terms) {
        double e[4];
        series(c + 2, terms, 2.0 * x - 1.0, e);
        // x c_A + y c_B + x y E(t), t = 2x - 1, d/dx = 2 d/dt.
        const double xy = x * y;
        const double e1 = 2.0 * e[1];
        const double e2 = 4.0 * e[2];
        const double e3 = 8.0 * e[3];
        const double s1 = 1.0 - 2.0 * x;
        return Jet{x * c[0] + y * c[1] + xy * e[0], c[0] - c[1] + s1 * e[0] + xy * e1,
                   -2.0 * e[0] + 2.0 * s1 * e1 + xy * e2, -6.0 * e1 + 3.0 * s1 * e2 + xy * e3};
    };
    const Jet g = magnetic_gibbs_jet(T, rk(v.tc, v.tc_terms), rk(v.beta, v.beta_terms),
                                     m.antiferromagnetic_factor, m.structure_factor, R, third);
    const double per = 1.0 / m.atoms;
    return {g.v * per, g.d1 * per, g.d2 * per, g.d3 * per};
}

Jet magnetic_at(const PhaseAtT& at, const SolutionAtT& v, double T, double x, bool third = true)
{
    return magnetic_at(std::get<SolutionKind>(at.model->kind).magnetism, v, T, at.R, x, third);
}

// A solution's series at each of n points: TERMS of them, or v.terms where
// TERMS is negative.
// The columns are distinct arrays (__restrict, which GCC, Clang and MSVC all
// take), so that the loop over the points vectorises.
template <int TERMS>
void series_columns(const PhaseAtT& at, const SolutionAtT& v, const double* x, const double* y, std::size_t n,
                    double* __restrict rest_a, double* __restrict rest_b, double* __restrict excess,
                    double* __restrict bend)
{
    const double* L = v.L;
    const std::size_t terms = TERMS >= 0 ? static_cast<std::size_t>(TERMS) : v.terms;
    const double ga = at.ga;
    const double gb = at.gb;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = x[i] - y[i];
        double e0 = 0.0;
        double e1 = 0.0;
        double e2 = 0.0;
        for (auto k = terms; k-- > 0;) {
            e2 = e2 * t + 2.0 * e1;
            e1 = e1 * t + e0;
            e0 = e0 * t + L[k];
        }
        rest_a[i] = ga + y[i] * y[i] * (e0 + 2.0 * x[i] * e1);
        rest_b[i] = gb + x[i] * x[i] * (e0 - 2.0 * y[i] * e1);
        excess[i] = x[i] * y[i] * e0;
        bend[i] = -2.0 * e0 - 4.0 * t * e1 + 4.0 * x[i] * y[i] * e2;
    }
}

}  // namespace

void solution_at(const System& s, const SolutionKind& k, PhaseAtT& at)
{
    // Every scalar set here; the arrays only as far as their counts, which
    // every reader keeps to: value-initialising them (a kilobyte of series) at
    // each of a path's many solves cost a third of a solidification.
    SolutionAtT& v = at.kind.emplace<SolutionAtT>();
    v.magnetic = false;
    v.tc_terms = 0;
    v.beta_terms = 0;
    const double T = at.T;
    value_and_slope(s, k.pure_a, T, at.slopes, at.ga, at.ga_dT);
    value_and_slope(s, k.pure_b, T, at.slopes, at.gb, at.gb_dT);
    v.terms = std::min(k.excess.size(), MOST_EXCESS_TERMS);
    for (std::size_t i = 0; i < v.terms; ++i)
        value_and_slope(s, k.excess[i], T, at.slopes, v.L[i], v.L_dT[i]);
    if (!k.magnetic)
        return;
    const MagneticModel& g = k.magnetism;
    v.tc[0] = coefficient_at(s, g.tc_a, T);
    v.tc[1] = coefficient_at(s, g.tc_b, T);
    v.beta[0] = coefficient_at(s, g.beta_a, T);
    v.beta[1] = coefficient_at(s, g.beta_b, T);
    v.tc_terms = std::min(g.tc_excess.size(), MOST_EXCESS_TERMS);
    v.beta_terms = std::min(g.beta_excess.size(), MOST_EXCESS_TERMS);
    for (std::size_t i = 0; i < v.tc_terms; ++i)
        v.tc[i + 2] = coefficient_at(s, g.tc_excess[i], T);
    for (std::size_t i = 0; i < v.beta_terms; ++i)
        v.beta[i + 2] = coefficient_at(s, g.beta_excess[i], T);
    const auto any = [](const double* c, std::size_t n) {
        return std::any_of(c, c + n, [](double value) { return value != 0.0; });
    };
    v.magnetic = any(v.tc, v.tc_terms + 2) && any(v.beta, v.beta_terms + 2);
}

Excess solution_excess(const PhaseAtT& at, const SolutionAtT& v, double x, int derivatives)
{
    (void)derivatives;
    // x y E(t), t = 2x - 1: G_ex' = -t E + 2xy E', G_ex'' = -2E - 4t E' + 4xy E''
    // (the derivatives of E in t).
    double e[4];
    const double t = 2.0 * x - 1.0;
    series(v.L, v.terms, t, e);
    const double xy = x * (1.0 - x);
    Excess out{xy * e[0], -t * e[0] + 2.0 * xy * e[1], -2.0 * e[0] - 4.0 * t * e[1] + 4.0 * xy * e[2],
               -12.0 * e[1] - 12.0 * t * e[2] + 8.0 * xy * e[3]};
    if (v.magnetic) {
        const Jet m = magnetic_at(at, v, at.T, x);
        out.e += m.v;
        out.e1 += m.d1;
        out.e2 += m.d2;
        out.e3 += m.d3;
    }
    return out;
}

// The rest of both potentials, the pure parts with E + y E' and E - x E', and
// their T slopes: the series' own, the magnetic term's by a central difference.
Rests solution_rests(const PhaseAtT& at, const SolutionAtT& v, const Composition& c)
{
    Rests out{0.0, 0.0, 0.0, 0.0, 0.0};
    double excess = 0.0;
    solution_parts(at, &c.x, &c.y, 1, &out.a, &out.b, &excess, &out.e2);
    if (!at.slopes)
        return out;
    const double x = c.x;
    const double y = c.y;
    double eb0 = 0.0;
    double eb1 = 0.0;
    series2(v.L_dT, v.terms, x - y, eb0, eb1);
    out.a_dT = at.ga_dT + y * y * (eb0 + 2.0 * x * eb1);
    out.b_dT = at.gb_dT + x * x * (eb0 - 2.0 * y * eb1);
    if (!v.magnetic)
        return out;
    const Jet up = magnetic_at(at, v, at.T + SLOPE_STEP, x);
    const Jet down = magnetic_at(at, v, at.T - SLOPE_STEP, x);
    out.a_dT += (up.v + y * up.d1 - down.v - y * down.d1) / (2.0 * SLOPE_STEP);
    out.b_dT += (up.v - x * up.d1 - down.v + x * down.d1) / (2.0 * SLOPE_STEP);
    return out;
}

double solution_above_line(const PhaseAtT& at, const SolutionAtT& v, const Composition& c, double ln_x,
                           double ln_y, double mu_a, double mu_b)
{
    const double x = c.x;
    const double y = c.y;
    double e0 = 0.0;
    double e1 = 0.0;
    series2(v.L, v.terms, x - y, e0, e1);
    double rest_a = at.ga + y * y * (e0 + 2.0 * x * e1);
    double rest_b = at.gb + x * x * (e0 - 2.0 * y * e1);
    if (v.magnetic) {
        const Jet m = magnetic_at(at, v, at.T, x);
        rest_a += m.v + y * m.d1;
        rest_b += m.v - x * m.d1;
    }
    // x ln x vanishes at x = 0, where mu_a is infinite.
    const double a = x > 0.0 ? x * (at.RT * ln_x + rest_a - mu_a) : 0.0;
    const double b = y > 0.0 ? y * (at.RT * ln_y + rest_b - mu_b) : 0.0;
    return a + b;
}

double solution_pure(const System& s, const SolutionKind& k, bool of_a, double T, double& size)
{
    const Coefficient& c = of_a ? k.pure_a : k.pure_b;
    double g = coefficient_at(s, c, T);
    if (k.magnetic) {  // the magnetic term alone, of the whole phase at T
        PhaseAtT at{};
        at.T = T;
        at.slopes = false;
        solution_at(s, k, at);
        const SolutionAtT& v = std::get<SolutionAtT>(at.kind);
        if (v.magnetic)
            g += magnetic_at(k.magnetism, v, T, s.gas_constant, of_a ? 1.0 : 0.0).v;
    }
    size = c.parameters.empty() ? std::fabs(c.a) + std::fabs(c.b * T) : std::fabs(g);
    return g;
}

void compound_at(const System& s, const CompoundKind& k, PhaseAtT& at)
{
    at.kind.emplace<CompoundAtT>();
    at.gb = 0.0;
    at.gb_dT = 0.0;
    value_and_slope(s, k.energy, at.T, at.slopes, at.ga, at.ga_dT);
    if (!k.magnetic)
        return;
    const MagneticModel& m = k.magnetism;
    const auto magnetic = [&](double T) {
        return magnetic_gibbs(T, coefficient_at(s, m.tc_a, T), coefficient_at(s, m.beta_a, T),
                              m.antiferromagnetic_factor, m.structure_factor, at.R) /
               m.atoms;
    };
    at.ga += magnetic(at.T);
    if (at.slopes)
        at.ga_dT += (magnetic(at.T + SLOPE_STEP) - magnetic(at.T - SLOPE_STEP)) / (2.0 * SLOPE_STEP);
}

Jet solution_gibbs_in_T(const System& s, const SolutionKind& k, const Composition& c, double T)
{
    const double x = c.x;
    const double y = c.y;
    // x c_A + y c_B + x y sum_k c_k (x - y)^k, each coefficient a jet in T.
    const auto series_in_T = [&](const Coefficient& a, const Coefficient& b,
                                 const std::vector<Coefficient>& excess) {
        Jet sum = constant(0.0);
        for (std::size_t i = excess.size(); i-- > 0;)
            sum = (x - y) * sum + coefficient_in_T(s, excess[i], T);
        return x * coefficient_in_T(s, a, T) + y * coefficient_in_T(s, b, T) + (x * y) * sum;
    };
    const double mixing = (x > 0.0 ? x * std::log(x) : 0.0) + (y > 0.0 ? y * std::log(y) : 0.0);
    const double R = s.gas_constant;
    Jet g = series_in_T(k.pure_a, k.pure_b, k.excess) + Jet{R * T * mixing, R * mixing, 0.0, 0.0};
    if (!k.magnetic)
        return g;
    const MagneticModel& m = k.magnetism;
    const Jet tc = series_in_T(m.tc_a, m.tc_b, m.tc_excess);
    const Jet beta = series_in_T(m.beta_a, m.beta_b, m.beta_excess);
    return g + (1.0 / m.atoms) *
                   magnetic_gibbs_in_T(T, tc, beta, m.antiferromagnetic_factor, m.structure_factor, R);
}

Jet compound_gibbs_in_T(const System& s, const CompoundKind& k, double T)
{
    const Jet g = coefficient_in_T(s, k.energy, T);
    if (!k.magnetic)
        return g;
    const MagneticModel& m = k.magnetism;
    return g + (1.0 / m.atoms) *
                   magnetic_gibbs_in_T(T, coefficient_in_T(s, m.tc_a, T), coefficient_in_T(s, m.beta_a, T),
                                       m.antiferromagnetic_factor, m.structure_factor, s.gas_constant);
}

double compound_above_line(const PhaseAtT& at, const Composition& c, double mu_a, double mu_b)
{
    const Composition own = point_composition(*at.model);
    return c.x == own.x && c.y == own.y ? at.ga - (c.x * mu_a + c.y * mu_b) : HUGE_VAL;
}

}  // namespace kinds

void solution_parts(const PhaseAtT& at, const double* x, const double* y, std::size_t n, double* rest_a,
                    double* rest_b, double* excess, double* bend)
{
    using kinds::series_columns;
    const SolutionAtT& v = std::get<SolutionAtT>(at.kind);
    // The usual short series with their length fixed at compile time, so that
    // the loop over the points vectorises; the arithmetic is the same.
    using Columns = void (*)(const PhaseAtT&, const SolutionAtT&, const double*, const double*, std::size_t,
                             double*, double*, double*, double*);
    constexpr Columns FIXED[] = {series_columns<0>, series_columns<1>, series_columns<2>, series_columns<3>,
                                 series_columns<4>};
    const Columns columns = v.terms < std::size(FIXED) ? FIXED[v.terms] : series_columns<-1>;
    columns(at, v, x, y, n, rest_a, rest_b, excess, bend);
    if (!v.magnetic)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const Jet m = kinds::magnetic_at(at, v, at.T, x[i], false);
        rest_a[i] += m.v + y[i] * m.d1;
        rest_b[i] += m.v - x[i] * m.d1;
        excess[i] += m.v;
        bend[i] += m.d2;
    }
}

namespace kinds {

namespace {

// Sign changes of a magnetic series are sought at this many points, each
// then by bisection; a corner is one where the curve's slope drops by more
// than DROP (in RT) across 2 SIDE.
constexpr int CORNER_SCAN = 256;
constexpr int CORNER_BISECTIONS = 60;
constexpr double SIDE = 1e-9;
constexpr double DROP = 1e-6;

// x c_0 + y c_1 + x y sum_k c_{k+2} (x - y)^k, as TC and beta are.
double magnetic_series(const double* c, std::size_t terms, double x)
{
    double e[4];
    series(c + 2, terms, 2.0 * x - 1.0, e);
    return x * c[0] + (1.0 - x) * c[1] + x * (1.0 - x) * e[0];
}

}  // namespace

void solution_corners(const PhaseAtT& at, const SolutionAtT& v, std::vector<double>& out)
{
    if (!v.magnetic)
        return;
    const double factor = std::get<SolutionKind>(at.model->kind).magnetism.antiferromagnetic_factor;
    if (factor == 0.0 || factor == 1.0)
        return;
    const auto slope = [&](double x) {
        const Potentials p = potentials(at, composition_from_x(x));
        return p.mu_a - p.mu_b;
    };
    for (const auto& [c, terms] : {std::pair{v.tc, v.tc_terms}, std::pair{v.beta, v.beta_terms}}) {
        double lo = 0.0;
        double f_lo = magnetic_series(c, terms, lo);
        for (int i = 1; i <= CORNER_SCAN; ++i) {
            double hi = static_cast<double>(i) / CORNER_SCAN;
            const double f_hi = magnetic_series(c, terms, hi);
            if ((f_lo < 0.0) != (f_hi < 0.0) && f_lo != 0.0 && f_hi != 0.0) {
                double a = lo;
                double b = hi;
                for (int k = 0; k < CORNER_BISECTIONS; ++k) {
                    const double mid = 0.5 * (a + b);
                    ((magnetic_series(c, terms, mid) < 0.0) == (f_lo < 0.0) ? a : b) = mid;
                }
                const double x = 0.5 * (a + b);
                if (x > SIDE && x < 1.0 - SIDE && slope(x + SIDE) < slope(x - SIDE) - DROP * at.RT)
                    out.push_back(x);
            }
            lo = hi;
            f_lo = f_hi;
        }
    }
}

}  // namespace kinds
