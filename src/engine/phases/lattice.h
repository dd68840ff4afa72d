// A phase of any number of sublattices in a binary, by the compound energy
// formalism: on each sublattice s (a_s sites) any of the two elements,
// vacancies and molecules of the two, with site fractions y. Per formula unit
//
//   G = sum_t value_t(T) prod_f L_f(y)^p_f  +  RT sum_s a_s sum_k y_k ln y_k  +  G_mag(TC(y), beta(y))
//
// each term a product of linear forms of the fractions: a fraction itself, a
// difference (y_i - y_j) of a Redlich-Kister series, or the average of a
// constituent over the sublattices a disordered part sees as one. TC and beta
// are sums of such terms too. Per mole of atoms x = N_A(y) / N(y), with N_A =
// sum a_s y_k (atoms of A in constituent k) and N = N_A + N_B; at each x and T
// the phase's curve is the minimum of G / N over the fractions that give x.
#pragma once

#include "engine/numerics/jet.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

// The most site fractions a phase may have in one binary: five sublattices of
// three constituents and more, as sigma and the four-sublattice orderings hold.
constexpr int MOST_FRACTIONS = 24;

// The most linear forms of the fractions a phase's terms may multiply: its
// fractions, the differences of its Redlich-Kister series and a disordered
// part's averages (sigma in a binary holds some twenty).
constexpr int MOST_FORMS = 64;

// constant + sum of weight * y[index].
struct LinearForm {
    double constant = 0.0;
    std::vector<std::pair<int, double>> terms;
};

enum class LatticeProperty { gibbs, curie_temperature, bohr_magneton_number };

// value(T) * scale * prod over factors of form^power.
struct LatticeTerm {
    LatticeProperty property;
    int value;     // index into the phase's values at T
    double scale;  // of that value: a disordered part's per-formula-unit factor, -1 where subtracted
    std::vector<std::pair<int, int>> factors;  // (form, power)
    // Every power 1 (all but the Redlich-Kister series' higher orders), as
    // plan_evaluation finds once the factors are final.
    bool linear = false;
};

struct LatticeModel {
    std::vector<double> sites;              // per sublattice
    std::vector<int> first;                 // each sublattice's first fraction; back() is their number
    std::vector<std::string> constituents;  // per fraction, for output
    std::vector<double> atoms_a, atoms_b;   // per fraction: atoms of A and of B its constituent holds
    std::vector<LinearForm> forms;
    std::vector<LatticeTerm> terms;
    bool magnetic = false;
    double antiferromagnetic_factor = 0.0;
    double structure_factor = 0.0;
    // Sublattices that a symmetry of the structure interchanges, each group
    // as they may be permuted: where minima are sought from every ordered
    // arrangement, and where the sublattices' equal fractions mean disorder.
    std::vector<std::vector<int>> equivalent;
    // Whether only the ordered states are this phase's: an ordered phase
    // whose disordered states are those of its disordered part, a phase of
    // the system of its own, so that the two never stand side by side.
    bool ordered_only = false;
    // The compositions of the end members (a constituent on every sublattice)
    // that hold atoms, and the range of x they span.
    std::vector<double> end_members;
    double x_min = 0.0;
    double x_max = 1.0;
    // The fewest atoms per formula unit of an end member that holds any: a
    // state with less than half of them is the lattice emptied of its atoms,
    // whose energy per atom falls without bound as its vacancies fill it (in
    // every model with vacancies on every sublattice); never a minimum.
    double least_atoms = 0.0;
    // What every evaluation would otherwise find again in the terms, set by
    // plan_evaluation once they are final: the forms TC's and beta's terms
    // multiply, and each entry of G's Hessian in the forms that some term can
    // make other than zero, with where it lands among the fractions, in the
    // order the entries are summed: each in the upper triangles alone.
    struct Scatter {
        int from, to;  // a f + b of forms a <= b; q n + r of a fraction q <= r, one in each form
        double w;      // the product of their weights in their forms
    };
    std::vector<int> magnetic_forms;
    std::vector<Scatter> hessian_onto_fractions;
};

int fractions_of(const LatticeModel& m);

// The model's evaluation planned from its final forms and terms.
void plan_evaluation(LatticeModel& m);

// The fractions of one state, sublattice after sublattice.
using SiteFractions = std::array<double, MOST_FRACTIONS>;

