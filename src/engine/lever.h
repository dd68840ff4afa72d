// The lever rule: where an alloy of overall composition x0 lies at one
// temperature, and the fraction and compositions of solid and liquid there.
#pragma once

#include "engine/equilibria.h"
#include "engine/invariants.h"
#include "engine/model.h"

// Where x0 lies at one temperature: inside a two-phase region (its tie-line) or
// in a single phase.
struct Location {
    bool two_phase = false;
    TieLine tie{};
    Phase single = Phase::liquid;
};

Location locate(const Equilibria& e, double x0);

// Whether phase p is present at w.
bool contains(const Location& w, Phase p);

// Whether t joins a liquid and a solid (not two compositions of one phase).
bool liquid_and_solid(const TieLine& t);

// The end of t in phase p.
const Composition& end_of(const TieLine& t, Phase p);

// The fraction of solid and the compositions of the solid and the liquid; NaN
// for a phase that is absent, and for the liquid while two liquids coexist.
struct PhaseFractions {
    double f, xs, xl;
};

PhaseFractions lever(const Location& w, double x0);

// The two phases of a three-phase invariant that hold x0 just above it (above)
// or just below it.
PhaseFractions lever_at_invariant(const Invariant& inv, double x0, bool above);

// Whether two locations belong to the same region: the same phases, and ends
// within what one step between temperatures moves them.
bool same_region(const Location& a, const Location& b);
