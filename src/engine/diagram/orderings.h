// Where an ordered phase's state sets in continuously inside a single-phase
// field (Al-Fe's B2 above 941 K): no two-phase region marks it, yet the field
// is the disordered phase on one side and the ordered one on the other. The
// grid's samples bracket it at each temperature; a diagram's rows narrow the
// brackets to the onset, to draw the line and label the two sides apart.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/diagram/sampling.h"
#include "engine/diagram/tieline.h"
#include "engine/phases/model.h"

#include <vector>

// Each pair of neighbouring samples of an ordered phase and its disordered
// part with no tie-line between them, left to right.
std::vector<OrderingBracket> ordering_brackets(const System& s, const std::vector<Sample>& samples,
                                               const std::vector<TieLine>& ties);

// e's brackets narrowed to where the ordered state sets in, left to right: a
// bracket whose ordered side holds no ordered state is left out.
std::vector<Ordering> orderings_at(const System& s, const Equilibria& e);

// Whether the hull's step from p at cp to q at cq is an ordering that sets in
// continuously: the two are an ordered phase and its disordered part, and
// the ordered one is barely ordered there. Between them the tangent is
// degenerate (both curves meet with one slope), so Newton finds no region
// or one of no width; a first-order ordering starts well ordered.
// The ordered phase's state, ordered at one grid point and gone (disordered)
// at the next, is followed between them to where it goes: an ordering setting
// in continuously ends there barely ordered (its order falls as the root of
// the distance, some 0.1 at a grid step beyond it), a first-order one well
// ordered or not at all (its state stays, metastable, past the region).
bool continuous_ordering(const System& s, const std::vector<PhaseAtT>& phases, Phase p, const Composition& cp,
                         Phase q, const Composition& cq);

// Whether the hull's step from p at cp to q at cq is an ordering that sets
// in continuously with no region beside, shown without Newton: the ordered
// state barely ordered where it goes between the samples, the ordered curve
// convex from there to its sample, and the disordered curve's tangent there
// (where the two curves meet with one slope) one that no curve dips below.
// A first-order region beside would hold a curve below it: the ordered
// curve, leaving the disordered one where they meet, crosses their tangent
// only where it bends down. Newton between the two curves crawls into their
// degenerate meeting instead (al-fe-2009's A2 and ordered bcc above their
// tricritical point, fifty to a hundred evaluations a row, to find no
// region). The onset is bisected as continuous_ordering does; an order that
// holds as the bisection closes in is a first-order ordering's, and an
// ordered curve barely convex where it meets the disordered one may hold a
// region too shallow for the check: false for both, which Newton solves.
bool continuous_onset_holds(const System& s, const Grid& grid, const std::vector<PhaseAtT>& phases,
                            const GridEnergies& energies, Phase p, const Composition& cp, Phase q,
                            const Composition& cq);
