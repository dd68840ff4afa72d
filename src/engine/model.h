// The thermodynamic model of a binary A-B with a liquid and a solid solution:
// Gibbs energies of mixing and chemical potentials, with the pure solids as
// reference. x is the mole fraction of A, y = 1 - x that of B.
//
//   G_S(x) = RT[x ln x + y ln y] + x y sum_k LS_k (x - y)^k
//   G_L(x) = x dG_A + y dG_B + RT[x ln x + y ln y] + x y sum_k LL_k (x - y)^k
//
// with dG_i = dH_i - T dS_i = dH_i (Tm_i - T) / Tm_i and Redlich-Kister terms L_k = a_k + b_k T. Every
// quantity is linear in T at fixed composition, which the sweep uses to tabulate
// a whole grid of compositions once.
#pragma once

#include "engine/decimal_grid.h"

#include <algorithm>
#include <string>
#include <vector>

constexpr double R = 8.315;  // J/(mol K), the program's gas constant

enum class Phase { liquid, solid };

// "L" or "S".
const char* phase_letter(Phase p);

struct Component {
    std::string name;
    double enthalpy_of_fusion;         // J/mol
    double entropy_of_fusion;          // J/(mol K)
    double melting_point_given = 0.0;  // K, where the melting point is given; 0: dH / dS

    double melting_point() const
    {
        return melting_point_given > 0.0 ? melting_point_given : enthalpy_of_fusion / entropy_of_fusion;
    }

    // The Gibbs energy of fusion dH - T dS. Given the melting point, as
    // dH (Tm - T) / Tm: near Tm, where the two terms of dH - T dS cancel to a few
    // digits, Tm - T is exact and the energy keeps every digit (0 at Tm itself).
    double fusion_gibbs(double T) const
    {
        if (melting_point_given > 0.0)
            return enthalpy_of_fusion * (melting_point_given - T) / melting_point_given;
        return enthalpy_of_fusion - entropy_of_fusion * T;
    }
};

struct RedlichKister {
    double a;  // J/mol
    double b;  // J/(mol K)
};

struct Solution {
    std::vector<RedlichKister> excess;  // L_0, L_1, ...; none: ideal
};

struct TemperatureRange {
    double first;
    double last;
    double step;
    long count;  // temperatures first + i step, i = 0 ... count - 1, as decimals
    double at(long i) const { return decimal_grid_point(first, step, i); }
};

// The most temperatures a range may hold, and the highest it may reach (K).
constexpr long MOST_TEMPERATURES = 1000000;
constexpr double HIGHEST_TEMPERATURE = 1e5;

// The range first + i step up to last, last included when it lies within 1e-9
// of a step of the grid. False when it would hold more than MOST_TEMPERATURES
// (or first exceeds last, or step is not positive).
bool temperature_range(double first, double last, double step, TemperatureRange& r);

struct System {
    std::string name;
    Component a;
    Component b;
    Solution liquid;
    Solution solid;
    TemperatureRange range;
};

// A composition as both mole fractions, x + y = 1, the smaller one held to its
// full relative precision: a solubility of 1e-15 is not lost to 1 - x.
struct Composition {
    double x;
    double y;
};

Composition composition_from_x(double x);

// The smaller of the two fractions, the one held to its full relative precision.
inline double smaller_fraction(const Composition& c)
{
    return std::min(c.x, c.y);
}

// The composition Newton moves to from c by a step du in the logarithm of the
// smaller fraction: that fraction times e^du, the other 1 minus it. The step
// is taken on the fraction itself, whose doubles are finer than those of its
// logarithm (8.9e-16 apart near ln x = -4, against 1.1e-16 relative).
Composition moved_in_log(const Composition& c, double du);

// ln(c1.x / c2.x) and ln(c1.y / c2.y), each from the difference of the
// fractions where they are close, which both fractions hold exactly.
double log_ratio_a(const Composition& c1, const Composition& c2);
double log_ratio_b(const Composition& c1, const Composition& c2);

// Chemical potentials of A and B in one phase at one composition and temperature,
// relative to the pure solids, and what Newton needs of them.
struct Potentials {
    double mu_a;
    double mu_b;
    double rest_a;  // mu_a - RT ln x: the pure-component and excess parts
    double rest_b;
    double dmu_a;    // d mu_a / du, u the logarithm of the smaller fraction
    double dmu_b;    // d mu_b / du
    double mu_a_dT;  // d mu_a / dT at fixed composition
    double mu_b_dT;
    double curvature;  // RT + x y G_ex''(x) = x y G''(x): negative inside a spinodal
};

Potentials potentials(const System& s, Phase p, const Composition& c, double T);

// mu_a(m1) - mu_a(m2) and mu_b(m1) - mu_b(m2) in units of RT, at c1 and c2,
// each as the logarithm of the ratio of fractions plus the difference of the
// rest: the large RT ln x terms cancel before rounding, so that a narrow region
// keeps its last digits.
struct PotentialGap {
    double a;
    double b;
};

PotentialGap potential_gap(const Composition& c1, const Potentials& m1, const Composition& c2,
                           const Potentials& m2, double T);

// The pure-component part of a phase's potential of A (of B): dG_A (dG_B) for the
// liquid, 0 for the solid, the reference.
double pure_a(const System& s, Phase p, double T);
double pure_b(const System& s, Phase p, double T);

// The rest of the potentials, mixing and excess, as a0 + a1 T (A) and b0 + b1 T
// (B), each to full relative precision however small: mu_a = pure_a + a0 + a1 T.
// Zero for the component that is absent (x = 0 or y = 0).
struct Mixing {
    double a0, a1, b0, b1;
};

Mixing mixing(const System& s, Phase p, const Composition& c);

// Gibbs energy of the phase at c: x mu_a + y mu_b.
double gibbs(const System& s, Phase p, const Composition& c, double T);

// The phase's curvature function x y G'' and its derivative in x, for the critical
// point of a miscibility gap (both zero there).
void curvature(const System& s, Phase p, double x, double T, double& value, double& slope);

// G_L - G_S and its first two derivatives in x: the mixing terms cancel, so this
// is a polynomial; congruent points are its double roots.
void liquid_minus_solid(const System& s, double x, double T, double& d, double& d1, double& d2);
