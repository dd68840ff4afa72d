// The units a run reads and writes: temperatures in kelvin or in degrees
// Celsius, compositions as mole or as mass fractions of A. The defaults are
// the engine's own, which every output writes byte for byte as before.
#pragma once

#include <string>

struct Units {
    bool celsius = false;
    bool mass = false;
    double mass_a = 0.0;  // g/mol, where mass
    double mass_b = 0.0;
};

constexpr double ZERO_CELSIUS = 273.15;  // K

// A temperature of the engine (K) in the units, as a number and as text, the
// same double either way: in degrees Celsius the shortest decimal within the
// rounding of the subtraction (773.25 K is 500.1 degrees, not 500.10000000000002).
double temperature_value(const Units& u, double kelvin);
std::string temperature_text(const Units& u, double kelvin);

// "K", or "°C".
const char* temperature_unit(const Units& u);

// A mole fraction of A in the units, as a number and as text, the same double
// either way: for a mass fraction the shortest decimal within the rounding of
// its conversion.
double fraction_value(const Units& u, double x);
std::string fraction_text(const Units& u, double x);

// "mole fraction", or "mass fraction".
const char* fraction_words(const Units& u);

// What a caller gives in the units, in the engine's: kelvin, a mole fraction.
double kelvin_from(const Units& u, double t);
double mole_fraction_from(const Units& u, double w);
