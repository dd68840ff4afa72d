#include "engine/phases/model.h"

#include "engine/phases/magnetic.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace {

constexpr double SLOPE_STEP = 1e-3;  // K: the T slope of a database function, by a central difference

// ln x and ln y, each from whichever fraction is exact.
void logs(const Composition& c, double& ln_x, double& ln_y)
{
    if (c.x <= c.y) {
        ln_x = std::log(c.x);
        ln_y = std::log1p(-c.x);
    } else {
        ln_x = std::log1p(-c.y);
        ln_y = std::log(c.y);
    }
}

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

double database_part(const System& s, const Coefficient& c, double T)
{
    double v = 0.0;
    bool extrapolated = false;  // reported once, at the edge, for the whole range
    for (const auto& [index, scale] : c.parameters)
        v += scale * evaluate(s.parameters[static_cast<std::size_t>(index)], s.functions, T, extrapolated);
    return v;
}

// The coefficient's value and, where asked, its T slope (else 0).
void value_and_slope(const System& s, const Coefficient& c, double T, bool slope, double& v, double& dT)
{
    if (c.melting_point > 0.0) {
        v = c.a * (c.melting_point - T) / c.melting_point;
        dT = -c.a / c.melting_point;
    } else {
        v = c.a + c.b * T;
        dT = c.b;
    }
    if (!c.parameters.empty()) {
        v += database_part(s, c, T);
        const double h = SLOPE_STEP;
        if (slope)
            dT += (database_part(s, c, T + h) - database_part(s, c, T - h)) / (2.0 * h);
    }
}

// The magnetic term per mole of atoms and its derivatives in x (the third
// where asked, else 0).
Jet magnetic_at(const PhaseAtT& at, double x, bool third = true)
{
    const MagneticModel& m = at.model->magnetism;
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
    const Jet g = magnetic_gibbs_jet(at.T, rk(at.tc, at.tc_terms), rk(at.beta, at.beta_terms),
                                     m.antiferromagnetic_factor, m.structure_factor, at.R, third);
    const double per = 1.0 / m.atoms;
    return {g.v * per, g.d1 * per, g.d2 * per, g.d3 * per};
}

}  // namespace

bool temperature_range(double first, double last, double step, TemperatureRange& r)
{
    if (!(first <= last) || !(step > 0.0))
        return false;
    const double steps = (last - first) / step;
    if (!(steps < static_cast<double>(MOST_TEMPERATURES)))
        return false;
    r = {first, last, step, static_cast<long>(std::floor(steps + 1e-9)) + 1};
    return r.count <= MOST_TEMPERATURES;
}

Composition composition_from_x(double x)
{
    return {x, 1.0 - x};  // 1 - x is exact for x >= 0.5, and x itself is the exact one below
}

Composition moved_in_log(const Composition& c, double du)
{
    const double factor = std::exp(du);
    if (c.x <= c.y) {
        const double x = c.x * factor;
        return {x, 1.0 - x};
    }
    const double y = c.y * factor;
    return Composition{1.0 - y, y};
}

namespace {

// ln(p1 / p2) for one component's fractions, given also the other's (q = 1 - p),
// held exactly where small.
double log_ratio(double p1, double q1, double p2, double q2)
{
    double difference = p1 - p2;
    if (p1 > 0.5 && p2 > 0.5)
        difference = q2 - q1;  // exact, where p1 - p2 would lose the small fractions' digits
    if (std::fabs(difference) < 0.5 * p2)
        return std::log1p(difference / p2);
    return std::log(p1) - std::log(p2);
}

}  // namespace

double log_ratio_a(const Composition& c1, const Composition& c2)
{
    return log_ratio(c1.x, c1.y, c2.x, c2.y);
}

double log_ratio_b(const Composition& c1, const Composition& c2)
{
    return log_ratio(c1.y, c1.x, c2.y, c2.x);
}

