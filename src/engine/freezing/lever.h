// The lever rule: where an alloy of overall composition x0 lies at one
// temperature, and the fraction and compositions of solid and liquid there.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/diagram/invariants.h"
#include "engine/phases/model.h"

#include <vector>

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

// Whether any solid is present at w. A system's one liquid is Phase::liquid;
// every other phase is a solid.
bool contains_solid(const Location& w);

// Whether t joins the liquid and a solid (not two solids, nor two compositions of one phase).
bool liquid_and_solid(const TieLine& t);

// The end of t in phase p.
const Composition& end_of(const TieLine& t, Phase p);

// The solid end of a liquid-solid tie-line, and its phase.
const Composition& solid_end(const TieLine& t);
Phase solid_of(const TieLine& t);

// The solid phases present at w, by index: one, or two where w joins two solids;
// none in the liquid.
std::vector<Phase> solids_at(const Location& w);

// The fraction of solid and the compositions of the solid and the liquid; NaN
// for a phase that is absent, and for the liquid while two liquids coexist.
// With them, the solids forming there: one, two where the last liquid freezes
// into two at once (a eutectic), none once no liquid is left to freeze.
struct PhaseFractions {
    double f, xs, xl;
    int solids = 0;
    Phase solid[2] = {Phase::solid, Phase::solid};
};

// f with the one solid p forming, or the two p and q.
PhaseFractions forming(PhaseFractions f, Phase p);
PhaseFractions forming(PhaseFractions f, Phase p, Phase q);

PhaseFractions lever(const Location& w, double x0);

// The two phases of a three-phase invariant that hold x0 just above it (above)
// or just below it.
PhaseFractions lever_at_invariant(const Invariant& inv, double x0, bool above);

// Whether two locations belong to the same region: the same phases, and ends
// within what one step between temperatures moves them.
bool same_region(const Location& a, const Location& b);
