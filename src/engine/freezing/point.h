// The equilibrium of one alloy at one temperature: which phases it holds, how
// much of each and of what composition (the lever rule on the stable
// tie-lines), the chemical potentials and activities, and the alloy's G, H, S
// and Cp per mole of atoms.
#pragma once

#include "engine/diagram/diagram.h"
#include "engine/diagram/equilibria.h"
#include "engine/diagram/sampling.h"
#include "engine/phases/model.h"

#include <vector>

struct PhaseShare {
    Phase phase;
    double amount;  // mole fraction of the alloy's atoms
    Composition c;
    // Its internal state, sublattice after sublattice, each in the order its
    // database lists the constituents (a system file's phase: [[x, 1 - x]]).
    std::vector<std::vector<double>> site_fractions;
};

struct PointEquilibrium {
    double T;
    double x0;
    std::vector<PhaseShare> phases;  // one, or the two of a tie-line, in order of x
    double mu_a, mu_b;               // J/mol, against the system's own reference states
    // Against each pure component's stable phase at T: exp((mu - G_pure) / RT).
    double activity_a, activity_b;
    // Per mole of atoms. S and Cp are the T derivatives of the phases' G at
    // their amounts, compositions and internal states held: Cp holds no heat
    // of a transformation or of a change of order under way at T.
    double G, H, S, Cp;
    std::vector<Doubt> doubts;  // what could not be confirmed: the result is then not to be relied on
};

// The grids an alloy's equilibrium is sought on, made once for many alloys.
struct PointGrids {
    Grid coarse;  // make_coarse_grid: first
    Grid full;    // make_grid: where the coarse grid's tangent fails its check
};

PointGrids point_grids(const System& s);

// The equilibria of the alloys of mole fractions x0 of A at T: each from the
// stable equilibria on the coarse grid where its tangent passes the check
// against every phase (tangent_check.h), else from those on the full grid,
// found once for all of them.
std::vector<PointEquilibrium> equilibria_at_points(const System& s, const PointGrids& grids, double T,
                                                   const std::vector<double>& x0);
PointEquilibrium equilibrium_at_point(const System& s, const PointGrids& grids, double T, double x0);

// The same from the stable equilibria at T already found (with what could not
// be confirmed there): many alloys at one temperature share them.
PointEquilibrium equilibrium_at_point(const System& s, const Equilibria& e, const std::vector<Doubt>& doubts,
                                      double x0);

// One phase of the alloy x0 at one temperature of a diagram, by the lever
// rule on its stable tie-lines: what a property diagram draws against T.
struct PhaseFraction {
    double T;
    Phase phase;
    int copy;       // 1 for the richer in A of a phase's two compositions across its gap, else 0
    double amount;  // 0 where the phase is absent at T
    double x;       // NaN there
};

// Phase after phase (in order of first appearance, those that appear at
// all), each at every temperature of d: so that a phase's rows together make
// its curve, falling to 0 where it disappears.
std::vector<PhaseFraction> phase_fractions(const System& s, const Diagram& d, double x0);
