// The minimum of a phase of sublattices at x and T: a safeguarded Newton on
// the site fractions under the constraint of x from a guess, the states a
// search from every start begins at, and whether a state is ordered.
#include "engine/phases/lattice.h"

#include "engine/numerics/small_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

constexpr int N = MOST_FRACTIONS;

// Newton on the internal state: iterations at most, the relative change of
// every fraction below which it has converged, and how far one step may take
// a fraction towards zero (to this share of its value).
constexpr int ITERATIONS = 200;
constexpr double SETTLED = 1e-13;
constexpr double DECREASE_SETTLED = 1e-4;  // of the rounding of G, per step
constexpr double KEEP = 0.02;
constexpr double MOST_LOG_STEP = 700.0;       // in a fraction's logarithm: e^700 is near the largest double
constexpr double SMALLEST_FRACTION = 1e-300;  // a fraction moved towards zero stops here, still movable
constexpr int HALVINGS = 40;                  // of a step that does not lower G
// An eigenvalue of the reduced Hessian below this (in RT per formula unit, on
// the fractions' own scale) counts as no curvature: a saddle, stepped off.
constexpr double FLAT = 1e-10;
constexpr double OFF_SADDLE =
    0.5;  // how far along a direction of negative curvature, scaled (the line search halves it)
constexpr double DISORDERED = 1e-9;      // equal fractions on equivalent sublattices
constexpr double NEARLY_SETTLED = 1e-6;  // Newton's promised decrease, in RT: a few steps from the minimum
constexpr double EMPTIED = 0.5;          // of the least atoms of an end member: an emptied lattice
constexpr double VACANCY_START = 1e-3;   // a sublattice's vacancies where a search starts
constexpr std::size_t MOST_STARTS = 96;  // end members a search starts towards
// How far inside an end of its range between the pure components a phase is
// taken, as a pure end is held off by the phases' callers (NEAR_PURE).
constexpr double RANGE_END_HELD = 1e-14;
// Back onto x's line after a step: Newton passes at most, and how close to it
// (relative to the constraint's terms) counts as on it.
constexpr int LINE_PASSES = 4;
constexpr double ON_LINE = 4.0 * std::numeric_limits<double>::epsilon();
// The largest change of a fraction's logarithm such a pass may make: beyond
// it the step was long, the line is not close, and the correction would move
// a fraction of 1e-18 to one of 0.5 (vacancies on every sublattice, the
// lattice emptying itself).
constexpr double LINE_STEP = 0.5;

}  // namespace

namespace {

bool holds_atoms(const LatticeModel& m, int k)
{
    return m.atoms_a[static_cast<std::size_t>(k)] + m.atoms_b[static_cast<std::size_t>(k)] > 0.0;
}

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

// Whether y has composition x to the rounding of the constraint's terms.
bool on_line(const Problem& p, const SiteFractions& y)
{
    double size = 0.0;
    for (int k = 0; k < p.n; ++k)
        size += std::fabs(p.w[k] * y[static_cast<std::size_t>(k)]);
    return std::fabs(constraint(p, y)) <= ON_LINE * size;
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
    // Nowhere to move towards: x out of reach, unless the state is on its
    // line already to rounding (a compound of lone constituents, (Al)2(Fe),
    // at its composition 2/3, which no double holds).
    if (!((ce > 0.0) != (c0 > 0.0)) || ce == 0.0)
        return on_line(p, y);
    const double t = c0 / (c0 - ce);
    const double keep = -ce / (c0 - ce);  // 1 - t, without its rounding
    // A fraction both states share stays exactly as it is: a sublattice's
    // lone constituent 1, not 1 + 2e-16.
    for (std::size_t k = 0; k < static_cast<std::size_t>(p.n); ++k)
        if (y[k] != e[k])
            y[k] = keep * y[k] + t * e[k];
    return true;
}

// Where the search starts: each sublattice's moving atoms sharing it
// equally, its vacancies at VACANCY_START (all of it where no atom may move
// there). A condensed start, as vacancies are few in a solid: a start with
// as many vacancies as atoms could slide towards the empty lattice, whose
// energy per atom falls without bound as its last atoms leave.
void start_state(const Problem& p, SiteFractions& y)
{
    y.fill(0.0);
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        int atoms = 0;
        int vacancies = -1;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && holds_atoms(p.m, k))
                ++atoms;
            else if (p.active[k])
                vacancies = k;
        if (atoms == 0) {
            if (vacancies >= 0)  // else nothing may move there: x is out of the phase's reach
                y[static_cast<std::size_t>(vacancies)] = 1.0;
            continue;
        }
        const double share = vacancies >= 0 ? 1.0 - VACANCY_START : 1.0;
        if (vacancies >= 0)
            y[static_cast<std::size_t>(vacancies)] = VACANCY_START;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            if (p.active[k] && holds_atoms(p.m, k))
                y[static_cast<std::size_t>(k)] = share / atoms;
    }
}

