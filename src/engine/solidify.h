// Solidification of an alloy of overall composition x0 (mole fraction of A):
// its liquidus and solidus temperatures, the equilibrium (lever rule) and the
// Scheil-Gulliver paths, and the composition profile of a crystal grown from it.
//
// Lever rule: solid and liquid in full equilibrium, the fraction of solid read
// from the tie-line at each temperature. Scheil: no diffusion in the solid,
// complete mixing in the liquid, equilibrium at the interface, so that the
// liquid follows the liquidus and
//   dx_L / df_S = (x_L - x_S) / (1 - f_S),
// integrated here as ln(1 - f_S) = -integral dx_L / (x_L - x_S(x_L)) in the
// logarithm of the liquid's smaller fraction, with adaptive Simpson quadrature
// and each x_S(x_L) solved on the liquidus equations.
#pragma once

#include "engine/diagram.h"
#include "engine/model.h"

#include <functional>
#include <vector>

// One row of solidification.tsv; a field that is not a number is left empty.
struct SolidificationRow {
    double T;
    double f_lever, xs_lever, xl_lever;
    double f_scheil, xs_scheil, xl_scheil;
};

enum class PathEnd {
    pure_component,  // the liquid ends as a pure component at its melting point
    congruent,       // the liquid ends at a congruent minimum
    invariant,       // the remaining liquid freezes at a three-phase invariant
    unresolved,      // the path could not be followed (a doubt says where)
};

struct Solidification {
    double x0;
    double liquidus;             // K
    bool liquidus_at_invariant;  // the first solid forms at an invariant
    double solidus;              // K: the end of equilibrium solidification
    bool solidus_at_invariant;
    InvariantKind solidus_kind;
    bool congruent;    // x0 at a congruent composition: liquidus = solidus
    bool minor_is_a;   // the minor component, whose k is reported
    double partition;  // its x_S / x_L at the liquidus (NaN if not defined)
    PathEnd scheil_end;
    double scheil_end_T;
    double scheil_remaining;                    // the fraction of liquid that freezes at the end
    InvariantKind scheil_kind;                  // when the end is an invariant
    double scheil_last_solid;                   // composition of the last solid to form
    std::vector<InvariantKind> scheil_crossed;  // invariants the Scheil liquid passed on its way
    std::vector<SolidificationRow> rows;        // descending T
    std::vector<double> g, x_solid;             // the segregation profile
    std::vector<Doubt> doubts;
};

// The whole solidification of x0 in (0, 1), rows at the multiples of step (K)
// below the liquidus.
Solidification solidify(const System& s, double x0, double step);

// The Scheil integral on its own: ln(1 - f_S) as the liquid goes from x_from to
// x_to, the solid forming from a liquid x_L being solid(x_L) (mole fractions of A).
double scheil_log_remaining(double x_from, double x_to, const std::function<double(double)>& solid);
