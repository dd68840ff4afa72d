// Solidification of an alloy of overall composition x0 (mole fraction of A):
// its liquidus and solidus temperatures, the equilibrium (lever rule) and the
// Scheil-Gulliver paths, and the composition profile of a crystal grown from it.
//
// Lever rule: solid and liquid in full equilibrium, the fraction of solid read
// from the tie-line at each temperature. Scheil: see scheil.h. The Scheil path
// is followed once, on temperatures of its own; the rows asked for only sample
// the two paths.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/diagram/invariants.h"
#include "engine/freezing/lever.h"
#include "engine/phases/model.h"

#include <vector>

// One row of solidification.tsv; a field that is not a number is left empty.
struct SolidificationRow {
    double T;
    PhaseFractions lever, scheil;  // the fraction of solid, both compositions and the solids forming
};

enum class PathEnd {
    pure_component,  // the liquid ends as a pure component at its melting point
    congruent,       // the liquid ends at a congruent minimum
    invariant,       // the remaining liquid freezes at a three-phase invariant
    unresolved,      // the path could not be followed (a doubt says where)
};

// The most dilute alloy followed, from either end: x0 from this to 1 minus this.
// Closer to a pure component the liquidus differs from its melting point by
// less than the temperature's own rounding.
constexpr double MOST_DILUTE = 1e-12;

// The most rows a table may have (as many as a system file's temperatures), and
// the most points of a segregation profile.
constexpr long MAX_SOLIDIFICATION_ROWS = 1000000;
constexpr std::size_t MAX_PROFILE_POINTS = 100000;

// The smallest step between rows, relative to the higher melting point: rows
// closer than this are hardly told apart in their 17 printed digits, and no
// table could hold them across any freezing range.
constexpr double SMALLEST_RELATIVE_STEP = 1e-9;

double smallest_step_of(const System& s);

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
    // The fraction of the alloy that freezes as eutectic: the liquid left
    // just above the eutectic where equilibrium freezing ends there (lever),
    // and where the Scheil path does; NaN where freezing ends otherwise.
    double eutectic_lever, eutectic_scheil;
    // Rows the step would need from the liquidus to the end of the Scheil path;
    // over MAX_SOLIDIFICATION_ROWS no row is made, and smallest_step is the
    // smallest step that fits.
    long rows_needed;
    double smallest_step;
    std::vector<SolidificationRow> rows;  // descending T
    std::vector<double> g, x_solid;       // the segregation profile
    std::vector<Doubt> doubts;
};

// The whole solidification of x0 in (0, 1), rows at the multiples of step (K)
// below the liquidus, as decimals.
Solidification solidify(const System& s, double x0, double step);
