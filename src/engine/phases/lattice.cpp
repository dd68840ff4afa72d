#include "engine/phases/lattice.h"

#include "engine/numerics/small_matrix.h"
#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int N = MOST_FRACTIONS;
constexpr int MOST_FORMS = 1024;  // linear forms a model may hold (the builder keeps to it)
constexpr int MOST_FACTORS = 16;  // forms one term multiplies

// Newton on the internal state: iterations at most, the relative change of
// every fraction below which it has converged, and how far one step may take
// a fraction towards zero (to this share of its value).
constexpr int ITERATIONS = 200;
constexpr double SETTLED = 1e-13;
constexpr double KEEP = 0.02;
constexpr int HALVINGS = 40;  // of a step that does not lower G
// An eigenvalue of the reduced Hessian below this (in RT per formula unit, on
// the fractions' own scale) counts as no curvature: a saddle, stepped off.
constexpr double FLAT = 1e-10;
constexpr double OFF_SADDLE = 0.05;  // how far along a direction of negative curvature
constexpr double DISORDERED = 1e-9;  // equal fractions on equivalent sublattices

double power(double v, int p)
{
    double r = 1.0;
    for (int i = 0; i < p; ++i)
        r *= v;
    return r;
}

// One property summed over its terms: value, gradient and Hessian.
struct Sum {
    double v = 0.0;
    double g[N] = {};
    double h[N * N] = {};
};

void add_term(const LatticeModel& m, const LatticeTerm& t, double value, const double* forms_at, int n,
              bool derivatives, Sum& out)
{
    const std::size_t factors = t.factors.size();
    double E[MOST_FACTORS];
    double d[MOST_FACTORS];
    double e[MOST_FACTORS];
    for (std::size_t i = 0; i < factors; ++i) {
        const double L = forms_at[t.factors[i].first];
        const int p = t.factors[i].second;
        E[i] = power(L, p);
        d[i] = p * power(L, p - 1);
        e[i] = p >= 2 ? p * (p - 1) * power(L, p - 2) : 0.0;
    }
    double all = value;
    for (std::size_t i = 0; i < factors; ++i)
        all *= E[i];
    out.v += all;
    if (!derivatives)
        return;
    const auto except = [&](std::size_t i, std::size_t j) {
        double r = value;
        for (std::size_t k = 0; k < factors; ++k)
            if (k != i && k != j)
                r *= E[k];
        return r;
    };
    for (std::size_t i = 0; i < factors; ++i) {
        const LinearForm& fi = m.forms[static_cast<std::size_t>(t.factors[i].first)];
        const double others = except(i, i);
        const double gi = d[i] * others;
        for (const auto& [q, wq] : fi.terms) {
            out.g[q] += gi * wq;
            if (e[i] != 0.0)
                for (const auto& [r, wr] : fi.terms)
                    out.h[q * n + r] += e[i] * others * wq * wr;
        }
        for (std::size_t j = 0; j < factors; ++j) {
            if (j == i)
                continue;
            const LinearForm& fj = m.forms[static_cast<std::size_t>(t.factors[j].first)];
            const double c = d[i] * d[j] * except(i, j);
            if (c == 0.0)
                continue;
            for (const auto& [q, wq] : fi.terms)
                for (const auto& [r, wr] : fj.terms)
                    out.h[q * n + r] += c * wq * wr;
        }
    }
}

}  // namespace

int fractions_of(const LatticeModel& m)
{
    return m.first.empty() ? 0 : m.first.back();
}

void lattice_atoms(const LatticeModel& m, const SiteFractions& y, double& n_a, double& n)
{
    n_a = 0.0;
    double n_b = 0.0;
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            n_a += m.sites[s] * m.atoms_a[static_cast<std::size_t>(k)] * y[static_cast<std::size_t>(k)];
            n_b += m.sites[s] * m.atoms_b[static_cast<std::size_t>(k)] * y[static_cast<std::size_t>(k)];
        }
    n = n_a + n_b;
}

