// The engine's results as Python sees them: numpy columns named as the program's
// tables, small records for invariants and tie-lines, and the checks that turn
// Python arguments into the engine's. Everything here runs with the GIL held.
#pragma once

#include "app/system_input.h"
#include "engine/diagram/diagram.h"
#include "engine/freezing/point.h"
#include "engine/freezing/solidify.h"

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

struct PyInvariant {
    std::string kind;
    double T;
    pybind11::tuple phases;  // of str, ordered by x
    pybind11::tuple x;       // of float, one per phase
};

struct PyTieLine {
    std::string phase_low;
    double x_low;
    std::string phase_high;
    double x_high;
    pybind11::tuple site_fractions;  // (low, high), each a list of sublattices' lists
};

struct PyDiagram {
    pybind11::dict boundaries;  // the columns of boundaries.tsv
    pybind11::dict regions;     // the columns of regions.tsv
    pybind11::list invariants;  // of PyInvariant, ordered by T
    pybind11::tuple warnings;   // of str, as EngineWarning gave them
    pybind11::list outlines;    // of dicts, one per two-phase region, as outlines.tsv
    pybind11::dict labels;      // the columns of labels.tsv
    pybind11::list orderings;   // of dicts, one per line, as orderings.tsv
};

struct PySolidification {
    double x0;
    double liquidus, solidus, scheil_end;  // K
    double partition;                      // the minor component's k at the liquidus, NaN if none
    double eutectic_fraction_lever;        // of the alloy, freezing as eutectic; NaN where none does
    double eutectic_fraction_scheil;
    pybind11::dict table;        // the columns of solidification.tsv
    pybind11::dict segregation;  // "g" and "x_solid"
    pybind11::tuple warnings;
};

// One phase of an equilibrium at a point.
struct PyPhaseState {
    std::string name;
    double amount;
    double x;
    pybind11::list site_fractions;  // of its sublattices, each a list of fractions
};

struct PyEquilibrium {
    double T, x0, P;
    pybind11::list phases;  // of PyPhaseState, in order of x
    pybind11::dict mu;      // by component name, J/mol
    pybind11::dict activity;
    double G, H, S, Cp;
    pybind11::tuple warnings;
};

// The temperatures a diagram is computed at: the system's own range (both
// None), range = (first, last, step) checked as --temperatures is, or
// temperatures, any sequence or 1-D array rising strictly within 0 < T <=
// 100000. ValueError otherwise, and where both are given.
std::vector<double> temperatures_argument(const System& s, const pybind11::object& temperatures,
                                          const pybind11::object& range, const Units& u = {});

// A sequence or 1-D array of numbers as doubles, or ValueError with refusal.
std::vector<double> doubles_argument(const pybind11::object& given, const char* refusal);

// Doubles as a numpy array.
pybind11::object numpy_doubles(const std::vector<double>& v);

// A temperature within 0 < T <= 100000 K, or ValueError naming what.
double temperature_argument(double T, const char* what);

// The results in u, the same doubles the program writes in those units.
PyDiagram diagram_result(const System& s, const Diagram& d, const Units& u = {});
pybind11::list tie_lines(const System& s, const Equilibria& e,
                         const Units& u = {});  // with their ends' site fractions
PySolidification solidification_result(const System& s, const Solidification& r, const Units& u = {});
PyEquilibrium equilibrium_result(const System& s, const PointEquilibrium& e, const Units& u = {});
pybind11::dict fractions_result(const System& s, const std::vector<PhaseFraction>& rows, const Units& u = {});

// The warnings' words, as the program prints them after "warning: ".
std::vector<std::string> warning_texts(const System& s, const std::vector<Doubt>& doubts,
                                       const Units& u = {});

// The components' melting points, by name (NaN for one that never melts).
pybind11::dict melting_points(const System& s);

// The built-in run's table, {"T", "xl", "xs"}, from the rows of a sweep.
pybind11::dict builtin_table(const double* xl, const double* xs);
