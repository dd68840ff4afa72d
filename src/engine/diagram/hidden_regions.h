// Where a grid's points alone would miss a region at T, narrower than their
// step: the compositions to sample besides them.
#pragma once

#include "engine/diagram/sampling.h"

#include <vector>

// Compositions to sample besides the grid at T: around a miscibility gap or a
// window of the other phase too narrow for the grid to show (just below a
// critical point, just beside a congruent point), and about a corner that
// bends a curve down. None where no phase has terms beyond ideal mixing.
std::vector<Composition> hidden_regions(const Grid& grid, const std::vector<PhaseAtT>& phases,
                                        const GridEnergies& energies);