double lattice_energy(const LatticeAtT& at, const SiteFractions& y, double* gradient, double* hessian)
{
    const LatticeModel& m = *at.model;
    const int n = fractions_of(m);
    const bool derivatives = gradient != nullptr || hessian != nullptr;
    double forms_at[MOST_FORMS];
    for (std::size_t f = 0; f < m.forms.size(); ++f) {
        double v = m.forms[f].constant;
        for (const auto& [q, w] : m.forms[f].terms)
            v += w * y[static_cast<std::size_t>(q)];
        forms_at[f] = v;
    }
    Sum sums[3];
    for (const LatticeTerm& t : m.terms)
        add_term(m, t, at.values[static_cast<std::size_t>(t.value)] * t.scale, forms_at, n, derivatives,
                 sums[static_cast<int>(t.property)]);
    Sum& g = sums[0];
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            const double yk = y[static_cast<std::size_t>(k)];
            if (!(yk > 0.0))
                continue;  // a fraction held at zero: y ln y vanishes, and it never moves
            const double a = at.RT * m.sites[s];
            g.v += a * yk * std::log(yk);
            g.g[k] += a * (std::log(yk) + 1.0);
            g.h[k * n + k] += a / yk;
        }
    if (m.magnetic) {
        const Sum& tc = sums[1];
        const Sum& beta = sums[2];
        const MagneticPartials p =
            magnetic_partials(at.T, tc.v, beta.v, m.antiferromagnetic_factor, m.structure_factor, at.R);
        g.v += p.g;
        if (derivatives)
            for (int q = 0; q < n; ++q) {
                g.g[q] += p.tc * tc.g[q] + p.beta * beta.g[q];
                for (int r = 0; r < n; ++r)
                    g.h[q * n + r] += p.tc * tc.h[q * n + r] + p.beta * beta.h[q * n + r] +
                                      p.tc_tc * tc.g[q] * tc.g[r] + p.beta_beta * beta.g[q] * beta.g[r] +
                                      p.tc_beta * (tc.g[q] * beta.g[r] + beta.g[q] * tc.g[r]);
            }
    }
    if (gradient != nullptr)
        std::copy(g.g, g.g + n, gradient);
    if (hessian != nullptr)
        std::copy(g.h, g.h + n * n, hessian);
    return g.v;
}

namespace {

// The state the minimiser works on: which fractions may move (the others are
// held at zero: those of B at x = 1), and where x's constraint stands.
struct Problem {
    const LatticeAtT& at;
    const LatticeModel& m;
    int n;
    double x;
    bool active[N];
    double w[N];  // c(y) = sum w y = N_A - x N: zero where the state has composition x
    int sublattice_of[N];
};

double constraint(const Problem& p, const SiteFractions& y)
{
    double c = 0.0;
    for (int k = 0; k < p.n; ++k)
        c += p.w[k] * y[static_cast<std::size_t>(k)];
    return c;
}

// F = G / N, its gradient and Hessian in y, from G's.
struct RatioAt {
    double F, atoms;
    double g[N];
    double h[N * N];
};

bool ratio_at(const Problem& p, const SiteFractions& y, bool derivatives, RatioAt& r)
{
    double n_a = 0.0;
    lattice_atoms(p.m, y, n_a, r.atoms);
    if (!(r.atoms > 0.0))
        return false;
    double gG[N];
    double hG[N * N];
    const double G = lattice_energy(p.at, y, derivatives ? gG : nullptr, derivatives ? hG : nullptr);
    r.F = G / r.atoms;
    if (!std::isfinite(r.F))
        return false;
    if (!derivatives)
        return true;
    double dN[N];
    for (int k = 0; k < p.n; ++k) {
        const double a = p.m.sites[static_cast<std::size_t>(p.sublattice_of[k])];
        dN[k] = a * (p.m.atoms_a[static_cast<std::size_t>(k)] + p.m.atoms_b[static_cast<std::size_t>(k)]);
        r.g[k] = (gG[k] - r.F * dN[k]) / r.atoms;
    }
    for (int q = 0; q < p.n; ++q)
        for (int s = 0; s < p.n; ++s)
            r.h[q * p.n + s] = (hG[q * p.n + s] - dN[q] * r.g[s] - r.g[q] * dN[s]) / r.atoms;
    return true;
}

// The reduced variables: each sublattice's moving fractions but its largest,
// which is 1 less the others; dependent[i] is the largest of free[i]'s sublattice.
struct Reduced {
    int m = 0;
    int free[N];
    int dependent[N];
};

Reduced reduce(const Problem& p, const SiteFractions& y)
{
    Reduced r;
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int largest = -1;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] &&
                (largest < 0 || y[static_cast<std::size_t>(k)] > y[static_cast<std::size_t>(largest)]))
                largest = k;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && k != largest) {
                r.free[r.m] = k;
                r.dependent[r.m] = largest;
                ++r.m;
            }
    }
    return r;
}

