// What a solidification run writes: its two tables and its summary.
#pragma once

#include "engine/freezing/solidify.h"
#include "engine/phases/model.h"
#include "formats/units.h"

#include <cstdio>
#include <string>

// The columns of solidification.tsv, in order: T, the three lever-rule values,
// the three Scheil values, and the solids forming on each path.
constexpr const char* SOLIDIFICATION_COLUMNS[9] = {"T",
                                                   "f_solid_lever",
                                                   "x_solid_lever",
                                                   "x_liquid_lever",
                                                   "f_solid_scheil",
                                                   "x_solid_scheil",
                                                   "x_liquid_scheil",
                                                   "phase_solid_lever",
                                                   "phase_solid_scheil"};

// The solids forming, joined by "+"; nothing once none is.
std::string solids_forming(const System& s, const PhaseFractions& p);

// The header of solidification.tsv, then one row per temperature, empty fields
// where a value is not a number.
// Temperatures and compositions in u; the fractions of solid stay fractions
// of the alloy's atoms in any units.
void write_solidification(std::FILE* f, const System& s, const Solidification& r, const Units& u = {});

// "g\tx_solid", then the segregation profile.
void write_segregation(std::FILE* f, const Solidification& r, const Units& u = {});

// The summary for standard output.
void write_solidification_summary(std::FILE* f, const System& s, const Solidification& r,
                                  const Units& u = {});
