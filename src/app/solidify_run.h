// A solidification run: an alloy of the built-in system or of a system file,
// frozen by the lever rule and by Scheil, into two tables and a summary.
#pragma once

#include "app/system_input.h"

#include <string>

constexpr const char* SOLIDIFICATION_NAME = "solidification.tsv";
constexpr const char* SEGREGATION_NAME = "segregation.tsv";

struct SolidifyRun {
    SystemSource system;
    std::string output_dir = ".";
    double x0 = 0.5;
    double step = 1.0;  // K between rows
};

// Returns COMPLETE, INPUT_FAILED (a system file that cannot be used, nothing
// written), OUTPUT_FAILED, or UNCONFIRMED after a warning for what could not be
// resolved.
int run_solidify(const SolidifyRun& run);