// The model's values at one temperature.
struct LatticeAtT {
    const LatticeModel* model;
    double T, R, RT;
    std::vector<double> values;  // per value index of the terms
    // The lowest states found at this temperature, by x: a search close to
    // one starts there, as a state moves continuously with x, rather than
    // from every ordered arrangement again. A temperature's phases are
    // evaluated by one thread, whose memory this is.
    mutable std::vector<std::pair<double, SiteFractions>> found;
    // The states the grid found at this temperature, one per point it
    // computed: where a tie-line's search starts from the grid point it
    // starts at, instead of from every ordered arrangement.
    mutable std::vector<std::pair<double, SiteFractions>> along_grid;
    // along_grid's positions ordered by x (and, at one x, by when they were
    // found): a tie-line's Newton asks for the closest state thousands of
    // times, the grid holds thousands of them. Rebuilt where it falls behind.
    mutable std::vector<std::size_t> grid_by_x;
    // Where a search from every start found no state (an ordered phase where
    // it is disordered): a search close to one is not made again.
    mutable std::vector<double> none_at;
    // The permutations of equivalent sublattices that leave G as it is at T
    // (each a group's index and its order), found at the first search that
    // needs them: they hold at every x, and a bcc of four sublattices takes
    // two dozen energies to find them.
    mutable std::vector<std::pair<std::size_t, std::vector<int>>> symmetries;
    mutable bool symmetries_known = false;
};

// G per formula unit at y, with its gradient and Hessian in y (row-major,
// fractions x fractions) where they are asked for (non-null).
double lattice_energy(const LatticeAtT& at, const SiteFractions& y, double* gradient, double* hessian);

// G per formula unit at y held fixed, with its first two derivatives in T:
// the values' own (values, by value index), RT's in the mixing, and the
// magnetic term's through TC and beta.
Jet lattice_energy_in_T(const LatticeModel& m, const std::vector<Jet>& values, double T, double R,
                        const SiteFractions& y);

// Atoms of A and in all per formula unit at y.
void lattice_atoms(const LatticeModel& m, const SiteFractions& y, double& n_a, double& n);

// The minimum at x: G per mole of atoms and its first two derivatives in x,
// the fractions where it is reached, and whether it was found. A state that
// no fraction of the phase reaches (x outside its range) has g = HUGE_VAL.
struct LatticeMinimum {
    double g, g1, g2;
    bool found;
    int iterations;
};

// From guess, where it is a state of the phase (its fractions positive on
// each sublattice), else from the disordered one; y is where the minimum lies.
// Not found where it is disordered and the model is ordered_only.
LatticeMinimum lattice_minimum(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y);

// Where a search from every start begins at x: the condensed start, each
// sublattice's atoms sharing it equally (base), and a start towards each end
// member of the moving constituents (towards). False where x is out of the
// phase's reach.
bool lattice_starts(const LatticeAtT& at, double x, SiteFractions& base, std::vector<SiteFractions>& towards);

// The lowest of the minima from the guess, the disordered state (not where
// the model is ordered_only) and each ordered arrangement of the equivalent
// sublattices.
LatticeMinimum lattice_lowest(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y);

// y as it is reported: of its images under the symmetries of the phase at T
// (each group of equivalent sublattices permuted as leaves G as it is), the
// one whose group's first sublattice holds the most of the constituent the
// file lists first, then the next, and so on. A search ends in whichever
// image rounding favours; the state reported is one for all of them, so that
// an ordering's sublattices keep their roles from row to row.
SiteFractions lattice_arranged(const LatticeAtT& at, const SiteFractions& y);

// Whether y is disordered: the equivalent sublattices' fractions equal to 1e-9.
bool lattice_disordered(const LatticeModel& m, const SiteFractions& y);

// How far y is from disorder: the largest difference of a constituent's
// fractions on two equivalent sublattices (0 where disordered, 1 where fully
// ordered).
double lattice_order(const LatticeModel& m, const SiteFractions& y);

// Which ordering y holds at T, as the number of distinct states its
// equivalent sublattices hold, summed over the groups that a symmetry of the
// phase interchanges (one a group where disordered; B2 in four sublattices
// two, D0_3 three): the same for a state and its images under a symmetry, so
// that two states of one phase whose counts differ lie on different
// branches. Fractions within 1e-6 count as one state; 0 where no group is
// symmetric.
int lattice_pattern(const LatticeAtT& at, const SiteFractions& y);
