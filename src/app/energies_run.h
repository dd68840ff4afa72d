// A run of the energy curves at one temperature: every phase's G across x and
// the common tangents of the stable equilibria, for the G-x figure.
#pragma once

#include "app/system_input.h"

#include <string>

constexpr const char* ENERGIES_NAME = "energies.tsv";
constexpr const char* TANGENTS_NAME = "tangents.tsv";
constexpr const char* ENERGY_PLOT_INFO_NAME = "energies.gp";

struct EnergiesRun {
    SystemSource system;
    std::string output_dir = ".";
    double T = 0.0;  // K
};

// Returns COMPLETE, INPUT_FAILED (nothing written), OUTPUT_FAILED, or
// UNCONFIRMED after a warning for each tangent the engine could not confirm
// (the tables are written all the same).
int run_energies(const EnergiesRun& run);
