// What an energy run writes: the phases' curves, the common tangents, and the
// small file the plot script reads beside them.
#pragma once

#include "engine/diagram/energies.h"
#include "engine/phases/model.h"
#include "formats/units.h"

#include <cstdio>
#include <vector>

// "phase\tx\tG", then one row per point of each curve, phase after phase.
void write_energies(std::FILE* f, const System& s, const std::vector<EnergyCurve>& curves);

// "phase_low\tx_low\tphase_high\tx_high\tmu_A\tmu_B", then one row per tangent.
void write_tangents(std::FILE* f, const System& s, const std::vector<Tangent>& tangents);

// gnuplot assignments: the names, T, the phases drawn (those of one point as
// points), the chord between the stable pure components that the figure
// draws the curves against, and a range of it that shows the stable ones.
void write_energy_plot_info(std::FILE* f, const System& s, double T, const std::vector<EnergyCurve>& curves,
                            const Units& u = {});
