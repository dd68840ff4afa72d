// The diagram's regions: each connected field of one phase or of two phases
// in equilibrium, once, with a point inside it where its label goes. Two
// separate fields of the same phases (one each side of a congruent point)
// are two regions.
#pragma once

#include "engine/diagram/diagram.h"

#include <utility>
#include <vector>

// A region's extent in x at one temperature of the diagram, and the phases at
// its two ends (of a two-phase field, they may go on from an ordered phase to
// its disordered part from row to row).
struct Span {
    double T;
    double left, right;
    Phase left_phase, right_phase;
};

// A corner of a two-phase field's outline: on the boundary of phase.
struct OutlinePoint {
    double x;
    double T;
    Phase phase;
};

struct Region {
    Phase phases[2];
    int count;  // 1 (a single-phase field) or 2
    // Where its label goes: the middle of its widest row, which lies inside it.
    double x;
    double T;
    double width;  // of that row, in x
    // Where a figure's label is led out of a field too narrow for it: the
    // label goes at (x, T), outside, and a short line leads from it to
    // (to_x, to_T) inside. Set by the figure's placement, not here.
    bool led = false;
    double to_x = 0.0, to_T = 0.0;
    // Where a figure's label is a number that its key explains, in place of
    // phases that fit nowhere: the number; 0 where the label is the phases.
    int tag = 0;
    std::vector<Span> spans;  // its rows, by rising T
    // Of a two-phase field, its boundary as one closed line: up the first
    // phase's side, down the second's, back to where it starts, each corner
    // on the phase its row has at that end. Its ends
    // close where the field ends: on an invariant's line between its two
    // phases, at a congruent or critical point, at a pure component's
    // transition, or, at the edge of the range, across its last row.
    std::vector<OutlinePoint> outline;
};

// Every region of the diagram with some width, in order of its label's T, then x.
// A compound's field of no width is left out: it is a line, not a region.
std::vector<Region> diagram_regions(const System& s, const Diagram& d);

// A point inside the region, on one of its rows: where its label goes, or,
// where the label is led out, where the line from it ends.
inline std::pair<double, double> region_point(const Region& r)
{
    return r.led ? std::make_pair(r.to_x, r.to_T) : std::make_pair(r.x, r.T);
}

// One line where an ordering sets in continuously inside single-phase fields
// (orderings.h): the phases either side, and its points by rising T, one per
// row that holds it.
struct OrderingLine {
    Phase left, right;
    std::vector<std::pair<double, double>> points;  // x, T
};

// Every such line of the diagram: the k-th ordering of the same two phases in
// one row continues the k-th of the row before it; a row without it ends it.
std::vector<OrderingLine> ordering_lines(const Diagram& d);
