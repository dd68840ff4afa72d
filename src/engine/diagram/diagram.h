// The phase diagram: every stable two-phase equilibrium at every temperature of
// the range, and the invariants between them.
//
// At each temperature both Gibbs energy curves are sampled on a fixed grid of
// compositions, dense near both pure components; the lower convex hull of the
// lower curve shows every two-phase region, Newton refines each to its exact
// common tangent, and the tangent is checked against both curves. A change in
// the set of regions between two temperatures brackets an event, which is
// narrowed by bisection and then solved on its own equations.
#pragma once

#include "engine/diagram/equilibria.h"
#include "engine/diagram/invariants.h"
#include "engine/phases/model.h"

#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

// A pure component's transition crossed by the range at the edge of the
// diagram: its melting point, where a two-phase region meets the edge (the
// region's two phases, in order of x), or a change of the phase at the edge
// beneath a two-phase region (the phases below and above).
struct EdgeEvent {
    double T;
    bool at_a;  // x = 1 (A) or x = 0 (B)
    Phase low_phase;
    Phase high_phase;
};

struct Diagram {
    std::vector<Equilibria> rows;       // one per temperature of the range
    std::vector<Invariant> invariants;  // ordered by T
    std::vector<EdgeEvent> melting;     // ordered by T
    std::vector<Doubt> doubts;
};

// The diagram over the system's own range. The temperatures are swept in
// segments shared among up to threads threads; the diagram is the same for any
// number of them. Where rows_done is given, each temperature swept adds one
// to it, from whichever thread: what a caller reads to show the progress.
Diagram compute_diagram(const System& s, unsigned threads = 1, std::atomic<std::size_t>* rows_done = nullptr);

// The diagram at the given temperatures (K), which must rise strictly; events
// are bracketed between neighbours as over a range.
Diagram compute_diagram(const System& s, const std::vector<double>& temperatures, unsigned threads = 1,
                        std::atomic<std::size_t>* rows_done = nullptr);
