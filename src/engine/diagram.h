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

#include "engine/invariants.h"
#include "engine/model.h"
#include "engine/tieline.h"

#include <string>
#include <vector>

// The sampled compositions, with each phase's mixing part of the chemical
// potentials (all but the pure-component offsets) as a + b T.
struct Grid {
    std::vector<Composition> at;
    struct Mixing {
        std::vector<double> a0, a1, b0, b1;
    };
    Mixing phase[2];  // indexed by Phase
    // On the uniform interior points: G_L - G_S, and each phase's x y G'', as c0 + c1 T;
    // between two points either can hide a narrow region that the hull alone misses.
    std::vector<double> xs, d0, d1, k0[2], k1[2];
    bool mixing_terms = false;  // any excess terms at all (else no gap and no hidden window)
};

Grid make_grid(const System& s);

// A two-phase equilibrium the engine found but could not confirm as stable, or a
// region it could not resolve; the tables still hold what was found, and the
// program reports each of these and ends with status 70.
struct Doubt {
    double T;
    Phase low_phase;
    double x_low;
    Phase high_phase;
    double x_high;
    std::string why;
};

struct Equilibria {
    double T;
    Phase first_phase;          // stable at x = 0, left of the first tie-line
    std::vector<TieLine> ties;  // ordered by x
};

// Every stable two-phase equilibrium at T; what could not be confirmed goes to doubts.
Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts);

// A pure component's melting point crossed by the range, where a two-phase
// region meets the edge of the diagram.
struct EdgeEvent {
    double T;
    bool at_a;  // x = 1 (A) or x = 0 (B)
};

struct Diagram {
    std::vector<Equilibria> rows;       // one per temperature of the range
    std::vector<Invariant> invariants;  // ordered by T
    std::vector<EdgeEvent> melting;     // ordered by T
    std::vector<Doubt> doubts;
};

Diagram compute_diagram(const System& s);