// The starts towards each end member of the moving constituents: halfway
// from the condensed start to it. They reach every ordered arrangement of
// the sublattices and every sublattice's vacancies (the constitutional
// vacancies of an aluminide are a minimum of their own, apart from its
// antisites), up to MOST_STARTS of them.
std::vector<SiteFractions> end_member_starts(const Problem& p, const SiteFractions& base)
{
    std::vector<SiteFractions> out;
    const std::size_t sublattices = p.m.first.size() - 1;
    std::vector<int> pick(sublattices);
    for (std::size_t s = 0; s < sublattices; ++s)
        pick[s] = p.m.first[s];
    const auto next_active = [&](std::size_t s, int from) {
        int k = from;
        while (k < p.m.first[s + 1] && !p.active[k])
            ++k;
        return k;
    };
    for (std::size_t s = 0; s < sublattices; ++s)
        pick[s] = next_active(s, pick[s]);
    while (out.size() < MOST_STARTS) {
        SiteFractions start = base;
        for (int k = 0; k < p.n; ++k)
            start[static_cast<std::size_t>(k)] *= 0.1;
        for (std::size_t s = 0; s < sublattices; ++s)
            start[static_cast<std::size_t>(pick[s])] += 0.9;
        out.push_back(start);
        std::size_t s = 0;  // the next end member, the first sublattice fastest
        for (; s < sublattices; ++s) {
            pick[s] = next_active(s, pick[s] + 1);
            if (pick[s] < p.m.first[s + 1])
                break;
            pick[s] = next_active(s, p.m.first[s]);
        }
        if (s == sublattices)
            break;
    }
    return out;
}

// Whether y is a state to start from: its moving fractions positive (and
// at most 1 but for rounding), the others zero.
bool usable_guess(const Problem& p, const SiteFractions& y)
{
    for (int k = 0; k < p.n; ++k) {
        const double v = y[static_cast<std::size_t>(k)];
        if (p.active[k] ? !(v > 0.0 && v <= 1.0 + 1e-9) : v != 0.0)
            return false;
    }
    return true;
}

// Each sublattice's fractions scaled to sum to 1: a state moved by a convex
// combination sums to 1 only to its rounding, and a lone constituent is 1.
void normalise(const Problem& p, SiteFractions& y)
{
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        double sum = 0.0;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            sum += y[static_cast<std::size_t>(k)];
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            y[static_cast<std::size_t>(k)] /= sum;
    }
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
void apply(const Problem& p, const Reduced& v, const SiteFractions& y, const double* dv, double alpha,
           SiteFractions& out)
{
    out = y;
    for (int i = 0; i < v.m; ++i) {
        const auto f = static_cast<std::size_t>(v.free[i]);
        const double du = std::min(alpha * dv[i] / y[f], MOST_LOG_STEP);
        const double moved = std::max(y[f] * std::exp(du), SMALLEST_FRACTION);
        out[static_cast<std::size_t>(v.dependent[i])] -= moved - y[f];
        out[f] = moved;
    }
    (void)p;
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

// Whether x lies outside the range of compositions the phase's end members span.
bool outside_range(const LatticeModel& m, double x)
{
    return !(x >= m.x_min && x <= m.x_max);
}

// Whether every sublattice keeps a constituent that may be there at x (at a
// pure end the other element is absent); the range is looked at before the
// problem is made.
bool reachable(const Problem& p)
{
    for (std::size_t s = 0; s + 1 < p.m.first.size(); ++s) {
        bool any = false;
        for (int k = p.m.first[s]; k < p.m.first[s + 1]; ++k)
            any = any || p.active[k];
        if (!any)
            return false;
    }
    return true;
}

// x held RANGE_END_HELD inside an end of the phase's range that lies between
// the pure components (COST 507's fcc (Ti)(N,Va) at x = 1/2, all N): there, as
// at a pure end, the one state has fractions of exactly 0, from which the
// minimisation in their logarithms finds no state at all.
double inside_range(const LatticeModel& m, double x)
{
    if (m.x_min == m.x_max)
        return x;
    if (m.x_min > 0.0 && x >= m.x_min && x < m.x_min + RANGE_END_HELD)
        return m.x_min + RANGE_END_HELD;
    if (m.x_max < 1.0 && x <= m.x_max && x > m.x_max - RANGE_END_HELD)
        return m.x_max - RANGE_END_HELD;
    return x;
}

// Whether y, exactly on x's line, has no freedom left once x is held (the
// one mixing sublattice of interstitials and vacancies of (Fe)(C,Va)): Newton's
// step there is exactly zero and the state is the minimum as it stands, as the
// first iteration would find it, at the cost of one evaluation less. Most of a
// grid's points start so from their last temperature's state.
bool pinned_on_line(const Problem& p, const SiteFractions& y, const RatioAt& r)
{
    const Reduced v = reduce(p, y);
    if (v.m > 1 || constraint(p, y) != 0.0 || !inside(p, y) || !std::isfinite(r.F))
        return false;
    if (v.m == 0)
        return true;
    const auto f = static_cast<std::size_t>(v.free[0]);
    return p.w[v.free[0]] != p.w[v.dependent[0]] && y[f] >= SMALLEST_FRACTION;
}

}  // namespace

