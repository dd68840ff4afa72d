// The command line: what to run and where its files go. Read in full, and every
// argument checked, before any file is opened.
#pragma once

#include "engine/phases/model.h"
#include "request/request.h"

#include <cstdint>
#include <string>
#include <vector>

// An alloy at one temperature: where an equilibrium is asked for.
struct AlloyPoint {
    double T;   // K
    double x0;  // mole fraction of A
};

struct CommandLine {
    bool seeded = false;  // --seed given; otherwise the clock seeds the run
    std::uint32_t seed = 0;
    std::string output_dir = ".";
    bool log = true;
    bool general = false;  // --system given: the general engine instead of the built-in run
    std::string system_file;
    bool solidify = false;  // --solidify given: freeze an alloy of composition x0
    double x0 = 0.0;
    double step = 1.0;              // --step: kelvin between the solidification table's rows
    bool has_temperatures = false;  // --temperatures given: it replaces the file's range
    TemperatureRange temperatures{};
    std::vector<std::string> components;  // --components A,B: a database's two elements, upper case
    std::vector<std::string> phases;      // --phases: the database phases kept, upper case; empty: all
    unsigned threads = 0;                 // --threads: sharing the diagram's temperatures; 0: one per core
    double pressure = STANDARD_PRESSURE;  // --pressure: Pa, what a database's P stands for
    bool site_fractions = false;          // --site-fractions: each tie-line end's site fractions
    bool zoomed = false;                  // --range: the figure's x axis from x_first to x_last
    double x_first = 0.0, x_last = 1.0;
    std::vector<AlloyPoint> points;  // --at T,X0, in the order given
    std::string points_file;         // --at-file: more points, a line T,X0 each
    bool fractions = false;          // --fractions X0: the phases of x0 against T
    double fractions_x0 = 0.0;
    bool energies = false;  // --energies T: the phases' G across x at energies_T
    double energies_T = 0.0;
    bool celsius = false;        // --celsius: temperatures read and written in degrees Celsius
    bool mass_fraction = false;  // --mass-fraction: compositions read and written as mass fractions
    bool list = false;           // --list given: list the database list_file
    std::string list_file;
};

// Reads argv into line. Returns -1 when the run should go on; otherwise the exit
// status the program ends with: 0 after printing the help or the version on
// standard output, USAGE_FAILED after a message on standard error that names the
// problem and points at --help.
int parse_command_line(int argc, char** argv, CommandLine& line);

// Reads a seed: decimal digits only, 0 ... 4294967295. False for anything else.
bool parse_seed(const std::string& text, std::uint32_t& seed);

// Reads a thread count: decimal digits only, 1 ... MOST_THREADS. False otherwise.
bool parse_threads(const std::string& text, unsigned& threads);

// Reads a finite decimal number, all of text and nothing else. False otherwise.
bool parse_number(const std::string& text, double& value);

// Reads "T,X0", blanks around either allowed: 0 < T <= 100000 K, X0 a mole fraction from 1e-12 to 1 - 1e-12.
// False otherwise, with why (what is needed).
// With celsius T is read in degrees Celsius, and held in kelvin.
bool parse_point(const std::string& text, AlloyPoint& point, std::string& why, bool celsius = false);

// Reads "XMIN:XMAX", 0 <= XMIN < XMAX <= 1, a figure's range of x.
bool parse_x_range(const std::string& text, double& first, double& last);

// Reads "FIRST:LAST[:STEP]" (K, or degrees Celsius with celsius; STEP 1 where
// not given) into r in kelvin, as checked_range.
bool parse_temperatures(const std::string& text, TemperatureRange& r, std::string& why, bool celsius = false);

// The range first ... last by step into r: 0 < FIRST <= LAST <= 100000, STEP > 0,
// at most 1,000,000 temperatures. False otherwise, with why (what is needed).
bool checked_range(double first, double last, double step, TemperatureRange& r, std::string& why);
