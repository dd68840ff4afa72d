// The compositions sampled at each temperature: a fixed grid, dense near both pure
// components, tabulated once for the whole range (every quantity of the model is
// linear in T at fixed composition), and the extra samples that go where a region
// narrower than the grid could hide.
#pragma once

#include "engine/model.h"

#include <vector>

// Values at the grid's points of a quantity linear in T: at_0K[i] + T per_K[i].
struct LinearInT {
    std::vector<double> at_0K, per_K;
    double at(std::size_t i, double T) const { return at_0K[i] + T * per_K[i]; }
};

// The sampled compositions, with each phase's mixing part of the chemical
// potentials (all but the pure-component offsets) as a + b T.
struct Grid {
    std::vector<Composition> at;
    struct MixingColumns {
        std::vector<double> a0, a1, b0, b1;
    };
    MixingColumns phase[2];  // indexed by phase_index
    // On the uniform interior points x = uniform_x[i]: G_L - G_S, and each phase's
    // curvature x y G''; between two points either can hide a narrow region that
    // the hull alone misses.
    std::vector<double> uniform_x;
    LinearInT liquid_minus_solid;
    LinearInT curvature[2];     // indexed by phase_index
    bool mixing_terms = false;  // any excess terms at all (else no gap and no hidden window)
};

int phase_index(Phase p);

Grid make_grid(const System& s);

// One sampled composition: the lower of the two curves there, above the chord
// joining the stable pure components so that both ends keep their precision.
struct Sample {
    Composition c;
    double g;
    Phase phase;
};

// The grid's samples at T, with the extra ones around any hidden region, ordered by x.
std::vector<Sample> samples_at(const System& s, const Grid& grid, double T);

// Adds samples at the compositions of extra (those not already there), in order.
void add_samples(const System& s, std::vector<Sample>& samples, const std::vector<Composition>& extra,
                 double T);

// Indices of the samples on their lower convex hull.
std::vector<int> hull_of(const std::vector<Sample>& samples);

// to.x - from.x, from whichever fractions keep the difference exact.
double dx(const Composition& from, const Composition& to);
