// A miscibility gap in one phase's curve where the curve bends at a Curie
// temperature (its curvature jumps there, and just beyond the bend it may dip
// below zero: COST 507's bcc of Fe with V, Ti, Zr, Zn or Li near 794 K). Newton
// on the equal potentials may settle on the trivial root at the bend however
// close it starts, and the gap's top is no smooth critical point: its tangent
// by bisection on the tangent's slope, and its top where the curvature just
// beyond the bend reaches zero.
#pragma once

#include "engine/diagram/tieline.h"

// The tangent of the gap of phase at whose spinodal lies between low and
// high: ok with tie polished by Newton from the bisection's ends; failed where
// the curvature between them is nowhere negative or no tangent is found.
Refined gap_by_slopes(const PhaseAtT& at, const Composition& low, const Composition& high, TieLine& tie);

// The top of such a gap, open at T with its ends at x = low and high: the
// temperature beyond T (above it for direction 1, below for -1) where the
// lowest curvature near the gap (just beyond the bend) reaches zero, and x
// where it lies there. False where it is not negative at T, or not closed
// within 20 K.
bool kinked_critical(const System& s, Phase p, double low, double high, double direction, double& x,
                     double& T);
