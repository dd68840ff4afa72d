// A run of the general engine: a system file in, the diagram's tables out.
#pragma once

#include "model.h"

#include <string>

constexpr int UNCONFIRMED = 70;  // exit status after a result the engine could not confirm

constexpr const char* BOUNDARIES_NAME = "boundaries.tsv";
constexpr const char* INVARIANTS_NAME = "invariants.tsv";
constexpr const char* PLOT_INFO_NAME = "diagram.gp";

struct SystemRun {
    std::string system_file;
    std::string output_dir = ".";
};

// Reads the system file at path into s; on failure prints its one message on
// standard error and returns false.
bool load_system(const std::string& path, System& s);

// Reads the file (INPUT_FAILED and a message when it cannot be used, with nothing
// written), computes the diagram, writes the tables and the plot file into the
// output directory together, and prints the summary. Returns 0, INPUT_FAILED,
// OUTPUT_FAILED, or UNCONFIRMED after a warning for each row or event the engine
// could not confirm (the tables are written all the same).
int run_system(const SystemRun& run);
