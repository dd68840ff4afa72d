// The thermodynamic model of a binary A-B: any number of phases, each with its
// Gibbs energy per mole of atoms G_p(x) at mole fraction x of A, and the one
// contract every phase keeps whatever its kind: at (T, x) its G, the chemical
// potentials of A and B, its curvature and, for a phase with an internal state,
// where that state lies, from a guess. The kinds:
//
//   a solution of A and B on one lattice (a system file's liquid and solid, or
//   a database phase with one sublattice of the two):
//     G(x) = x G_A(T) + y G_B(T) + RT[x ln x + y ln y] + x y sum_k L_k(T) (x - y)^k + G_mag(x)
//   a compound of one composition (a point in x);
//   a phase of two sublattices of both elements, or one beside sublattices of
//     one element each (sublattices.h), minimised over its one share;
//   a phase of any sublattices, with vacancies, molecules and a disordered part
//     (lattice.h), minimised over its site fractions.
//
// The kinds are one std::variant, dispatched in phase.cpp alone.
#pragma once

#include "engine/functions/temperature_function.h"
#include "engine/numerics/decimal_grid.h"
#include "engine/phases/lattice.h"
#include "engine/phases/sublattices.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

constexpr double R = 8.315;  // J/(mol K), the program's gas constant unless a system gives its own

// A phase of the system, by its place in System::phases. A system file's two
// are the liquid (0) and the solid (1); a database's liquid comes first.
enum class Phase : int { liquid = 0, solid = 1 };

inline Phase phase_number(std::size_t i)
{
    return static_cast<Phase>(static_cast<int>(i));
}

inline std::size_t phase_index(Phase p)
{
    return static_cast<std::size_t>(static_cast<int>(p));
}

struct Component {
    std::string name;
    double enthalpy_of_fusion;         // J/mol
    double entropy_of_fusion;          // J/(mol K)
    double melting_point_given = 0.0;  // K, where the melting point is given; 0: dH / dS
    double molar_mass = 0.0;           // g/mol, where known (a database's ELEMENT line); 0: not given

    double melting_point() const
    {
        return melting_point_given > 0.0 ? melting_point_given : enthalpy_of_fusion / entropy_of_fusion;
    }
};

struct RedlichKister {
    double a;  // J/mol
    double b;  // J/(mol K)
};

// A system file's solution: its Redlich-Kister terms.
struct Solution {
    std::vector<RedlichKister> excess;  // L_0, L_1, ...; none: ideal
};

// A coefficient of the model as a function of T: a + b T, or where a melting
// point is given a (Tm - T) / Tm, which is exactly 0 at Tm and keeps every digit
// near it; plus each database parameter it takes, times its scale.
struct Coefficient {
    double a = 0.0;
    double b = 0.0;
    double melting_point = 0.0;
    std::vector<std::pair<int, double>> parameters;  // (index in System::parameters, scale)
};

constexpr std::size_t MOST_EXCESS_TERMS = 16;
constexpr std::size_t MOST_PHASES = 64;

// The Inden-Hillert-Jarl term, per formula unit of atoms atoms: TC and beta
// as Redlich-Kister series in x like the energy's.
struct MagneticModel {
    double antiferromagnetic_factor = 0.0;  // -1 for BCC, -3 for FCC and HCP
    double structure_factor = 0.0;          // 0.40 for BCC, 0.28 for the others
    double atoms = 1.0;                     // per formula unit
    Coefficient tc_a, tc_b, beta_a, beta_b;
    std::vector<Coefficient> tc_excess, beta_excess;
};

// A solution of A and B on one lattice, per mole of atoms.
struct SolutionKind {
    Coefficient pure_a;  // G of the phase of A alone
    Coefficient pure_b;
    std::vector<Coefficient> excess;  // L_0, L_1, ...
    bool magnetic = false;
    MagneticModel magnetism;
};

// A compound of fixed composition: one point x, of energy per mole of atoms,
// and where magnetic the magnetic term of its TC and beta per formula unit of
// atoms atoms.
struct CompoundKind {
    double x = 0.0;
    Coefficient energy;
    bool magnetic = false;
    MagneticModel magnetism;  // its tc_a and beta_a
};

// A phase of sublattices' property per formula unit: the four end members, the
// interactions on each sublattice with A or B on the other (Redlich-Kister
// series) and the reciprocal term.
struct LatticeCoefficients {
    std::array<std::array<Coefficient, 2>, 2> end;
    std::array<std::array<std::vector<Coefficient>, 2>, 2> interactions;
    Coefficient reciprocal;
};

