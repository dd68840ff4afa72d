// The events between two rows of a diagram. Between two temperatures whose
// sets of regions differ, the interval is bisected until one event is left,
// which is then solved on its own equations: a three-phase invariant, a
// congruent, critical or tricritical point, a pure component's transition
// where the diagram meets its edge, or a compound turning into another of
// its composition.
#pragma once

#include "engine/diagram/diagram.h"
#include "engine/diagram/sampling.h"

#include <cstddef>
#include <vector>

// Signature of a temperature: the phases of each tie-line, in order of x.
std::vector<int> signature(const Equilibria& e);

// What the event searches of one segment of temperatures share: the system
// and its grid, the diagram their events and doubts go into, the grid's
// memory that the rows they bisect with update, and the halvings they may
// spend in all.
struct SegmentEvents {
    const System& s;
    const Grid& grid;
    Diagram& d;
    GridEnergies& work;
    int halvings_left;
};

// The halvings a segment of so many rows may spend in all: a few events take
// some thirty each, while energies so large that their rounding makes the
// regions flicker at every halving would take two to the thirtieth.
int segment_halvings(std::size_t rows);

// The row's regions that events are read from: gaps and regions of an
// ordering too thin to follow, which would flicker in and out, left out.
Equilibria visible(const SegmentEvents& events, Equilibria e);

// Between two neighbouring visible rows, each change narrowed until it is one
// event, and that event solved; what cannot be is a doubt.
void resolve_events(SegmentEvents& events, const Equilibria& lo, const Equilibria& hi);