// An end member on the moving fractions whose c is the highest (most) or the
// lowest, each sublattice's constituent chosen on its own.
void extreme_state(const Problem& p, bool most, SiteFractions& e)
{
    e.fill(0.0);
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int best = -1;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && (best < 0 || (most ? p.w[k] > p.w[best] : p.w[k] < p.w[best])))
                best = k;
        e[static_cast<std::size_t>(best)] = 1.0;
    }
}

// A state of composition x from start, moved towards the end member on the
// other side of x: a convex combination, so every fraction stays in (0, 1).
bool feasible_start(const Problem& p, SiteFractions& y)
{
    const double c0 = constraint(p, y);
    if (c0 == 0.0)
        return true;
    SiteFractions e{};
    extreme_state(p, c0 < 0.0, e);
    const double ce = constraint(p, e);
    if (!((ce > 0.0) != (c0 > 0.0)) || ce == 0.0)
        return false;  // x out of reach
    const double t = c0 / (c0 - ce);
    const double keep = -ce / (c0 - ce);  // 1 - t, without its rounding
    for (int k = 0; k < p.n; ++k)
        y[static_cast<std::size_t>(k)] =
            keep * y[static_cast<std::size_t>(k)] + t * e[static_cast<std::size_t>(k)];
    return true;
}

// The disordered state of the moving fractions: equal on each sublattice.
void disordered_state(const Problem& p, SiteFractions& y)
{
    y.fill(0.0);
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int count = 0;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            count += p.active[k] ? 1 : 0;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            y[static_cast<std::size_t>(k)] = p.active[k] ? 1.0 / count : 0.0;
    }
}

bool usable_guess(const Problem& p, const SiteFractions& y)
{
    for (int k = 0; k < p.n; ++k) {
        const double v = y[static_cast<std::size_t>(k)];
        if (p.active[k] ? !(v > 0.0 && v <= 1.0) : v != 0.0)
            return false;
    }
    return true;
}

// The null space of one vector a (m long) as the columns of z (m x (m - 1)),
// by a Householder reflection that maps a onto the first axis.
void null_space(int m, const double* a, double* z)
{
    double norm = 0.0;
    for (int i = 0; i < m; ++i)
        norm += a[i] * a[i];
    norm = std::sqrt(norm);
    double u[N];
    for (int i = 0; i < m; ++i)
        u[i] = a[i];
    u[0] += a[0] >= 0.0 ? norm : -norm;
    double uu = 0.0;
    for (int i = 0; i < m; ++i)
        uu += u[i] * u[i];
    for (int i = 0; i < m; ++i)
        for (int j = 1; j < m; ++j)
            z[i * (m - 1) + (j - 1)] = (i == j ? 1.0 : 0.0) - (uu > 0.0 ? 2.0 * u[i] * u[j] / uu : 0.0);
}

