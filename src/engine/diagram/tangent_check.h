// Whether a line is the stable tangent at one temperature: no phase anywhere
// below it. Each tie-line the hull gives Newton is checked so (confirmed), on
// the grid its samples came from. One alloy's equilibrium is first sought on
// a coarse grid (make_coarse_grid), and taken only where its tangent passes
// the check against the full grid; every point of that grid is then no
// longer needed.
#pragma once

#include "engine/diagram/sampling.h"
#include "engine/diagram/tieline.h"
#include "engine/phases/model.h"

#include <vector>

// The lowest that any phase lies above the line x mu_a + y mu_b, in J/mol:
// at every point of full for a phase without an internal state (each a
// closed form), at the points of coarse where energies holds its minimum for
// one with (each a minimisation), and, about every local minimum of either
// within NEAR_LINE of the line, at the lowest point between its neighbours.
double lowest_above_line(const Grid& full, const Grid& coarse, const GridEnergies& energies,
                         const std::vector<PhaseAtT>& phases, double mu_a, double mu_b);

// Whether tie's tangent is stable: no curve dips below it, at the grid's
// points (each phase's minimum there) and at the lowest points between, by
// more than rounding and the tangent's own residual. Where one does, false,
// with the lowest such point in dip.
bool confirmed(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
               const TieLine& tie, Composition& dip);