namespace {

// A pure end of a phase of sublattices per mole of atoms, from its end
// member's G, TC and beta per formula unit; none (HUGE_VAL) where a fixed
// sublattice holds the other element.
double lattice_pure_end(const PhaseModel& m, bool of_a, double T, double R, double g, double tc, double beta)
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

// A property of a phase of sublattices at T.
template <int N>
void lattice_terms_at(const System& s, const LatticeCoefficients& c, double T, LatticeTerms<N>& out)
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

// A two-sublattice phase's coefficients at at.T; ga and gb its pure ends.
PhaseAtT with_sublattices(const System& s, const PhaseModel& m, PhaseAtT at)
{
    SublatticeValues& v = at.lattice;
    v.RT = at.RT;
    v.sites[0] = m.sites[0];
    v.sites[1] = m.sites[1];
    lattice_terms_at(s, m.lattice, at.T, v.g);
    v.magnetic = m.magnetic;
    if (m.magnetic) {
        lattice_terms_at(s, m.lattice_magnetism[0], at.T, v.tc);
        lattice_terms_at(s, m.lattice_magnetism[1], at.T, v.beta);
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
        return m.magnetic
                   ? lattice_pure_end(m, of_a, at.T, at.R, v.g.end[i][j], v.tc.end[i][j], v.beta.end[i][j])
                   : lattice_pure_end(m, of_a, at.T, at.R, v.g.end[i][j], 0.0, 0.0);
    };
    at.ga = end_of(true);
    at.gb = end_of(false);
    return at;
}

// The end a phase's excess is reckoned from: its pure end, or 0 where it has
// none (a phase whose range stops short of it), so that differences stay finite.
double reference_end(double g)
{
    return g == HUGE_VAL ? 0.0 : g;
}

// Where a composition is pure, the minimum's logarithms diverge: a phase of
// two sublattices is taken this close to it, within reach of 1 - x as well
// (1 - 1e-200 is 1), and its grid leaves out the tails below 1e-6 anyway.
constexpr double NEAR_PURE = 1e-12;

}  // namespace

std::vector<PhaseModel> liquid_and_solid(const Component& a, const Component& b, const Solution& liquid,
                                         const Solution& solid)
{
    const auto fusion = [](const Component& c) {
        Coefficient f;
        f.a = c.enthalpy_of_fusion;
        if (c.melting_point_given > 0.0)
            f.melting_point = c.melting_point_given;
        else
            f.b = -c.entropy_of_fusion;
        return f;
    };
    const auto terms = [](const Solution& s) {
        std::vector<Coefficient> out;
        for (const RedlichKister& rk : s.excess) {
            Coefficient c;
            c.a = rk.a;
            c.b = rk.b;
            out.push_back(c);
        }
        return out;
    };
    PhaseModel l;
    l.name = "L";
    l.liquid = true;
    l.pure_a = fusion(a);
    l.pure_b = fusion(b);
    l.excess = terms(liquid);
    PhaseModel s;
    s.name = "S";
    s.excess = terms(solid);
    return {l, s};
}

double coefficient_at(const System& s, const Coefficient& c, double T)
{
    double v = 0.0;
    double unused = 0.0;
    value_and_slope(s, c, T, false, v, unused);
    return v;
}

const PhaseModel& phase_model(const System& s, Phase p)
{
    return s.phases[phase_index(p)];
}

const std::string& phase_name(const System& s, Phase p)
{
    return phase_model(s, p).name;
}

bool is_liquid(const System& s, Phase p)
{
    return phase_model(s, p).liquid;
}

PhaseAtT phase_at(const System& s, Phase p, double T, bool slopes)
{
    const PhaseModel& m = phase_model(s, p);
    // Every scalar set here; the arrays only as far as their counts, which
    // every reader keeps to: value-initialising the whole struct (a kilobyte of
    // series) at each of a path's many solves cost a third of a solidification.
    PhaseAtT at;
    at.sublattices = false;
    at.magnetic = false;
    at.terms = 0;
    at.tc_terms = 0;
    at.beta_terms = 0;
    at.gb = 0.0;
    at.gb_dT = 0.0;
    at.model = &m;
    at.system = &s;
    at.phase = p;
    at.T = T;
    at.R = s.gas_constant;
    at.RT = s.gas_constant * T;
    at.slopes = slopes;
    at.point = m.point;
    if (m.point) {
        value_and_slope(s, m.point_energy, T, slopes, at.ga, at.ga_dT);
        return at;
    }
    at.sublattices = m.sublattices;
    if (m.sublattices)
        return with_sublattices(s, m, at);
    value_and_slope(s, m.pure_a, T, slopes, at.ga, at.ga_dT);
    value_and_slope(s, m.pure_b, T, slopes, at.gb, at.gb_dT);
    at.terms = std::min(m.excess.size(), MOST_EXCESS_TERMS);
    for (std::size_t k = 0; k < at.terms; ++k)
        value_and_slope(s, m.excess[k], T, slopes, at.L[k], at.L_dT[k]);
    if (m.magnetic) {
        const MagneticModel& g = m.magnetism;
        at.tc[0] = coefficient_at(s, g.tc_a, T);
        at.tc[1] = coefficient_at(s, g.tc_b, T);
        at.beta[0] = coefficient_at(s, g.beta_a, T);
        at.beta[1] = coefficient_at(s, g.beta_b, T);
        at.tc_terms = std::min(g.tc_excess.size(), MOST_EXCESS_TERMS);
        at.beta_terms = std::min(g.beta_excess.size(), MOST_EXCESS_TERMS);
        for (std::size_t k = 0; k < at.tc_terms; ++k)
            at.tc[k + 2] = coefficient_at(s, g.tc_excess[k], T);
        for (std::size_t k = 0; k < at.beta_terms; ++k)
            at.beta[k + 2] = coefficient_at(s, g.beta_excess[k], T);
        const auto any = [](const double* c, std::size_t n) {
            return std::any_of(c, c + n, [](double v) { return v != 0.0; });
        };
        at.magnetic = any(at.tc, at.tc_terms + 2) && any(at.beta, at.beta_terms + 2);
    }
    return at;
}