LatticeMinimum lattice_minimum(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y)
{
    LatticeMinimum out{HUGE_VAL, 0.0, 0.0, false, 0};
    const double held = inside_range(*at.model, x);
    if (outside_range(*at.model, held))
        return out;  // before the problem is made: a grid asks at every point
    const Problem p = problem_at(at, held);
    if (!reachable(p))
        return out;
    if (guess != nullptr && usable_guess(p, *guess))
        y = *guess;
    else
        start_state(p, y);
    if (!feasible_start(p, y))
        return out;
    normalise(p, y);
    // The state's ratio and a trial step's, in two buffers whose roles swap
    // where a step is taken: each holds a Hessian of N x N, of which a phase
    // uses its own few fractions' alone.
    RatioAt buffers[2];
    RatioAt* r = &buffers[0];
    if (!ratio_at(p, y, true, *r))
        return out;
    out.found = pinned_on_line(p, y, *r);
    double last_decrease = HUGE_VAL;
    for (int iteration = 0; !out.found && iteration < ITERATIONS; ++iteration) {
        out.iterations = iteration + 1;
        const Reduced v = reduce(p, y);
        double dv[N];
        double decrease = 0.0;
        newton_step(p, v, y, *r, constraint(p, y), dv, decrease);
        // An ordered phase that has no disordered state of its own, at its
        // disordered state with every curvature positive (the ordering's too)
        // and nearly settled: the rest of the search stays there, and finds none.
        if (p.m.ordered_only && decrease <= NEARLY_SETTLED * p.at.RT && lattice_disordered(p.m, y))
            break;
        double alpha = longest_share(p, v, y, dv);
        double biggest = 0.0;  // the step's largest relative change of a fraction
        for (int i = 0; i < v.m; ++i)
            biggest = std::max({biggest, std::fabs(dv[i]) / y[static_cast<std::size_t>(v.free[i])],
                                std::fabs(dv[i]) / y[static_cast<std::size_t>(v.dependent[i])]});
        SiteFractions next{};
        RatioAt* rn = r == &buffers[0] ? &buffers[1] : &buffers[0];
        bool taken = false;
        for (int halving = 0; halving < HALVINGS; ++halving, alpha *= 0.5) {
            apply(p, v, y, dv, alpha, next);
            // A step in the logarithms leaves x's line by its second order:
            // back onto it, so that only states of composition x compare.
            if (!inside(p, next) || !(back_onto_line(p, next) || feasible_start(p, next)) ||
                !ratio_at(p, next, true, *rn))
                continue;
            // Near the minimum rounding may raise F by a few units of its last
            // place while the state still improves: accept such steps.
            if (rn->F <= r->F + 64.0 * std::numeric_limits<double>::epsilon() * std::fabs(r->F)) {
                taken = true;
                break;
            }
        }
        if (!taken)
            break;
        // A step that moved nothing (a saddle's step pushing on a fraction
        // held at SMALLEST_FRACTION) with the decrease of the one before
        // repeats itself exactly at every iteration left: it settles now or never.
        const bool repeats = next == y && decrease == last_decrease;
        y = next;
        r = rn;
        // Settled where every fraction stopped moving, or where two steps in
        // turn promised a decrease below the rounding of G: a fraction of
        // 1e-12 beside ones near 1 keeps moving by its rounding alone.
        const double rounding =
            DECREASE_SETTLED * std::numeric_limits<double>::epsilon() * std::max(std::fabs(r->F), p.at.RT);
        const bool flat = decrease <= rounding && last_decrease <= rounding;
        last_decrease = decrease;
        if (decrease != HUGE_VAL && (biggest < SETTLED || flat)) {
            out.found = true;
            break;
        }
        if (repeats)
            break;
    }
    out.g = r->F;
    if (out.found && p.m.ordered_only && lattice_disordered(p.m, y))
        out.found = false;
    if (out.found && r->atoms < EMPTIED * p.m.least_atoms)
        out.found = false;
    if (out.found)
        slopes_in_x(p, y, *r, out);
    return out;
}

double lattice_order(const LatticeModel& m, const SiteFractions& y)
{
    double order = 0.0;
    for (const std::vector<int>& group : m.equivalent)
        for (std::size_t i = 1; i < group.size(); ++i) {
            const auto s0 = static_cast<std::size_t>(group[0]);
            const auto first0 = static_cast<std::size_t>(m.first[s0]);
            const auto first = static_cast<std::size_t>(m.first[static_cast<std::size_t>(group[i])]);
            const auto size = static_cast<std::size_t>(m.first[s0 + 1] - m.first[s0]);
            for (std::size_t k = 0; k < size; ++k)
                order = std::max(order, std::fabs(y[first0 + k] - y[first + k]));
        }
    return order;
}

bool lattice_disordered(const LatticeModel& m, const SiteFractions& y)
{
    return lattice_order(m, y) <= DISORDERED;
}

bool lattice_starts(const LatticeAtT& at, double x, SiteFractions& base, std::vector<SiteFractions>& towards)
{
    if (outside_range(*at.model, x))
        return false;
    const Problem p = problem_at(at, x);
    if (!reachable(p))
        return false;
    start_state(p, base);
    towards = end_member_starts(p, base);
    return true;
}
