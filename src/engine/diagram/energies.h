// The Gibbs energy curves of the phases at one temperature, the figure the
// textbooks draw beside a diagram: each phase over the range of x it reaches,
// its internal state at its lowest, against the system's reference states.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/phases/model.h"

#include <vector>

// Points across a phase's range: enough that the curve's bends (a gap's two
// wells, an ordered phase's sharp minimum) show at a figure's resolution.
constexpr int CURVE_POINTS = 201;

struct EnergyCurve {
    Phase phase;
    std::vector<double> x;  // rising; only where the phase exists
    std::vector<double> G;  // J/mol of atoms
};

// G of phase p at x and T from every start of its internal state, the lowest
// kept; NaN where the phase does not reach x (outside its range, a compound
// off its point, an ordered phase where it has disordered).
double phase_energy(const System& s, Phase p, double x, double T);

// G of phase p at each of xs (in any order) at T, as phase_energy gives it
// but along the curve: the internal state is carried on from point to point
// in x, both ways, with a search from every start at the first and last
// points and between them wherever SEARCHED_EVERY points and SEARCH_SPACING
// of the phase's range have both passed since the last; each point keeps the lower of the
// two ways. A lower branch found at one point is followed as far as it
// reaches on either side, where a search at every point costs many times as
// much and still misses some.
std::vector<double> phase_energies(const System& s, Phase p, const std::vector<double>& xs, double T);

// Points along a curve between searches of its internal state from every start.
constexpr int SEARCHED_EVERY = 16;
// The share of its own range a curve of many points passes between searches,
// at least. Each branch a search finds is followed both ways, so that a curve
// searched twice as densely (as a diagram's grid is, every 16th of its 512
// points) finds no other branch: not on Al-Ni, Al-Fe, Mo-Re, Fe-C, nor COST
// 507's Al-Fe, Cu-Zn and Fe-Si, at 400 and 1,000 points and nine temperatures.
constexpr double SEARCH_SPACING = 1.0 / 16.0;

// Each phase's curve: CURVE_POINTS evenly over its range (its one point for a
// compound or a phase of one element), the pure ends by their own energies,
// an end short of a pure component a billionth of the range inside it.
std::vector<EnergyCurve> energy_curves(const System& s, double T);

// The lowest energy of a pure component at T among the phases that hold it
// alone: the reference of its activity, and of a figure's chord.
double stable_pure_energy(const System& s, bool of_a, double T);

// A common tangent of a stable two-phase equilibrium: its ends and the line
// x mu_a + (1 - x) mu_b that touches both curves.
struct Tangent {
    Phase low_phase;
    double x_low;
    Phase high_phase;
    double x_high;
    double mu_a, mu_b;  // J/mol
};

std::vector<Tangent> common_tangents(const System& s, const Equilibria& e);