// The reduced gradient and Hessian, in the free fractions, and the
// constraint's gradient there.
void reduced_derivatives(const Problem& p, const Reduced& v, const RatioAt& r, double* g, double* h,
                         double* a)
{
    const int n = p.n;
    for (int i = 0; i < v.m; ++i) {
        const int k = v.free[i];
        const int d = v.dependent[i];
        g[i] = r.g[k] - r.g[d];
        a[i] = p.w[k] - p.w[d];
        for (int j = 0; j < v.m; ++j) {
            const int l = v.free[j];
            const int e = v.dependent[j];
            h[i * v.m + j] = r.h[k * n + l] - r.h[k * n + e] - r.h[d * n + l] + r.h[d * n + e];
        }
    }
}

// The step in the free fractions: Newton in the null space of the
// constraint, a step off a saddle along its most negative curvature, and
// back onto the constraint. False where there is nothing left to move.
bool newton_step(const Problem& p, const Reduced& v, const RatioAt& r, double c, double* dv, double& decrease)
{
    const int m = v.m;
    double g[N];
    double h[N * N];
    double a[N];
    reduced_derivatives(p, v, r, g, h, a);
    double aa = 0.0;
    for (int i = 0; i < m; ++i)
        aa += a[i] * a[i];
    for (int i = 0; i < m; ++i)
        dv[i] = aa > 0.0 ? -c * a[i] / aa : 0.0;
    const int k = aa > 0.0 ? m - 1 : m;  // the dimension free of the constraint
    decrease = 0.0;
    if (k == 0)
        return true;
    double z[N * N];
    if (aa > 0.0) {
        null_space(m, a, z);
    } else {
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j)
                z[i * m + j] = i == j ? 1.0 : 0.0;
    }
    double rg[N];
    double rh[N * N];
    for (int i = 0; i < k; ++i) {
        rg[i] = 0.0;
        for (int q = 0; q < m; ++q)
            rg[i] += z[q * k + i] * g[q];
        for (int j = 0; j < k; ++j) {
            double s = 0.0;
            for (int q = 0; q < m; ++q) {
                double hz = 0.0;
                for (int l = 0; l < m; ++l)
                    hz += h[q * m + l] * z[l * k + j];
                s += z[q * k + i] * hz;
            }
            rh[i * k + j] = s;
        }
    }
    double values[N];
    double vectors[N * N];
    symmetric_eigen(k, rh, values, vectors);
    double dz[N] = {};
    const double scale = std::max(p.at.RT, 1e-300);
    int most_negative = -1;
    for (int i = 0; i < k; ++i) {
        double qg = 0.0;
        for (int j = 0; j < k; ++j)
            qg += vectors[j * k + i] * rg[j];
        if (values[i] > FLAT * scale) {
            for (int j = 0; j < k; ++j)
                dz[j] -= qg / values[i] * vectors[j * k + i];
            decrease += qg * qg / values[i];
        } else if (most_negative < 0 || values[i] < values[most_negative]) {
            most_negative = i;
        }
    }
    if (most_negative >= 0) {  // a saddle or a flat direction: step off it downhill
        double qg = 0.0;
        for (int j = 0; j < k; ++j)
            qg += vectors[j * k + most_negative] * rg[j];
        const double sign = qg > 0.0 ? -1.0 : 1.0;
        for (int j = 0; j < k; ++j)
            dz[j] += sign * OFF_SADDLE * vectors[j * k + most_negative];
        decrease = HUGE_VAL;  // not near a minimum yet
    }
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < k; ++j)
            dv[i] += z[i * k + j] * dz[j];
    return true;
}

// The fractions after a step dv of the free ones, a share alpha of it.
void apply(const Problem& p, const Reduced& v, const SiteFractions& y, const double* dv, double alpha,
           SiteFractions& out)
{
    out = y;
    for (int i = 0; i < v.m; ++i) {
        out[static_cast<std::size_t>(v.free[i])] += alpha * dv[i];
        out[static_cast<std::size_t>(v.dependent[i])] -= alpha * dv[i];
    }
    (void)p;
}