// Two sublattices that both hold both elements, per formula unit: their sites
// and their energy's coefficients; where magnetic, TC and beta (0, 1) in the
// same form with the factors of magnetism. Sites of further sublattices that
// hold one element each, of A and of B in all: the curve spans only the range
// the mixing sublattices reach. With one_mixing one sublattice mixes: sites[0],
// its ends end[0][0] and end[1][0], its series interactions[0][0].
struct SublatticePairKind {
    std::array<double, 2> sites = {1.0, 1.0};
    LatticeCoefficients lattice;
    bool magnetic = false;
    MagneticModel magnetism;  // its factors
    std::array<LatticeCoefficients, 2> lattice_magnetism;
    std::array<double, 2> fixed_sites = {0.0, 0.0};
    bool one_mixing = false;
};

// Any sublattices (lattice.h), with each term's value as a coefficient.
// disordered names the phase it is where its minimum is its disordered state
// (an ordered phase's disordered part), empty where none.
struct LatticeKind {
    LatticeModel model;
    std::vector<Coefficient> values;
    std::string disordered;
};

using PhaseKind = std::variant<SolutionKind, CompoundKind, SublatticePairKind, LatticeKind>;

struct PhaseModel {
    std::string name;
    bool liquid = false;
    PhaseKind kind;
    bool gas = false;  // neither a solid nor the liquid
    // A database phase that a faster kind computes, as the general phase of
    // its sublattices: where its site fractions are read on request.
    std::optional<LatticeKind> sublattices = std::nullopt;
};

// A compound: a point in x.
bool is_point(const PhaseModel& m);

// A phase whose curve is the minimum over an internal state at each x.
bool has_internal_state(const PhaseModel& m);

// Whether the phase has terms beyond the ideal mixing of its ends: what a grid
// scans for gaps and hidden windows.
bool has_mixing_terms(const PhaseModel& m);

// Where a phase with an internal state is narrowest: its ordered
// compositions, and the ends of its range where it stops short of a pure
// component. Empty for the other kinds.
std::vector<double> ordered_compositions(const PhaseModel& m);

// The ends of the range the phase spans in x, 0 and 1 where it reaches both
// pure components.
std::array<double, 2> range_ends(const PhaseModel& m);

struct TemperatureRange {
    double first;
    double last;
    double step;
    long count;  // temperatures first + i step, i = 0 ... count - 1, as decimals
    double at(long i) const { return decimal_grid_point(first, step, i); }
};

// The most temperatures a range may hold, and the highest it may reach (K).
constexpr long MOST_TEMPERATURES = 1000000;
constexpr double HIGHEST_TEMPERATURE = 1e5;

// The range first + i step up to last, last included when it lies within 1e-9
// of a step of the grid. False when it would hold more than MOST_TEMPERATURES
// (or first exceeds last, or step is not positive).
bool temperature_range(double first, double last, double step, TemperatureRange& r);

struct System {
    std::string name;
    Component a;  // names and melting points
    Component b;
    std::vector<PhaseModel> phases;
    double gas_constant = R;
    FunctionTable functions;            // what database parameters call
    std::vector<Piecewise> parameters;  // the values the coefficients take from a database
    TemperatureRange range;
};

// A system file's phases: a liquid with the energies of fusion of a and b, and
// a solid, the reference, each with its excess terms.
std::vector<PhaseModel> liquid_and_solid(const Component& a, const Component& b, const Solution& liquid,
                                         const Solution& solid);

// The value of a coefficient at T.
double coefficient_at(const System& s, const Coefficient& c, double T);

// The value and, where slope is set, the T slope of a coefficient at T (else 0).
void value_and_slope(const System& s, const Coefficient& c, double T, bool slope, double& v, double& dT);

// The same with its first two derivatives in T, exact: those of its
// functions, differentiated through their expressions.
Jet coefficient_in_T(const System& s, const Coefficient& c, double T);

const PhaseModel& phase_model(const System& s, Phase p);
bool is_liquid(const System& s, Phase p);
const std::string& phase_name(const System& s, Phase p);

// A composition as both mole fractions, x + y = 1, the smaller one held to its
// full relative precision: a solubility of 1e-15 is not lost to 1 - x.
struct Composition {
    double x;
    double y;
};

Composition composition_from_x(double x);

// ln x and ln y, each from whichever fraction is exact.
void composition_logs(const Composition& c, double& ln_x, double& ln_y);

// The smaller of the two fractions, the one held to its full relative precision.
inline double smaller_fraction(const Composition& c)
{
    return std::min(c.x, c.y);
}

