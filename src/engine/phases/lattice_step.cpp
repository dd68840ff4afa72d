// Newton's step on the state of a phase of sublattices at x (lattice_step.h).
#include "engine/phases/lattice_step.h"

#include "engine/numerics/small_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

using namespace lattice_step;

constexpr double KEEP = 0.02;            // of a sublattice's largest fraction, that a step leaves it at least
constexpr double MOST_LOG_STEP = 700.0;  // in a fraction's logarithm: e^700 is near the largest double
// An eigenvalue of the reduced Hessian below this (in RT per formula unit, on
// the fractions' own scale) counts as no curvature: a saddle, stepped off.
constexpr double FLAT = 1e-10;
constexpr double OFF_SADDLE =
    0.5;  // how far along a direction of negative curvature, scaled (the line search halves it)
// Back onto x's line after a step: Newton passes at most.
constexpr int LINE_PASSES = 4;
// The largest change of a fraction's logarithm such a pass may make: beyond
// it the step was long, the line is not close, and the correction would move
// a fraction of 1e-18 to one of 0.5 (vacancies on every sublattice, the
// lattice emptying itself).
constexpr double LINE_STEP = 0.5;

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

// The gradient g and Hessian h of m fractions, in the k directions z's
// columns span: z^T g into rg, z^T h z into rh.
void in_null_space(int m, int k, const double* g, const double* h, const double* z, double* rg, double* rh)
{
    double hz[N * N];  // h z, once for every row of z^T h z
    for (int q = 0; q < m; ++q)
        for (int j = 0; j < k; ++j) {
            double sum = 0.0;
            for (int l = 0; l < m; ++l)
                sum += h[q * m + l] * z[l * k + j];
            hz[q * k + j] = sum;
        }
    for (int i = 0; i < k; ++i) {
        rg[i] = 0.0;
        for (int q = 0; q < m; ++q)
            rg[i] += z[q * k + i] * g[q];
        for (int j = 0; j < k; ++j) {
            double sum = 0.0;
            for (int q = 0; q < m; ++q)
                sum += z[q * k + i] * hz[q * k + j];
            rh[i * k + j] = sum;
        }
    }
}

// Newton's step dz = -rh^-1 rg and the decrease rg rh^-1 rg it promises,
// where every curvature exceeds FLAT * scale (as near a minimum, nearly
// always): the step along every eigenvector, by two Cholesky factors in place
// of the eigenvectors. False, rh and dz untouched, where one does not.
bool convex_step(int k, const double* rg, const double* rh, double scale, double* dz, double& decrease)
{
    double l[N * N];
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(k) * k;
    std::copy(rh, rh + size, l);
    if (!cholesky(k, l, FLAT * scale))
        return false;
    std::copy(rh, rh + size, l);
    if (!cholesky(k, l, 0.0))
        return false;
    double w[N];
    std::copy(rg, rg + k, w);
    cholesky_solve(k, l, w);
    for (int j = 0; j < k; ++j) {
        dz[j] -= w[j];
        decrease += rg[j] * w[j];
    }
    return true;
}

// Newton's step dz on the gradient rg and Hessian rh (overwritten) of k directions, along
// each direction of curvature above FLAT * scale, with the decrease it
// promises; where one is flat or negative (a saddle), a step off it downhill
// along the most negative, and the decrease HUGE_VAL: not near a minimum yet.
void eigen_step(int k, const double* rg, double* rh, double scale, double* dz, double& decrease)
{
    if (convex_step(k, rg, rh, scale, dz, decrease))
        return;
    double values[N];
    double vectors[N * N];
    symmetric_eigen(k, rh, values, vectors);
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
    if (most_negative >= 0) {
        double qg = 0.0;
        for (int j = 0; j < k; ++j)
            qg += vectors[j * k + most_negative] * rg[j];
        const double sign = qg > 0.0 ? -1.0 : 1.0;
        for (int j = 0; j < k; ++j)
            dz[j] += sign * OFF_SADDLE * vectors[j * k + most_negative];
        decrease = HUGE_VAL;
    }
}

}  // namespace

namespace lattice_step {

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
    const double* dN = p.dN;
    for (int k = 0; k < p.n; ++k)
        r.g[k] = (gG[k] - r.F * dN[k]) / r.atoms;
    for (int q = 0; q < p.n; ++q)
        for (int s = 0; s < p.n; ++s)
            r.h[q * p.n + s] = (hG[q * p.n + s] - dN[q] * r.g[s] - r.g[q] * dN[s]) / r.atoms;
    return true;
}

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

