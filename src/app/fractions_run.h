// A run of the phase fractions of one alloy against temperature: which phases
// it holds at each temperature of the diagram, how much of each and of what
// composition.
#pragma once

#include "app/system_input.h"
#include "engine/freezing/point.h"

#include <string>

constexpr const char* FRACTIONS_NAME = "fractions.tsv";
constexpr const char* FRACTIONS_PLOT_INFO_NAME = "fractions.gp";

struct FractionsRun {
    SystemSource system;
    std::string output_dir = ".";
    unsigned threads = 0;  // that share the temperatures; 0: one per core
    double x0 = 0.5;
};

// A phase's name in the table, NAME#2 for its second composition across its
// own gap (the one richer in A), as CALPHAD programs name the two.
std::string fraction_name(const System& s, const PhaseFraction& r);

// Returns COMPLETE, INPUT_FAILED (nothing written), OUTPUT_FAILED, or
// UNCONFIRMED after a warning for each row or event the engine could not
// confirm (the table is written all the same).
int run_fractions(const FractionsRun& run);