// The composition Newton moves to from c by a step du in the logarithm of the
// smaller fraction: that fraction times e^du, the other 1 minus it. The step
// is taken on the fraction itself, whose doubles are finer than those of its
// logarithm (8.9e-16 apart near ln x = -4, against 1.1e-16 relative).
Composition moved_in_log(const Composition& c, double du);

// ln(c1.x / c2.x) and ln(c1.y / c2.y), each from the difference of the
// fractions where they are close, which both fractions hold exactly.
double log_ratio_a(const Composition& c1, const Composition& c2);
double log_ratio_b(const Composition& c1, const Composition& c2);

// A solution's coefficients at one temperature.
struct SolutionAtT {
    std::size_t terms;  // excess terms
    double L[MOST_EXCESS_TERMS];
    double L_dT[MOST_EXCESS_TERMS];
    // The magnetic series' coefficients: ends, then excess terms. magnetic is
    // false where the phase has no magnetic term or TC or beta vanishes throughout.
    bool magnetic;
    std::size_t tc_terms, beta_terms;
    double tc[MOST_EXCESS_TERMS + 2];
    double beta[MOST_EXCESS_TERMS + 2];
};

// A compound at one temperature: its energy and T slope are the phase's ga.
struct CompoundAtT {};

// Two sublattices at one temperature: the values whose minimum is the curve.
struct SublatticePairAtT {
    SublatticeValues lattice;
    // The last minima searched from no guess, and their x: a tie-line's Newton
    // with an end held at an ordered composition asks for that one and a few
    // beside it at every step, and a search there, where a share rounds to
    // its end, takes dozens of energies. A temperature's phases are evaluated
    // by one thread, whose memory this is.
    static constexpr std::size_t SEARCHES_KEPT = 8;
    mutable std::array<double, SEARCHES_KEPT> searched_x{NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
    mutable std::array<SublatticeMinimum, SEARCHES_KEPT> searched{};
    mutable std::size_t next_kept = 0;  // the oldest, replaced next
};

using PhaseKindAtT = std::variant<SolutionAtT, CompoundAtT, SublatticePairAtT, LatticeAtT>;

// One phase's coefficients at one temperature, evaluated once for the many
// compositions a temperature asks about.
struct PhaseAtT {
    const PhaseModel* model;
    const System* system;  // what a phase with an internal state's T slopes are evaluated from
    Phase phase;
    double T;
    double RT;
    double R;
    bool slopes;          // the T slopes below were evaluated
    double ga, gb;        // the pure ends (a compound: its energy in ga)
    double ga_dT, gb_dT;  // their T slopes
    PhaseKindAtT kind;
};

bool is_point(const PhaseAtT& at);
bool has_internal_state(const PhaseAtT& at);

// Whether the phase's curve may run on several branches, one per ordering (a
// general phase of sublattices), whose changes the hull's search for hidden
// orderings follows rather than its differences from other phases.
bool has_branches(const PhaseAtT& at);

// Without slopes, the T slopes of a database's functions are left at 0 and the
// potentials' slopes in T are not to be read: what sampling and tie-lines at
// one temperature do without.
PhaseAtT phase_at(const System& s, Phase p, double T, bool slopes = true);

// The excess part of G beyond x G_A + y G_B + RT[x ln x + y ln y], and its first
// three derivatives in x.
struct Excess {
    double e, e1, e2, e3;
};

Excess excess_of(const PhaseAtT& at, double x, int derivatives);

// Chemical potentials of A and B in one phase at one composition and temperature,
// relative to the system's reference, and what Newton needs of them.
struct Potentials {
    double mu_a;
    double mu_b;
    double rest_a;  // mu_a - RT ln x: the pure-component and excess parts
    double rest_b;
    double dmu_a;    // d mu_a / du, u the logarithm of the smaller fraction
    double dmu_b;    // d mu_b / du
    double mu_a_dT;  // d mu_a / dT at fixed composition
    double mu_b_dT;
    double curvature;  // RT + x y G_ex''(x) = x y G''(x): negative inside a spinodal
    double RT;
};

// The slopes in T only where at has them.
Potentials potentials(const PhaseAtT& at, const Composition& c);
// The same with ln x and ln y given, as a grid holds them.
Potentials potentials(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y);
Potentials potentials(const System& s, Phase p, const Composition& c, double T);

// How far the phase's curve lies above the line x mu_a + y mu_b at c, with ln x
// and ln y given: the energy alone, for the many points of a grid. A compound
// lies infinitely high except at its own composition.
double above_line(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, double mu_a,
                  double mu_b);

// What a phase with an internal state keeps at a grid point from one
// temperature to the next: where its minimum lay, the start of the next search.
struct InternalMemory {
    SharesAt shares;     // a pair of sublattices' share at the last temperatures
    double q = -1.0;     // a pair's share at the point searched last
    SiteFractions y;     // a phase of any sublattices' fractions at the last one
    bool has_y = false;  // y holds a state
    // The two states before y on its branch, the latest first, and the
    // temperatures of y and of those (NaN where none is known): the next
    // temperature's start is extrapolated from them.
    SiteFractions earlier[2] = {};  // of which the phase's own fractions are kept
    double T_at[3] = {NAN, NAN, NAN};
    int followed = 0;  // points in turn whose state was taken from their neighbour's alone
};

InternalMemory no_memory();

// At a grid point where the phase's last search from every start found no
// state (an ordered phase where it disorders, searched again every few
// temperatures), a temperature passed by without evaluating it, counted
// towards the next search as one evaluated would be. Nothing where the point
// holds a state or was never searched.
void pass_stateless(InternalMemory& memory);

// A phase with an internal state's rests at a grid point, whose logarithms the
// grid holds, from what the point remembers (updated): known where it holds a
// state of an earlier temperature, else from the neighbouring point's
// (neighbour, updated too). A grid reads no more of such a phase.
void internal_grid_parts(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y, bool known,
                         InternalMemory& memory, InternalMemory& neighbour, double& rest_a, double& rest_b);

// At a grid point that found no state of its own this temperature, the state
// of the point beside it (found there this temperature) carried over: an
// ordering that sets in as T rises appears at the points searched, and spreads
// from them along the grid both ways. False, the point unchanged, where none
// is found.
bool internal_grid_spread(const PhaseAtT& at, const Composition& c, double ln_x, double ln_y,
                          InternalMemory& memory, const InternalMemory& beside, double& rest_a,
                          double& rest_b);

// The grid's first temperature searched every point from every start; where
// the point found no state, its next searches fall in its turn (point: its
// place along the grid), so that of any few points in a row one is searched
// at each temperature, rather than all of them at every few.
void stagger_search(const PhaseAtT& at, InternalMemory& memory, std::size_t point);

// Room for the states of a grid of n points, which internal_grid_parts keeps
// at this temperature one by one: made once rather than grown as they come.
void expect_grid_points(const PhaseAtT& at, std::size_t n);

// The phase's G at c per mole of atoms along a curve in x: its internal state
// carried on from state (a neighbouring point's, updated to the one found)
// and, with search, also sought from every start, the lower kept; where no
// state was held, only a search finds one. A phase without an internal state
// ignores state and search. HUGE_VAL where the phase has no state at c.
double gibbs_following(const PhaseAtT& at, const Composition& c, InternalMemory& state, bool search);
// The same state's rests of the potentials (Potentials::rest_a, rest_b), whose
// difference with RT ln(x / y) is G's slope in x; false where it has none.
bool rests_following(const PhaseAtT& at, const Composition& c, InternalMemory& state, bool search,
                     double& rest_a, double& rest_b);
// The same from the state held alone, never searched for: false where it
// does not carry on to c (the ordering it holds is gone there), or none is held.
bool rests_carried(const PhaseAtT& at, const Composition& c, InternalMemory& state, double& rest_a,
                   double& rest_b);

// Whether a grid leaves out the phase's deep tails (each of its points a
// minimisation, where it does not compete): the phases with an internal state
// whose range is not all in a tail.
bool skips_tails(const PhaseAtT& at);

// grid_parts of a solution (neither a compound nor of sublattices) at n points
// at once, into columns: a grid's many points make a loop of its own pay.
void solution_parts(const PhaseAtT& at, const double* x, const double* y, std::size_t n, double* rest_a,
                    double* rest_b, double* excess, double* bend);

// mu_a(m1) - mu_a(m2) and mu_b(m1) - mu_b(m2) in units of RT, at c1 and c2,
// each as the logarithm of the ratio of fractions plus the difference of the
// rest: the large RT ln x terms cancel before rounding, so that a narrow region
// keeps its last digits.
struct PotentialGap {
    double a;
    double b;
};

PotentialGap potential_gap(const Composition& c1, const Potentials& m1, const Composition& c2,
                           const Potentials& m2);

// Gibbs energy of the phase at c: x mu_a + y mu_b.
double gibbs(const System& s, Phase p, const Composition& c, double T);

// The site fractions of the phase's lowest state at c and T, sublattice after
// sublattice, each in the order its database lists the constituents of the
// binary (NaN where no state is found); a system file's phase is one lattice
// of A and B.
std::vector<std::vector<double>> site_fractions(const System& s, Phase p, const Composition& c, double T);

// G of the phase at c with its internal state held where the minimum lies at
// T, and its first two derivatives in T, exact: minus the entropy and minus
// the heat capacity over T at that state, per mole of atoms. NaN where the
// phase has no form of its state to hold (a pair of sublattices the general
// phase does not take).
Jet gibbs_in_T(const System& s, Phase p, const Composition& c, double T);

// Both at once, from one search for the lowest state: what an equilibrium
// at a point reports of each of its phases.
struct StateInT {
    std::vector<std::vector<double>> site_fractions;
    Jet g;
};
StateInT state_in_T(const System& s, Phase p, const Composition& c, double T);

// The phase's curvature function x y G'' and its derivative in x, for the critical
// point of a miscibility gap (both zero there).
void curvature(const PhaseAtT& at, double x, double& value, double& slope);
void curvature(const System& s, Phase p, double x, double T, double& value, double& slope);

// G_p - G_q and its first two derivatives in x: the ideal mixing cancels;
// congruent points are its double roots.
void phase_difference(const PhaseAtT& p, const PhaseAtT& q, double x, double& d, double& d1, double& d2);
void phase_difference(const System& s, Phase p, Phase q, double x, double T, double& d, double& d1,
                      double& d2);

// Whether T lies on a limit between two pieces of a database function or
// parameter the system holds, to a millionth of T.
bool at_piece_limit(const System& s, double T);

// The largest jump (J/mol) of a database parameter of the system between two
// of its pieces at a limit in [lo, hi], with the parameter's name and the
// limit; false where no parameter jumps by more than smallest (J/mol) there.
// A jump like COST 507's bcc yttrium's, 77 kJ at 1799 K, changes a diagram at
// once.
struct PieceJump {
    std::string name;
    double limit;
    double jump;
};
bool largest_piece_jump(const System& s, double lo, double hi, double smallest, PieceJump& out);

// The energy of pure A (of_a) or pure B in phase p at T, magnetic term included.
double pure_gibbs(const System& s, Phase p, bool of_a, double T);

// The same at both ends, pure A first: a phase with an internal state searched
// at each end from what that end's memory holds of the last temperature
// (updated), with a search from every start every few calls, its values at T
// evaluated once for both: what a scan in T carries from one temperature to
// the next. size is the magnitude of the terms summed, what the energy's
// rounding scales with.
void pure_gibbs_ends(const System& s, Phase p, double T, InternalMemory memory[2], double g[2],
                     double size[2]);

// Whether T is a pure component's transition between phases p and q to rounding:
// their pure energies differ by no more than the rounding of the larger's terms.
bool exactly_equal_pure(const System& s, Phase p, Phase q, bool of_a, double T);

// The same for pure energies gp and gq already computed, with their sizes.
bool equal_to_rounding(double gp, double size_p, double gq, double size_q);

// The temperature in [lo, hi] at which phases p and q of pure A (of_a) or pure
// B have equal energies: a system file's melting point as given, else by
// bisection to the last double. NaN where their order does not change in [lo, hi].
double pure_transition(const System& s, Phase p, Phase q, bool of_a, double lo, double hi);

// Whether p and q are one phase's ordered and disordered states (an ordered
// phase and its disordered part): where the ordering sets in continuously
// they meet at one composition, with no region between them.
bool ordered_and_disordered(const System& s, Phase p, Phase q);

// The phase whose ordered states p holds, where p is an ordered phase whose
// disordered part is a phase of s; else p itself.
Phase phase_family(const System& s, Phase p);

// How far the phase's state at c is from disorder (lattice.h); 0 for a
// phase without equivalent sublattices.
double ordering(const PhaseAtT& at, const Composition& c);

// Which ordering the phase's state holds (lattice_pattern): at c, its lowest
// state's, or a grid point's remembered state's; 0 for a phase without
// equivalent sublattices or without a state there.
int ordering_pattern(const PhaseAtT& at, const Composition& c);
int ordering_pattern(const PhaseAtT& at, const InternalMemory& state);

// Where the phase's curve has a corner that bends it down, in x: a solution's
// magnetic TC or beta changing sign under an antiferromagnetic factor, which
// divides their negative values, so that the curve's slope drops there (COST
// 507's fcc of Fe-Ni and Cr-Ni): a gap straddles each, which no curvature
// shows. None for the other kinds.
std::vector<double> downward_corners(const PhaseAtT& at);

inline bool is_point(const System& s, Phase p)
{
    return is_point(s.phases[phase_index(p)]);
}

// A compound's composition as both fractions.
Composition point_composition(const PhaseModel& m);
