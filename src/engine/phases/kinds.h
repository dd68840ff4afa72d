// Each kind of phase's side of the contract in model.h, which phase.cpp
// dispatches to: at one temperature, its coefficients; at a composition, its
// excess, the rests of its potentials, how far it lies above a line, and its
// pure ends. Not for use outside the phases step.
#pragma once

#include "engine/phases/model.h"

#include <cmath>
#include <vector>

namespace kinds {

// The T slope of a database function, by a central difference over this (K).
constexpr double SLOPE_STEP = 1e-3;

// Where a composition is pure, the minimum's logarithms diverge: a phase with
// an internal state is taken this close to it, within reach of 1 - x as well
// (1 - 1e-200 is 1), and its grid leaves out the tails below 1e-6 anyway.
constexpr double NEAR_PURE = 1e-12;

// A phase's energy of one pure component at T, and the size its rounding
// scales with (the terms of dH (Tm - T) / Tm or a + b T, or a database energy
// itself); HUGE_VAL where it holds none of it (a compound).
double pure_energy(const System& s, Phase p, bool of_a, double T, double& size);

// The end a phase's excess is reckoned from: its pure end, or 0 where it has
// none (a phase whose range stops short of it), so that differences stay finite.
inline double reference_end(double g)
{
    return g == HUGE_VAL ? 0.0 : g;
}

// The rests of both potentials and the curvature's excess part at c, with T
// slopes where at has them.
struct Rests {
    double a, b, e2, a_dT, b_dT;
};

// A solution.
void solution_at(const System& s, const SolutionKind& k, PhaseAtT& at);
Excess solution_excess(const PhaseAtT& at, const SolutionAtT& v, double x, int derivatives);
Rests solution_rests(const PhaseAtT& at, const SolutionAtT& v, const Composition& c);
double solution_above_line(const PhaseAtT& at, const SolutionAtT& v, const Composition& c, double ln_x,
                           double ln_y, double mu_a, double mu_b);
double solution_pure(const System& s, const SolutionKind& k, bool of_a, double T, double& size);
Jet solution_gibbs_in_T(const System& s, const SolutionKind& k, const Composition& c, double T);
void solution_corners(const PhaseAtT& at, const SolutionAtT& v, std::vector<double>& out);

// A compound.
void compound_at(const System& s, const CompoundKind& k, PhaseAtT& at);
double compound_above_line(const PhaseAtT& at, const Composition& c, double mu_a, double mu_b);
Jet compound_gibbs_in_T(const System& s, const CompoundKind& k, double T);

// A pair of sublattices.
void pair_at(const System& s, const SublatticePairKind& m, PhaseAtT& at);
Excess pair_excess(const PhaseAtT& at, const SublatticePairAtT& v, double x, int derivatives);
Rests pair_rests(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c);
double pair_above_line(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c, double mu_a,
                       double mu_b);
double pair_pure(const System& s, const SublatticePairKind& m, bool of_a, double T, double& size);
void pair_grid_parts(const PhaseAtT& at, const SublatticePairAtT& v, const Composition& c, double ln_x,
                     double ln_y, bool known, InternalMemory& memory, double& q, double& rest_a,
                     double& rest_b);
std::vector<double> pair_ordered_compositions(const SublatticePairKind& m);
std::array<double, 2> pair_range_ends(const SublatticePairKind& m);

// A phase of any sublattices.
void lattice_at(const System& s, const LatticeKind& k, PhaseAtT& at);
Excess lattice_excess(const PhaseAtT& at, const LatticeAtT& v, double x, int derivatives);
Rests lattice_rests(const PhaseAtT& at, const LatticeAtT& v, const Composition& c);
double lattice_above_line(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double mu_a,
                          double mu_b);
double lattice_pure(const System& s, const LatticeKind& k, bool of_a, double T, double& size);
void lattice_pure_ends(const System& s, const LatticeKind& k, double T, InternalMemory memory[2],
                       double g[2]);
void lattice_grid_parts(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double ln_x,
                        double ln_y, bool known, InternalMemory& memory, InternalMemory& neighbour,
                        double& rest_a, double& rest_b);
bool lattice_grid_spread(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double ln_x,
                         double ln_y, InternalMemory& memory, const InternalMemory& beside, double& rest_a,
                         double& rest_b);
void lattice_stagger_search(InternalMemory& memory, std::size_t point);
bool lattice_rests_following(const PhaseAtT& at, const LatticeAtT& v, const Composition& c,
                             InternalMemory& state, bool search, double& rest_a, double& rest_b);
bool lattice_rests_carried(const PhaseAtT& at, const LatticeAtT& v, const Composition& c,
                           InternalMemory& state, double& rest_a, double& rest_b);
std::vector<double> lattice_ordered_compositions(const LatticeKind& k);
std::vector<std::vector<double>> lattice_site_fractions(const System& s, const LatticeKind& k, double x,
                                                        double T);
double lattice_ordering(const LatticeAtT& v, const Composition& c);
int lattice_pattern_at(const LatticeAtT& v, const Composition& c);
Jet lattice_gibbs_in_T(const System& s, const LatticeKind& k, double x, double T);
StateInT lattice_state_in_T(const System& s, const LatticeKind& k, double x, double T);

}  // namespace kinds
