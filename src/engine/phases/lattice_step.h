// The state a phase of sublattices is minimised in at x, and Newton's step
// on it: F = G / N and its derivatives in the site fractions, the fractions
// free of each sublattice's sum, the step in the null space of x's
// constraint, taken in the fractions' logarithms and brought back onto x's
// line, and the minimum's slopes in x. The minimiser's loop (lattice.cpp)
// is their one user.
#pragma once

#include "engine/phases/lattice.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace lattice_step {

constexpr int N = MOST_FRACTIONS;
// How close to x's line (relative to the constraint's terms) counts as on it.
constexpr double ON_LINE = 4.0 * std::numeric_limits<double>::epsilon();
constexpr double SMALLEST_FRACTION = 1e-300;  // a fraction moved towards zero stops here, still movable

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
    double dN[N];  // dN/dy: the atoms a formula unit gains with each fraction
};

// c(y), zero where y has composition x.
inline double constraint(const Problem& p, const SiteFractions& y)
{
    double c = 0.0;
    for (int k = 0; k < p.n; ++k)
        c += p.w[k] * y[static_cast<std::size_t>(k)];
    return c;
}

// Whether y has composition x to the rounding of the constraint's terms.
inline bool on_line(const Problem& p, const SiteFractions& y)
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

// F at y, with its derivatives where asked; false where y holds no atoms or F
// is not finite.
bool ratio_at(const Problem& p, const SiteFractions& y, bool derivatives, RatioAt& r);

// The reduced variables: each sublattice's moving fractions but its largest,
// which is 1 less the others; dependent[i] is the largest of free[i]'s sublattice.
struct Reduced {
    int m = 0;
    int free[N];
    int dependent[N];
};

Reduced reduce(const Problem& p, const SiteFractions& y);

// The step in the free fractions dv and the decrease it promises: Newton in
// the null space of the constraint c, or off a saddle along its most
// negative curvature (decrease HUGE_VAL), and back onto the constraint.
bool newton_step(const Problem& p, const Reduced& v, const SiteFractions& y, const RatioAt& r, double c,
                 double* dv, double& decrease);

// The fractions after a share alpha of the step dv, taken in their logarithms.
void apply(const Reduced& v, const SiteFractions& y, const double* dv, double alpha, SiteFractions& out);

// Whether every moving fraction is positive.
bool inside(const Problem& p, const SiteFractions& y);

// y back onto x's line after a step; false where it is not close.
bool back_onto_line(const Problem& p, SiteFractions& y);

// The longest share of dv that keeps each sublattice's largest fraction positive.
double longest_share(const Problem& p, const Reduced& v, const SiteFractions& y, const double* dv);

// dG/dx and d2G/dx2 at a minimum y, into out.
void slopes_in_x(const Problem& p, const SiteFractions& y, const RatioAt& r, LatticeMinimum& out);

}  // namespace lattice_step
