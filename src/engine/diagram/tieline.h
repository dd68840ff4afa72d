// Two-phase equilibria: the common tangent of two Gibbs energy curves, solved by
// Newton on the equal-chemical-potential equations in logarithmic compositions.
#pragma once

#include "engine/phases/model.h"

struct TieLine {
    Phase low_phase;  // the phase at the lower mole fraction of A
    Composition low;
    Phase high_phase;
    Composition high;
    double mu_a;  // the common chemical potentials: the tangent is x mu_a + y mu_b
    double mu_b;
    double residual;  // largest potential difference left, in units of RT
};

enum class Refined {
    ok,          // a two-phase equilibrium of finite width
    zero_width,  // the two ends met (a pure melting point, a congruent or a critical point)
    failed,      // Newton did not converge
};

// In RT: the largest residual a tangent keeps beside an ordered composition,
// where x's doubles allow no less; the check of a tangent lets a curve dip
// below it by as much more.
constexpr double KNOWN_TANGENT = 1e-8;

// Newton on mu_a(p, low) = mu_a(q, high), mu_b(p, low) = mu_b(q, high) from the
// given ends, each composition in the logarithm of its smaller fraction. On ok,
// tie holds the two ends, ordered by x, with a residual below 1e-10 RT (beside
// an ordered composition or an edge of a range, within a few roundings of x).
Refined refine_tie_line(const System& s, double T, Phase p, Composition low, Phase q, Composition high,
                        TieLine& tie);

// The same from both phases' coefficients at T, as a temperature's sampling
// already holds them.
Refined refine_tie_line(const PhaseAtT& p_at, Composition low, const PhaseAtT& q_at, Composition high,
                        TieLine& tie);

// The common tangent of tie, as the line x mu_a + y mu_b through both ends: how
// far the phase's curve lies above it at c (negative: below, so not stable).
double above_tangent(const PhaseAtT& p, const Composition& c, const TieLine& tie);

// The lowest point of (curve - tangent) near start, by Newton on its slope; the
// value there is returned, and c is moved to it.
double lowest_above_tangent(const PhaseAtT& p, Composition& c, const TieLine& tie);
