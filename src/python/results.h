// The result classes the Python module returns, defined in the module.
#pragma once

#include <pybind11/pybind11.h>

// Diagram, Invariant, TieLine, Equilibrium, PhaseState and Solidification.
void define_results(pybind11::module_& m);
