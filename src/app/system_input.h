// The input step the diagram and solidification runs share: the system to
// compute, read from a system file or a database, or taken built in.
#pragma once

#include "engine/database_system.h"
#include "engine/model.h"
#include "formats/input_error.h"

#include <string>
#include <vector>

struct SystemSource {
    bool from_file = false;  // a system file or database, else the built-in system
    std::string path;
    std::vector<std::string> components;  // of a database: its two elements
    std::vector<std::string> phases;      // of a database: the phases kept; empty: all
    bool has_temperatures = false;        // --temperatures: in place of the file's own range
    TemperatureRange temperatures{};
    // A database with no default range (neither element melts among the phases
    // kept) loads all the same, its range empty, for callers that give
    // temperatures with each use (the Python module).
    bool range_later = false;
};

// The system, and what a database adds to it: the phases left out, the pure
// elements' transitions and the phases taken beyond their functions' limits.
struct LoadedSystem {
    System system;
    bool database = false;
    std::vector<LeftOut> left_out;
    std::vector<PureTransition> transitions_a;
    std::vector<PureTransition> transitions_b;
    std::vector<std::string> extrapolated;
    std::string no_range;  // why the range is empty, when range_later left it so
};

// Fills loaded from source; on failure returns false with error filled, having
// printed nothing.
bool load_system(const SystemSource& source, LoadedSystem& loaded, InputError& error);

// The same, printing the error's one line on standard error on failure (the run
// then ends with INPUT_FAILED, having written nothing).
bool load_system(const SystemSource& source, LoadedSystem& loaded);

// The warning for a phase left out, without the program's name before it.
std::string left_out_warning(const LeftOut& l);

// Prints a warning for each phase left out; true where there was none.
bool warn_left_out(const LoadedSystem& loaded);
