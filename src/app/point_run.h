// A run of the equilibrium at points: the alloy's state at each (T, x0) asked
// for, on standard output and into equilibrium.json.
#pragma once

#include "app/command_line.h"
#include "app/system_input.h"

#include <string>
#include <vector>

constexpr const char* EQUILIBRIUM_NAME = "equilibrium.json";

// The most points one run takes, from the command line and the file together.
constexpr std::size_t MOST_POINTS = 1000000;

struct PointRun {
    SystemSource system;
    std::string output_dir = ".";
    std::vector<AlloyPoint> points;
    std::string points_file;  // more points, one T,X0 a line; empty: none
};

// Reads the lines T,X0 of path into points, after those already there (T in
// degrees Celsius with celsius, held in kelvin): blank lines and text from #
// on are passed over. False with error naming the line that cannot be read.
bool read_points_file(const std::string& path, std::vector<AlloyPoint>& points, InputError& error,
                      bool celsius = false);

// Returns COMPLETE, INPUT_FAILED (the system or the points file cannot be
// used; nothing written), OUTPUT_FAILED, or UNCONFIRMED after a warning for
// each equilibrium the engine could not confirm (the file is written all the same).
int run_points(const PointRun& run);
