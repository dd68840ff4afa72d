// The diagram's regions: each connected field of one phase or of two phases
// in equilibrium, once, with a point inside it where its label goes. Two
// separate fields of the same phases (one each side of a congruent point)
// are two regions.
#pragma once

#include "engine/diagram/diagram.h"

#include <vector>

// A region's extent in x at one temperature of the diagram.
struct Span {
    double T;
    double left, right;
};

struct Region {
    Phase phases[2];
    int count;  // 1 (a single-phase field) or 2
    // Where its label goes: the middle of its widest row, which lies inside it.
    double x;
    double T;
    double width;             // of that row, in x
    std::vector<Span> spans;  // its rows, by rising T
};

// Every region of the diagram with some width, in order of its label's T, then x.
// A compound's field of no width is left out: it is a line, not a region.
std::vector<Region> diagram_regions(const Diagram& d);
