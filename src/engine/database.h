// A thermodynamic database as CALPHAD assessments publish it: elements, phases
// with their sublattices and constituents, and the parameters of each phase's
// Gibbs energy, each a function of T. What the engine models from it is the
// binary of two of its elements.
#pragma once

#include "engine/temperature_function.h"

#include <string>
#include <vector>

struct DatabasePhase {
    std::string name;
    bool liquid = false;
    std::vector<double> sites;                           // per sublattice
    std::vector<std::vector<std::string>> constituents;  // per sublattice, upper case
    // The magnetic model (Inden-Hillert-Jarl), where the phase has it: the
    // antiferromagnetic factor (-1 for BCC, -3 for FCC and HCP) and the
    // structure factor p (0.40 for BCC, 0.28 for the others).
    bool magnetic = false;
    double antiferromagnetic_factor = 0.0;
    double structure_factor = 0.0;
    int line = 0;  // where the file declares it
};

// G and L are one property; any other than these three (V0, MQ, ...) is kept as
// "other", for the phase models to refuse.
enum class Property { gibbs, curie_temperature, bohr_magneton_number, other };

// One parameter: G (an end member, or an interaction where a sublattice names
// two constituents), TC or BMAGN, of the constituents named on each
// sublattice ("*" for any), of order k in the Redlich-Kister series.
struct DatabaseParameter {
    Property property = Property::gibbs;
    std::string phase;
    std::vector<std::vector<std::string>> constituents;
    int order = 0;
    Piecewise value;
    int line = 0;
};

struct Database {
    std::vector<std::string> elements;  // upper case, without VA and /-
    std::vector<std::string> species;
    FunctionTable functions;
    std::vector<DatabasePhase> phases;
    std::vector<DatabaseParameter> parameters;
};
