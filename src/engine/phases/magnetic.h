// The magnetic contribution to a phase's Gibbs energy (Inden, Hillert and Jarl),
// per formula unit: G_mag = RT ln(beta + 1) g(tau), tau = T / TC.
#pragma once

#include "engine/numerics/jet.h"

// g(tau) for the structure factor p (0.40 for BCC, 0.28 for the others).
double magnetic_g(double tau, double p);

// G_mag at T for a Curie (or Neel) temperature TC and a mean magnetic moment
// beta; a negative TC or beta (antiferromagnetic) is divided by the
// antiferromagnetic factor (-1 for BCC, -3 for FCC and HCP); nothing where TC
// or beta is 0. R is the gas constant the energies are assessed with.
double magnetic_gibbs(double T, double TC, double beta, double antiferromagnetic_factor, double p, double R);

// G_mag and its derivatives in x, where TC and beta are functions of x; without
// third, d3 is left 0 (the others are the same to the last bit).
Jet magnetic_gibbs_jet(double T, const Jet& TC, const Jet& beta, double antiferromagnetic_factor, double p,
                       double R, bool third = true);

// G_mag and its first and second partial derivatives in TC and beta, where
// these are functions of many variables (a phase's site fractions); a negative
// TC or beta divided by the antiferromagnetic factor, its derivatives with it.
struct MagneticPartials {
    double g, tc, beta, tc_tc, tc_beta, beta_beta;
};
MagneticPartials magnetic_partials(double T, double TC, double beta, double antiferromagnetic_factor,
                                   double p, double R);

// G_mag and its first two derivatives in T, where TC and beta are functions of
// T given with theirs (constants in most databases): what a phase's entropy
// and heat capacity take.
Jet magnetic_gibbs_in_T(double T, const Jet& TC, const Jet& beta, double antiferromagnetic_factor, double p,
                        double R);