Excess excess_of(const PhaseAtT& at, double x, int derivatives)
{
    if (at.sublattices) {
        // The minimum less the ideal solution of its pure ends; the third
        // derivative by a difference of the second.
        const auto bent = [&](double at_x) {
            const SublatticeMinimum m = sublattice_minimum(at.lattice, at_x);
            const double xi = std::min(std::max(at_x, NEAR_PURE), 1.0 - NEAR_PURE);
            return m.g2 - at.RT / (xi * (1.0 - xi));
        };
        const double xi = std::min(std::max(x, NEAR_PURE), 1.0 - NEAR_PURE);
        const SublatticeMinimum m = sublattice_minimum(at.lattice, xi);
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
    // x y E(t), t = 2x - 1: G_ex' = -t E + 2xy E', G_ex'' = -2E - 4t E' + 4xy E''
    // (the derivatives of E in t).
    double e[4];
    const double t = 2.0 * x - 1.0;
    series(at.L, at.terms, t, e);
    const double xy = x * (1.0 - x);
    Excess out{xy * e[0], -t * e[0] + 2.0 * xy * e[1], -2.0 * e[0] - 4.0 * t * e[1] + 4.0 * xy * e[2],
               -12.0 * e[1] - 12.0 * t * e[2] + 8.0 * xy * e[3]};
    if (at.magnetic) {
        const Jet m = magnetic_at(at, x);
        out.e += m.v;
        out.e1 += m.d1;
        out.e2 += m.d2;
        out.e3 += m.d3;
    }
    return out;
}

namespace {

// The rest of both potentials, the pure parts with E + y E' and E - x E', and
// their T slopes: the series' own, the magnetic term's by a central difference.
// The rests and the curvature as a grid keeps them, with their T slopes where
// at has them: the series' own, the rest's by a central difference.
void rests(const PhaseAtT& at, const Composition& c, Potentials& out, double& e2)
{
    double excess = 0.0;
    double q = -1.0;
    grid_parts(at, c, out.rest_a, out.rest_b, excess, e2, q);
    if (!at.slopes)
        return;
    const double x = c.x;
    const double y = c.y;
    if (at.sublattices) {
        const auto rests_at = [&](double T, double& a, double& b) {
            double unused_excess = 0.0;
            double unused_bend = 0.0;
            double guess = q;
            grid_parts(phase_at(*at.system, at.phase, T, false), c, a, b, unused_excess, unused_bend, guess);
        };
        double a_hot = 0.0;
        double b_hot = 0.0;
        double a_cold = 0.0;
        double b_cold = 0.0;
        rests_at(at.T + SLOPE_STEP, a_hot, b_hot);
        rests_at(at.T - SLOPE_STEP, a_cold, b_cold);
        out.mu_a_dT = (a_hot - a_cold) / (2.0 * SLOPE_STEP);
        out.mu_b_dT = (b_hot - b_cold) / (2.0 * SLOPE_STEP);
        return;
    }
    double eb0 = 0.0;
    double eb1 = 0.0;
    series2(at.L_dT, at.terms, x - y, eb0, eb1);
    out.mu_a_dT = at.ga_dT + y * y * (eb0 + 2.0 * x * eb1);
    out.mu_b_dT = at.gb_dT + x * x * (eb0 - 2.0 * y * eb1);
    if (!at.magnetic)
        return;
    PhaseAtT hotter = at;
    hotter.T = at.T + SLOPE_STEP;
    PhaseAtT colder = at;
    colder.T = at.T - SLOPE_STEP;
    const Jet up = magnetic_at(hotter, x);
    const Jet down = magnetic_at(colder, x);
    out.mu_a_dT += (up.v + y * up.d1 - down.v - y * down.d1) / (2.0 * SLOPE_STEP);
    out.mu_b_dT += (up.v - x * up.d1 - down.v + x * down.d1) / (2.0 * SLOPE_STEP);
}

}  // namespace

Potentials potentials(const PhaseAtT& at, const Composition& c)
{
    double ln_x = 0.0;
    double ln_y = 0.0;
    logs(c, ln_x, ln_y);
    return potentials(at, c, ln_x, ln_y);
}

Potentials potentials(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y)
{
    const double x = c.x;
    const double y = c.y;
    Potentials out{};
    double e2 = 0.0;
    rests(at, c, out, e2);
    out.RT = at.RT;
    out.mu_a = at.RT * ln_x + out.rest_a;
    out.mu_b = at.RT * ln_y + out.rest_b;
    out.mu_a_dT += at.R * ln_x;
    out.mu_b_dT += at.R * ln_y;
    out.curvature = at.RT + x * y * e2;
    if (x <= y) {  // u = ln x: dx/du = x
        out.dmu_a = out.curvature;
        out.dmu_b = -(x / y) * out.curvature;
    } else {  // u = ln y: dx/du = -y
        out.dmu_a = -(y / x) * out.curvature;
        out.dmu_b = out.curvature;
    }
    return out;
}

void lattice_grid_parts(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, double& rest_a,
                        double& rest_b, double& q_guess)
{
    const double x = std::min(std::max(c.x, NEAR_PURE), 1.0 - NEAR_PURE);
    const double y = 1.0 - x;
    const SublatticeMinimum m = sublattice_minimum_near(at.lattice, x, q_guess);
    q_guess = m.q;
    if (x != c.x) {  // held off the pure end, as the minimum is
        ln_x = std::log(x);
        ln_y = std::log1p(-x);
    }
    rest_a = m.g + y * m.g1 - at.RT * ln_x;
    rest_b = m.g - x * m.g1 - at.RT * ln_y;
}

void grid_parts(const PhaseAtT& at, const Composition& c, double& rest_a, double& rest_b, double& excess,
                double& bend, double& q_guess)
{
    if (at.sublattices) {
        const double x = std::min(std::max(c.x, NEAR_PURE), 1.0 - NEAR_PURE);
        const double y = 1.0 - x;
        const SublatticeMinimum m = sublattice_minimum(at.lattice, x, q_guess);
        q_guess = m.q;
        rest_a = m.g + y * m.g1 - at.RT * std::log(x);
        rest_b = m.g - x * m.g1 - at.RT * std::log1p(-x);
        excess = m.g - x * reference_end(at.ga) - y * reference_end(at.gb) -
                 at.RT * (x * std::log(x) + y * std::log(y));
        bend = m.g2 - at.RT / (x * y);
        return;
    }
    solution_parts(at, &c.x, &c.y, 1, &rest_a, &rest_b, &excess, &bend);
}

namespace {

// A solution's series at each of n points: TERMS of them, or at.terms where
// TERMS is negative.
// The columns are distinct arrays (__restrict, which GCC, Clang and MSVC all
// take), so that the loop over the points vectorises.
template <int TERMS>
void series_columns(const PhaseAtT& at, const double* x, const double* y, std::size_t n,
                    double* __restrict rest_a, double* __restrict rest_b, double* __restrict excess,
                    double* __restrict bend)
{
    const double* L = at.L;
    const std::size_t terms = TERMS >= 0 ? static_cast<std::size_t>(TERMS) : at.terms;
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

void solution_parts(const PhaseAtT& at, const double* x, const double* y, std::size_t n, double* rest_a,
                    double* rest_b, double* excess, double* bend)
{
    // The usual short series with their length fixed at compile time, so that
    // the loop over the points vectorises; the arithmetic is the same.
    using Columns = void (*)(const PhaseAtT&, const double*, const double*, std::size_t, double*, double*,
                             double*, double*);
    constexpr Columns FIXED[] = {series_columns<0>, series_columns<1>, series_columns<2>, series_columns<3>,
                                 series_columns<4>};
    const Columns columns = at.terms < std::size(FIXED) ? FIXED[at.terms] : series_columns<-1>;
    columns(at, x, y, n, rest_a, rest_b, excess, bend);
    if (!at.magnetic)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const Jet m = magnetic_at(at, x[i], false);
        rest_a[i] += m.v + y[i] * m.d1;
        rest_b[i] += m.v - x[i] * m.d1;
        excess[i] += m.v;
        bend[i] += m.d2;
    }
}

std::array<double, 2> range_ends(const PhaseModel& m)
{
    const double mixing = m.sites[0] + (m.one_mixing ? 0.0 : m.sites[1]);
    const double n = mixing + m.fixed_sites[0] + m.fixed_sites[1];
    return {m.fixed_sites[0] / n, (m.fixed_sites[0] + mixing) / n};
}

std::array<double, 4> ordered_compositions(const PhaseModel& m)
{
    std::array<double, 4> out = {-1.0, -1.0, -1.0, -1.0};
    // The range's ends, where fixed sublattices bound it (a pure end among them,
    // where an end there that Newton cannot resolve is taken).
    if (m.one_mixing || m.fixed_sites[0] > 0.0 || m.fixed_sites[1] > 0.0) {
        const std::array<double, 2> ends = range_ends(m);
        out[0] = ends[0];
        out[1] = ends[1];
    }
    if (!m.one_mixing) {
        const double n = m.sites[0] + m.sites[1] + m.fixed_sites[0] + m.fixed_sites[1];
        out[2] = (m.fixed_sites[0] + m.sites[0]) / n;
        out[3] = (m.fixed_sites[0] + m.sites[1]) / n;
    }
    return out;
}

Composition point_composition(const PhaseModel& m)
{
    return composition_from_x(m.point_x);
}

double above_line(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, double mu_a,
                  double mu_b)
{
    const double x = c.x;
    const double y = c.y;
    if (at.point) {
        const Composition own = point_composition(*at.model);
        return c.x == own.x && c.y == own.y ? at.ga - (x * mu_a + y * mu_b) : HUGE_VAL;
    }
    if (at.sublattices) {
        if (x == 0.0 || y == 0.0)
            return x == 0.0 ? at.gb - mu_b : at.ga - mu_a;
        return sublattice_minimum(at.lattice, x).g - (x * mu_a + y * mu_b);
    }
    double e0 = 0.0;
    double e1 = 0.0;
    series2(at.L, at.terms, x - y, e0, e1);
    double rest_a = at.ga + y * y * (e0 + 2.0 * x * e1);
    double rest_b = at.gb + x * x * (e0 - 2.0 * y * e1);
    if (at.magnetic) {
        const Jet m = magnetic_at(at, x);
        rest_a += m.v + y * m.d1;
        rest_b += m.v - x * m.d1;
    }
    // x ln x vanishes at x = 0, where mu_a is infinite.
    const double a = x > 0.0 ? x * (at.RT * ln_x + rest_a - mu_a) : 0.0;
    const double b = y > 0.0 ? y * (at.RT * ln_y + rest_b - mu_b) : 0.0;
    return a + b;
}

Potentials potentials(const System& s, Phase p, const Composition& c, double T)
{
    return potentials(phase_at(s, p, T), c);
}

PotentialGap potential_gap(const Composition& c1, const Potentials& m1, const Composition& c2,
                           const Potentials& m2)
{
    const double RT = m1.RT;
    return {log_ratio_a(c1, c2) + (m1.rest_a - m2.rest_a) / RT,
            log_ratio_b(c1, c2) + (m1.rest_b - m2.rest_b) / RT};
}

double gibbs(const System& s, Phase p, const Composition& c, double T)
{
    if (is_point(s, p))
        return above_line(phase_at(s, p, T, false), c, 0.0, 0.0, 0.0, 0.0);
    const Potentials m = potentials(phase_at(s, p, T, false), c);
    // x ln x vanishes at x = 0, where mu_a is infinite.
    const double a = c.x > 0.0 ? c.x * m.mu_a : 0.0;
    const double b = c.y > 0.0 ? c.y * m.mu_b : 0.0;
    return a + b;
}

void curvature(const PhaseAtT& at, double x, double& value, double& slope)
{
    // x y G'' = RT + x y G_ex'', whose slope is (1 - 2x) G_ex'' + x y (G_ex'')'.
    const Excess e = excess_of(at, x, 3);
    const double xy = x * (1.0 - x);
    value = at.RT + xy * e.e2;
    slope = (1.0 - 2.0 * x) * e.e2 + xy * e.e3;
}

void curvature(const System& s, Phase p, double x, double T, double& value, double& slope)
{
    curvature(phase_at(s, p, T, false), x, value, slope);
}

void phase_difference(const PhaseAtT& p, const PhaseAtT& q, double x, double& d, double& d1, double& d2)
{
    const Excess ep = excess_of(p, x, 2);
    const Excess eq = excess_of(q, x, 2);
    const double ga = reference_end(p.ga) - reference_end(q.ga);
    const double gb = reference_end(p.gb) - reference_end(q.gb);
    d = x * ga + (1.0 - x) * gb + (ep.e - eq.e);
    d1 = ga - gb + (ep.e1 - eq.e1);
    d2 = ep.e2 - eq.e2;
}

void phase_difference(const System& s, Phase p, Phase q, double x, double T, double& d, double& d1,
                      double& d2)
{
    phase_difference(phase_at(s, p, T, false), phase_at(s, q, T, false), x, d, d1, d2);
}

namespace {

// A phase's energy of one pure component, and the size its rounding scales with:
// the terms of dH (Tm - T) / Tm or a + b T, or a database energy itself.
double pure_energy(const System& s, Phase p, bool of_a, double T, double& size)
{
    const PhaseModel& m = phase_model(s, p);
    if (m.point) {  // no pure component
        size = 0.0;
        return HUGE_VAL;
    }
    if (m.sublattices) {  // its end member alone
        const int i = of_a ? 0 : 1;
        const int j = of_a || !m.one_mixing ? i : 0;
        const auto at_T = [&](const LatticeCoefficients& c) { return coefficient_at(s, c.end[i][j], T); };
        const double g = m.magnetic
                             ? lattice_pure_end(m, of_a, T, s.gas_constant, at_T(m.lattice),
                                                at_T(m.lattice_magnetism[0]), at_T(m.lattice_magnetism[1]))
                             : lattice_pure_end(m, of_a, T, s.gas_constant, at_T(m.lattice), 0.0, 0.0);
        size = std::fabs(g);
        return g;
    }
    const Coefficient& c = of_a ? m.pure_a : m.pure_b;
    double g = coefficient_at(s, c, T);
    if (m.magnetic) {  // the whole phase at T only for its magnetic term
        const PhaseAtT at = phase_at(s, p, T, false);
        if (at.magnetic)
            g += magnetic_at(at, of_a ? 1.0 : 0.0).v;
    }
    size = c.parameters.empty() ? std::fabs(c.a) + std::fabs(c.b * T) : std::fabs(g);
    return g;
}

}  // namespace

double pure_gibbs(const System& s, Phase p, bool of_a, double T)
{
    double unused = 0.0;
    return pure_energy(s, p, of_a, T, unused);
}

bool exactly_equal_pure(const System& s, Phase p, Phase q, bool of_a, double T)
{
    double size_p = 0.0;
    double size_q = 0.0;
    const double gp = pure_energy(s, p, of_a, T, size_p);
    const double gq = pure_energy(s, q, of_a, T, size_q);
    return std::fabs(gp - gq) <= 8.0 * std::numeric_limits<double>::epsilon() * std::max(size_p, size_q);
}

double pure_transition(const System& s, Phase p, Phase q, bool of_a, double lo, double hi)
{
    const Component& c = of_a ? s.a : s.b;
    const double given = c.melting_point();
    if (s.parameters.empty() && given >= lo && given <= hi)
        return given;  // a system file's liquid and solid: its melting point, exactly
    double size = 0.0;
    const auto difference = [&](double T) {
        return pure_energy(s, p, of_a, T, size) - pure_energy(s, q, of_a, T, size);
    };
    double d_lo = difference(lo);
    const double d_hi = difference(hi);
    if (d_lo == 0.0 || d_hi == 0.0)  // a transition exactly at an end
        return d_lo == 0.0 ? lo : hi;
    if ((d_lo < 0.0) == (d_hi < 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 200 && hi - lo > 0.0; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi)
            break;
        const double d_mid = difference(mid);
        if ((d_mid < 0.0) == (d_lo < 0.0)) {
            lo = mid;
            d_lo = d_mid;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

bool at_piece_limit(const System& s, double T)
{
    const auto near = [&](const Piecewise& p) {
        for (std::size_t k = 1; k + 1 < p.limits.size(); ++k)
            if (std::fabs(p.limits[k] - T) <= 1e-6 * T)
                return true;
        return false;
    };
    return std::any_of(s.functions.bodies.begin(), s.functions.bodies.end(), near) ||
           std::any_of(s.parameters.begin(), s.parameters.end(), near);
}
