// The input step the diagram and solidification runs share: the system to
// compute, read from a system file or a database, or taken built in.
#pragma once

#include "engine/database/database_system.h"
#include "engine/freezing/point.h"
#include "engine/phases/model.h"
#include "formats/input_error.h"
#include "formats/units.h"

#include <memory>
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
    double pressure = STANDARD_PRESSURE;  // Pa, what a database's P stands for
    bool celsius = false;                 // temperatures read and written in degrees Celsius
    bool mass_fraction = false;           // compositions read and written as mass fractions
};

// The system, and what a database adds to it: the phases left out, the pure
// elements' transitions and the phases taken beyond their functions' limits.
struct LoadedSystem {
    System system;
    bool database = false;
    std::string path;  // of the database, for messages
    std::vector<LeftOut> left_out;
    std::vector<std::string> rejected;  // by the file itself
    std::vector<std::string> parts;     // only another phase's disordered part
    std::vector<std::string> ignored;   // read without bearing on G
    std::vector<DatabaseWarning> warnings;
    std::vector<PureTransition> transitions_a;
    std::vector<PureTransition> transitions_b;
    std::vector<std::string> extrapolated;
    std::string no_range;  // why the range is empty, when range_later left it so
    Units units;           // what the run reads and writes, with the components' molar masses
    // The grids an alloy's equilibrium is found on, built once by a caller that
    // asks for points one call at a time (the Python module), null elsewhere:
    // they take as long as a point of a system without internal states. They
    // hang on the phases alone, so a copy at another pressure shares them.
    std::shared_ptr<const PointGrids> point_grids;
};

// Fills loaded from source; on failure returns false with error filled, having
// printed nothing.
bool load_system(const SystemSource& source, LoadedSystem& loaded, InputError& error);

// The same, printing the error's one line on standard error on failure (the run
// then ends with INPUT_FAILED, having written nothing).
bool load_system(const SystemSource& source, LoadedSystem& loaded);

// Where a database's parameter, or a function it calls, is not finite at one
// of the temperatures: false with error naming it, its line and the temperature.
bool check_finite(const LoadedSystem& loaded, const std::vector<double>& temperatures, InputError& error);

// The warning for a phase left out, without the program's name before it.
std::string left_out_warning(const LeftOut& l);

// The warnings a database gives: the phases left out, and the faults of the
// file; each with whether it weighs on the result (a warning that does is
// reported with exit status 70).
std::vector<DatabaseWarning> database_warnings(const LoadedSystem& loaded);

// Prints each of those warnings; true where none weighs on the result.
bool warn_database(const LoadedSystem& loaded);
