// The compositions sampled at each temperature: a fixed grid, dense near both pure
// components, and the extra samples that go where a region narrower than the
// grid could hide.
#pragma once

#include "engine/phases/model.h"

#include <cmath>
#include <vector>

// The full grid's uniform interior points lie at x = i / UNIFORM: the step a
// region narrower than which the scans for hidden regions look for.
constexpr int UNIFORM = 512;

// The sampled compositions, and the uniform interior points on which each
// phase's curvature x y G'' and each pair's G_p - G_q are scanned: between two
// points either can hide a region narrower than the grid.
struct Grid {
    std::vector<Composition> at;
    std::vector<double> x, y;        // of each composition, as plain columns
    std::vector<double> ln_x, ln_y;  // of each composition, once for all temperatures
    std::vector<double> uniform_x;
    std::vector<std::size_t> uniform_at;  // the index in at of each uniform point
    bool mixing_terms = false;  // any excess or magnetic terms at all (else no gap and no hidden window)
};

Grid make_grid(const System& s);

// A grid of the same kind with few points (every 16th uniform point, one tail
// point a decade, the ordered compositions themselves): where one alloy's
// equilibrium is sought first, its tangent then checked against every phase
// (tangent_check.h), as the full grid's thousands of minimisations a
// temperature are needed for a diagram's every region, not for one alloy.
Grid make_coarse_grid(const System& s);

// Each phase's parts at every point of the grid at one temperature, evaluated
// once for the samples, the checks of the tangents and the scan for hidden
// regions: the rest of both potentials, and the excess and its second derivative.
struct GridEnergies {
    struct Columns {
        // A phase of sublattices has no excess or bend here: the scans for
        // hidden regions pass it by.
        std::vector<double> rest_a, rest_b, excess, bend;
        // RT ln x + rest_a and RT ln y + rest_b at the interior points, once a
        // temperature: the curve's distance above a line x mu_a + y mu_b is
        // x (line_a - mu_a) + y (line_b - mu_b), asked for every tangent.
        std::vector<double> line_a, line_b;
        // A phase with an internal state: where it lay at each point at the
        // last temperatures, from which the next temperature's search starts.
        std::vector<InternalMemory> internal;
        // How far above the diagram it lay at each point, at the last two
        // temperatures it was found at there: a point far above is passed by
        // for some kelvin. Where an ordered phase has no state of its own (it
        // disorders there), the distance is its disordered part's, whose
        // curve it then is.
        struct Margin {
            double above[2];
            double T[2];
            double rate;  // |above[0] - above[1]| / |T[0] - T[1]|: set where they are, read far more often
            bool disordered = false;
        };
        std::vector<Margin> margin;
        // Whether each point was passed by at this temperature as far above the
        // diagram: between two such points the phase lies far above it too.
        std::vector<char> passed;
        // x line_a + y line_b (its rests at the pure ends), and its least
        // distance above lowest_line, NaN passed by.
        std::vector<double> line;
        double above_lowest = 0.0;
    };
    std::vector<Columns> phase;  // by phase index; empty for a compound
    std::vector<double> lowest;  // the lowest solution's energy at each point
    // The lowest x line_a + y line_b of every phase at each point (its rests at
    // the pure ends). A phase lies above a line x mu_a + y mu_b by at least its
    // above_lowest plus this one's least distance above it: most phases lie so
    // far above a tangent that this alone passes them.
    std::vector<double> lowest_line;
    // The energies of the stable pure components, whose chord the samples are
    // held above so that both ends keep their precision.
    double chord_a = HUGE_VAL, chord_b = HUGE_VAL;
};

// Fills out, reusing its memory: a diagram asks at thousands of temperatures.
void energies_at(const Grid& grid, const std::vector<PhaseAtT>& phases, GridEnergies& out);

// What e remembers of earlier temperatures forgotten, its memory kept: the
// next temperature starts cold, as on a fresh one, without allocating and
// touching anew the states of every point.
void forget_temperatures(GridEnergies& e);

// How far phase k lies above the line x mu_a + y mu_b at every point of the
// grid, into h (HUGE_VAL off a compound's point).
void above_line_on_grid(const Grid& grid, const GridEnergies& energies, std::size_t k, const PhaseAtT& phase,
                        double mu_a, double mu_b, std::vector<double>& h);

// The least distance of energies.lowest_line above the line x mu_a + y mu_b.
double lowest_line_above(const Grid& grid, const GridEnergies& energies, double mu_a, double mu_b);

// Every phase's coefficients at T.
std::vector<PhaseAtT> phases_at(const System& s, double T);

// One sampled composition: the lowest of the phases' curves there, above the chord
// joining the stable pure components so that both ends keep their precision.
struct Sample {
    Composition c;
    double g;
    Phase phase;
};

// The grid's samples at T, with the extra ones around any hidden region, ordered by x.
std::vector<Sample> samples_at(const Grid& grid, const std::vector<PhaseAtT>& phases,
                               const GridEnergies& energies);

// Adds samples at the compositions of extra (those not already there), in
// order. A phase of sublattices passed by at the grid's points either side of
// one, far above the diagram there, is left out of it.
void add_samples(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
                 std::vector<Sample>& samples, const std::vector<Composition>& extra);

// Indices of the samples on their lower convex hull.
std::vector<int> hull_of(const std::vector<Sample>& samples);

// Each phase of sublattices' distance above the diagram at the grid's points
// it was minimised at, T's samples and their hull given: where its points are
// passed by from, in place of its distance above the lowest solution. Beside
// compounds and other ordered phases (Al-Ni's B2 beside Al3Ni2 and gamma')
// most of a phase's points lie near the solutions but far above the diagram,
// and need no minimisation for some kelvin.
void margins_above_hull(const Grid& grid, const std::vector<PhaseAtT>& phases,
                        const std::vector<Sample>& samples, const std::vector<int>& hull,
                        GridEnergies& energies);

// to.x - from.x, from whichever fractions keep the difference exact.
double dx(const Composition& from, const Composition& to);