// The longest share of dv that keeps every fraction above KEEP of its value.
double longest_share(const Problem& p, const Reduced& v, const SiteFractions& y, const double* dv)
{
    double change[N] = {};
    for (int i = 0; i < v.m; ++i) {
        change[v.free[i]] += dv[i];
        change[v.dependent[i]] -= dv[i];
    }
    double alpha = 1.0;
    for (int k = 0; k < p.n; ++k)
        if (p.active[k] && change[k] < 0.0)
            alpha = std::min(alpha, (1.0 - KEEP) * y[static_cast<std::size_t>(k)] / -change[k]);
    return alpha;
}

// dG/dx and d2G/dx2 at a minimum, from the multiplier of the constraint and
// the system the minimum's response to x solves.
void slopes_in_x(const Problem& p, const SiteFractions& y, const RatioAt& r, LatticeMinimum& out)
{
    const Reduced v = reduce(p, y);
    const int m = v.m;
    double dN[N];
    for (int k = 0; k < p.n; ++k) {
        const double a = p.m.sites[static_cast<std::size_t>(p.sublattice_of[k])];
        dN[k] = a * (p.m.atoms_a[static_cast<std::size_t>(k)] + p.m.atoms_b[static_cast<std::size_t>(k)]);
    }
    if (m == 0) {  // no freedom: x fixes the state, and moves it along the one end member's line
        out.g1 = 0.0;
        out.g2 = 0.0;
        return;
    }
    double g[N];
    double h[N * N];
    double a[N];
    reduced_derivatives(p, v, r, g, h, a);
    double ga = 0.0;
    double aa = 0.0;
    for (int i = 0; i < m; ++i) {
        ga += g[i] * a[i];
        aa += a[i] * a[i];
    }
    const double lambda = aa > 0.0 ? -ga / aa : 0.0;
    out.g1 = -lambda * r.atoms;
    // [h a; a^T 0] [dv/dx; dlambda/dx] = [lambda J^T dN; N]
    const int k = m + 1;
    double K[(N + 1) * (N + 1)];
    double b[N + 1];
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j)
            K[i * k + j] = h[i * m + j];
        K[i * k + m] = a[i];
        K[m * k + i] = a[i];
        b[i] = lambda * (dN[v.free[i]] - dN[v.dependent[i]]);
    }
    K[m * k + m] = 0.0;
    b[m] = r.atoms;
    if (!solve_dense(k, K, b)) {
        out.g2 = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    double dN_dx = 0.0;
    for (int i = 0; i < m; ++i)
        dN_dx += (dN[v.free[i]] - dN[v.dependent[i]]) * b[i];
    out.g2 = -b[m] * r.atoms - lambda * dN_dx;
}

Problem problem_at(const LatticeAtT& at, double x)
{
    Problem p{at, *at.model, fractions_of(*at.model), x, {}, {}, {}};
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s)
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k) {
            const double a_k = p.m.atoms_a[static_cast<std::size_t>(k)];
            const double b_k = p.m.atoms_b[static_cast<std::size_t>(k)];
            p.sublattice_of[k] = static_cast<int>(s);
            p.w[k] = p.m.sites[s] * (a_k * (1.0 - x) - x * b_k);
            // At a pure end the other element is absent, exactly.
            p.active[k] = !((x == 1.0 && b_k > 0.0) || (x == 0.0 && a_k > 0.0));
        }
    return p;
}

bool reachable(const Problem& p)
{
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        bool any = false;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            any = any || p.active[k];
        if (!any)
            return false;
    }
    return p.x >= p.m.x_min && p.x <= p.m.x_max;
}

}  // namespace

