// What a request may ask, checked in one place for the program and for the
// Python module: each check says what a value needs (empty where it is
// sound) in words that both faces put after their own name for it
// ("--step 1e-12 K is below ..." on the command line, "step 1e-12 K is below
// ..." in Python).
#pragma once

#include "engine/freezing/solidify.h"
#include "engine/phases/model.h"
#include "formats/units.h"

#include <string>
#include <vector>

constexpr double HIGHEST_PRESSURE = 1e10;  // Pa
constexpr unsigned MOST_THREADS = 256;

// Whether a system file's name ends in .tdb, in any case: a database.
bool is_database_file(const std::string& path);

// A comma-separated list of names, upper case, into names: none empty, none
// twice. False otherwise.
bool parse_names(const std::string& text, std::vector<std::string>& names);

// A temperature in kelvin: above 0 and at most 100000.
std::string temperature_needs(double T);

// first ... last by step (K) into r: 0 < first <= last <= 100000, a positive
// step, at most 1,000,000 temperatures.
std::string range_needs(double first, double last, double step, TemperatureRange& r);

// An alloy's mole fraction: from 1e-12 to 1 - 1e-12.
std::string x0_needs(double x0);

// A pressure in Pa: above 0 and at most 1e10.
std::string pressure_needs(double P);

// Threads that share a diagram: 1 to 256.
std::string threads_needs(double n);

// A system to freeze: exactly one liquid, its first phase.
std::string liquid_needs(const System& s);

// A step between solidification rows (K): no less than a billionth of the
// higher melting point, where rows are still told apart.
std::string step_needs(const System& s, double step);

// The rows a solidification needed at that step fit in one table.
std::string rows_needs(const Solidification& r, double step);

// Mass fractions need both components' molar masses.
std::string units_needs(const Units& u, const System& s);
