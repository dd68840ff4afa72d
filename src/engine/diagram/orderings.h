// Where an ordered phase's state sets in continuously inside a single-phase
// field (Al-Fe's B2 above 941 K): no two-phase region marks it, yet the field
// is the disordered phase on one side and the ordered one on the other. The
// grid's samples bracket it at each temperature; a diagram's rows narrow the
// brackets to the onset, to draw the line and label the two sides apart.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/diagram/sampling.h"
#include "engine/phases/model.h"

#include <vector>

// Each pair of neighbouring samples of an ordered phase and its disordered
// part with no tie-line between them, left to right.
std::vector<OrderingBracket> ordering_brackets(const System& s, const std::vector<Sample>& samples,
                                               const std::vector<TieLine>& ties);

// e's brackets narrowed to where the ordered state sets in, left to right: a
// bracket whose ordered side holds no ordered state is left out.
std::vector<Ordering> orderings_at(const System& s, const Equilibria& e);