LatticeMinimum lattice_minimum(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y)
{
    const Problem p = problem_at(at, x);
    LatticeMinimum out{HUGE_VAL, 0.0, 0.0, false, 0};
    if (!reachable(p))
        return out;
    if (guess != nullptr && usable_guess(p, *guess))
        y = *guess;
    else
        disordered_state(p, y);
    if (!feasible_start(p, y))
        return out;
    RatioAt r;
    if (!ratio_at(p, y, true, r))
        return out;
    for (int iteration = 0; iteration < ITERATIONS; ++iteration) {
        out.iterations = iteration + 1;
        const Reduced v = reduce(p, y);
        double dv[N];
        double decrease = 0.0;
        newton_step(p, v, r, constraint(p, y), dv, decrease);
        double alpha = longest_share(p, v, y, dv);
        double biggest = 0.0;  // the step's largest relative change of a fraction
        for (int i = 0; i < v.m; ++i)
            biggest = std::max({biggest, std::fabs(dv[i]) / y[static_cast<std::size_t>(v.free[i])],
                                std::fabs(dv[i]) / y[static_cast<std::size_t>(v.dependent[i])]});
        SiteFractions next{};
        RatioAt rn;
        bool taken = false;
        for (int halving = 0; halving < HALVINGS; ++halving, alpha *= 0.5) {
            apply(p, v, y, dv, alpha, next);
            if (!ratio_at(p, next, true, rn))
                continue;
            // Near the minimum rounding may raise F by a few units of its last
            // place while the state still improves: accept such steps.
            if (rn.F <= r.F + 64.0 * std::numeric_limits<double>::epsilon() * std::fabs(r.F)) {
                taken = true;
                break;
            }
        }
        if (!taken)
            break;
        y = next;
        r = rn;
        if (biggest * alpha < SETTLED && decrease != HUGE_VAL) {
            out.found = true;
            break;
        }
    }
    out.g = r.F;
    if (out.found)
        slopes_in_x(p, y, r, out);
    return out;
}

bool lattice_disordered(const LatticeModel& m, const SiteFractions& y)
{
    for (const std::vector<int>& group : m.equivalent)
        for (std::size_t i = 1; i < group.size(); ++i) {
            const std::size_t s0 = static_cast<std::size_t>(group[0]);
            const std::size_t s = static_cast<std::size_t>(group[i]);
            for (int k = 0; k < m.first[s0 + 1] - m.first[s0]; ++k)
                if (std::fabs(y[static_cast<std::size_t>(m.first[s0] + k)] -
                              y[static_cast<std::size_t>(m.first[s] + k)]) > DISORDERED)
                    return false;
        }
    return true;
}

LatticeMinimum lattice_lowest(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y)
{
    const LatticeModel& m = *at.model;
    LatticeMinimum best = lattice_minimum(at, x, guess, y);
    SiteFractions best_y = y;
    const auto consider = [&](const SiteFractions& start) {
        SiteFractions found{};
        const LatticeMinimum here = lattice_minimum(at, x, &start, found);
        if (here.found && (!best.found || here.g < best.g)) {
            best = here;
            best_y = found;
        }
    };
    if (guess != nullptr) {  // the disordered state too
        SiteFractions found{};
        const LatticeMinimum here = lattice_minimum(at, x, nullptr, found);
        if (here.found && (!best.found || here.g < best.g)) {
            best = here;
            best_y = found;
        }
    }
    // Each ordered arrangement of the equivalent sublattices: every sublattice
    // of a group rich in one or the other of its first two constituents.
    for (const std::vector<int>& group : m.equivalent) {
        const std::size_t count = group.size();
        if (count < 2 || count > 6)
            continue;
        for (unsigned pattern = 1; pattern + 1 < (1U << count); ++pattern) {
            SiteFractions start{};
            for (std::size_t s = 0; s + 1 < m.first.size(); ++s) {
                const int size = m.first[s + 1] - m.first[s];
                for (int k = m.first[s]; k < m.first[s + 1]; ++k)
                    start[static_cast<std::size_t>(k)] = 1.0 / size;
            }
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t s = static_cast<std::size_t>(group[i]);
                const int size = m.first[s + 1] - m.first[s];
                if (size < 2)
                    continue;
                const int rich = m.first[s] + ((pattern >> i) & 1U);
                for (int k = m.first[s]; k < m.first[s + 1]; ++k)
                    start[static_cast<std::size_t>(k)] = k == rich ? 0.9 : 0.1 / (size - 1);
            }
            consider(start);
        }
    }
    y = best_y;
    return best;
}