// The step in the free fractions: Newton in the null space of the
// constraint, a step off a saddle along its most negative curvature, and
// back onto the constraint. It is solved in the fractions scaled by their
// square roots, in which a small fraction's curvature RT a / y is RT a like
// any other's: a fraction of 1e-100 beside ones near 1 would otherwise spread
// its curvature's rounding over every other direction, and read as flat.
bool newton_step(const Problem& p, const Reduced& v, const SiteFractions& y, const RatioAt& r, double c,
                 double* dv, double& decrease)
{
    const int m = v.m;
    double g[N];
    double h[N * N];
    double a[N];
    reduced_derivatives(p, v, r, g, h, a);
    double root[N];
    for (int i = 0; i < m; ++i)
        root[i] = std::sqrt(y[static_cast<std::size_t>(v.free[i])]);
    for (int i = 0; i < m; ++i) {
        g[i] *= root[i];
        a[i] *= root[i];
        for (int j = 0; j < m; ++j)
            h[i * m + j] *= root[i] * root[j];
    }
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
    in_null_space(m, k, g, h, z, rg, rh);
    double dz[N] = {};
    eigen_step(k, rg, rh, std::max(p.at.RT, 1e-300), dz, decrease);
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < k; ++j)
            dv[i] += z[i * k + j] * dz[j];
        dv[i] *= root[i];
    }
    return true;
}

// The fractions after a share alpha of the step dv of the free ones, taken
// in their logarithms: a free fraction times e^(alpha dv / y), the largest of
// its sublattice less what the others gained. Newton's step in y for a small
// fraction is y (ln y* - ln y), its entropy dominating; in its logarithm that
// is the whole way to its minimum y*, where as a step in y it only multiplies
// it by about ln(y* / y): a fraction at 1e-150 whose minimum lies at 1e-20
// gets there at once rather than in fifty steps, and never reaches zero.
void apply(const Reduced& v, const SiteFractions& y, const double* dv, double alpha, SiteFractions& out)
{
    out = y;
    for (int i = 0; i < v.m; ++i) {
        const auto f = static_cast<std::size_t>(v.free[i]);
        const double du = std::min(alpha * dv[i] / y[f], MOST_LOG_STEP);
        const double moved = std::max(y[f] * std::exp(du), SMALLEST_FRACTION);
        out[static_cast<std::size_t>(v.dependent[i])] -= moved - y[f];
        out[f] = moved;
    }
}

// Whether every moving fraction is positive.
bool inside(const Problem& p, const SiteFractions& y)
{
    for (int k = 0; k < p.n; ++k)
        if (p.active[k] && !(y[static_cast<std::size_t>(k)] > 0.0))
            return false;
    return true;
}

// Back onto x's line after a step in the logarithms, which leaves it by the
// step's second order: Newton on the constraint in the free fractions'
// logarithms, each fraction moved in proportion to itself. A fraction of
// 1e-25 stays one; mixing in an extreme state, as a start is made feasible,
// would lift it to the size of the correction, and the next step would have
// to bring it down again (at 300 K an antisite pair of B2 then swings between
// 1e-6 and 1e-11 for a hundred steps).
bool back_onto_line(const Problem& p, SiteFractions& y)
{
    for (int pass = 0; pass < LINE_PASSES; ++pass) {
        if (on_line(p, y))
            return true;
        const double c = constraint(p, y);
        const Reduced v = reduce(p, y);
        double slope[N];
        double norm = 0.0;
        for (int i = 0; i < v.m; ++i) {
            slope[i] = (p.w[v.free[i]] - p.w[v.dependent[i]]) * y[static_cast<std::size_t>(v.free[i])];
            norm += slope[i] * slope[i];
        }
        if (!(norm > 0.0))
            return false;
        for (int i = 0; i < v.m; ++i)
            if (std::fabs(c * slope[i] / norm) > LINE_STEP)
                return false;
        for (int i = 0; i < v.m; ++i) {
            const auto f = static_cast<std::size_t>(v.free[i]);
            const double moved = y[f] * std::exp(-c * slope[i] / norm);
            y[static_cast<std::size_t>(v.dependent[i])] -= moved - y[f];
            y[f] = moved;
        }
        if (!inside(p, y))
            return false;
    }
    return false;
}

// The longest share of dv that keeps the largest fraction of each sublattice
// above KEEP of its value (the others move in their logarithms).
double longest_share(const Problem& p, const Reduced& v, const SiteFractions& y, const double* dv)
{
    double change[N] = {};
    for (int i = 0; i < v.m; ++i)
        change[v.dependent[i]] -= dv[i];
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
    const double* dN = p.dN;
    if (m == 0) {  // no freedom: x fixes the state, and moves it along the one end member's line
        out.g1 = 0.0;
        out.g2 = 0.0;
        return;
    }
    double g[N];
    double h[N * N];
    double a[N];
    reduced_derivatives(p, v, r, g, h, a);
    // The multiplier by least squares in the fractions scaled by their square
    // roots, as the steps are taken: a fraction of 1e-25 whose logarithm has
    // not quite settled has a gradient of whole RT in y but none in its share
    // of G, and must not move the slope (it moved dG/dx by 1e-5 relative).
    double ga = 0.0;
    double aa = 0.0;
    for (int i = 0; i < m; ++i) {
        const double share = y[static_cast<std::size_t>(v.free[i])];
        ga += g[i] * a[i] * share;
        aa += a[i] * a[i] * share;
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
}  // namespace lattice_step
