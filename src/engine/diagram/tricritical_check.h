// A tricritical point is where a two-phase region of an ordering closes and
// the ordering goes on continuously: the rows on one side of it hold the
// region, those on the other do not. Its top is placed from rows computed
// near it, and a row near such a top misses the region now and then (the grid
// finds it only from states of a temperature near it): a row between two
// that hold the region can miss it, and a top extrapolated from below that
// row lies below rows that still hold the region (al-fe-2009's D0_3 and B2,
// placed at 434.0 K by rows that found the region up to 438 K). The diagram's
// own rows on both sides of such a top contradict it.
#pragma once

#include "engine/diagram/diagram.h"

#include <vector>

// Whether the rows nearest inv.T below and above it both hold the region of
// inv's two phases about its composition. rows ordered by T.
bool top_contradicted(const std::vector<Equilibria>& rows, const Invariant& inv);

// Each tricritical point of d that its rows contradict, taken from its
// invariants into a doubt that names it: no top placed where the region goes on.
void doubt_contradicted_tops(Diagram& d);
