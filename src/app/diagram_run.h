// A run of the general engine: a system in, the diagram's tables out.
#pragma once

#include "app/system_input.h"
#include "engine/diagram/diagram.h"

#include <string>

constexpr const char* BOUNDARIES_NAME = "boundaries.tsv";
constexpr const char* INVARIANTS_NAME = "invariants.tsv";
constexpr const char* PLOT_INFO_NAME = "diagram.gp";
constexpr const char* REGIONS_NAME = "regions.tsv";
constexpr const char* OUTLINES_NAME = "outlines.tsv";
constexpr const char* LABELS_NAME = "labels.tsv";
constexpr const char* ORDERINGS_NAME = "orderings.tsv";

struct DiagramRun {
    SystemSource system;
    std::string output_dir = ".";
    unsigned threads = 0;         // that share the temperatures; 0: one per core
    bool site_fractions = false;  // each tie-line end's site fractions in boundaries.tsv
    bool zoomed = false;          // the figure's axis of x from x_first to x_last (in the run's units)
    double x_first = 0.0, x_last = 1.0;
};

// The diagram over the system's range on threads threads (0: one per core),
// its progress shown on a terminal: what the diagram and the phase fractions
// both sweep.
Diagram swept_diagram(const System& s, unsigned threads);

// Reads the system (INPUT_FAILED and a message when it cannot be used, with
// nothing written), computes the diagram, writes the tables and the plot file
// into the output directory together, and prints the summary. Returns COMPLETE,
// INPUT_FAILED, OUTPUT_FAILED, or UNCONFIRMED after a warning for each row or
// event the engine could not confirm (the tables are written all the same).
int run_diagram(const DiagramRun& run);
