// A solidification run: an alloy of the built-in system or of a system file,
// frozen by the lever rule and by Scheil, into two tables, the figure's names
// and a summary.
#pragma once

#include "app/system_input.h"
#include "engine/freezing/solidify.h"

#include <string>

constexpr const char* SOLIDIFICATION_NAME = "solidification.tsv";
constexpr const char* SEGREGATION_NAME = "segregation.tsv";
constexpr const char* SOLIDIFICATION_PLOT_INFO_NAME = "solidification.gp";

struct SolidifyRun {
    SystemSource system;
    std::string output_dir = ".";
    double x0 = 0.5;
    double step = 1.0;  // K between rows
};

// Why the system cannot be frozen by steps of step (K): it has not exactly one
// liquid, or the step is too small to tell rows apart. Empty where it can.
std::string solidify_fault(const System& s, double step);

// Why the rows the result needed do not fit in one table; empty where they do.
std::string rows_fault(const Solidification& r, double step);

// Returns COMPLETE, INPUT_FAILED (a system file that cannot be used, nothing
// written), OUTPUT_FAILED, or UNCONFIRMED after a warning for what could not be
// resolved.
int run_solidify(const SolidifyRun& run);
