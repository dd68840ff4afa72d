// The equilibria at one temperature: the lower convex hull of the samples shows
// every two-phase region, Newton refines each to its exact common tangent, and
// the tangent is checked against both curves.
#pragma once

#include "engine/diagram/sampling.h"
#include "engine/diagram/tieline.h"
#include "engine/phases/model.h"

#include <string>
#include <vector>

// A two-phase equilibrium the engine found but could not confirm as stable, a
// range of temperatures it could not resolve, or a step of a path it could not
// take; the tables still hold what was found, and the program reports each of
// these and ends with status 70.
struct Doubt {
    enum class Where { tie_line, range, temperature } where;
    double T;       // the temperature, or the range's lower end
    double T_high;  // the range's upper end
    Phase low_phase;
    double x_low;
    Phase high_phase;
    double x_high;
    std::string why;
};

Doubt doubt_at_tie_line(double T, Phase low_phase, double x_low, Phase high_phase, double x_high,
                        const std::string& why);
Doubt doubt_in_range(double T_low, double T_high, const std::string& why);
Doubt doubt_at(double T, const std::string& why);

// Where an ordered phase's state sets in continuously inside a single-phase
// field (orderings.h): the phases either side of x.
struct Ordering {
    double x;
    Phase left, right;
};

// Two neighbouring samples, one of an ordered phase and one of its disordered
// part, with no tie-line between them: an ordering lies between.
struct OrderingBracket {
    Phase left, right;
    double x_left, x_right;
};

// How far (in RT) a curve may dip below a stable tangent by rounding.
constexpr double STABLE = 1e-9;

struct Equilibria {
    double T;
    Phase first_phase;                                    // stable at x = 0, left of the first tie-line
    std::vector<TieLine> ties;                            // ordered by x
    std::vector<OrderingBracket> ordering_brackets = {};  // ordered by x
    std::vector<Ordering> orderings = {};                 // the brackets narrowed: of a diagram's rows only
};

// The common potentials of t at T. Where an end is pure to the doubles (a
// solubility below their range), the potential of the component absent there
// is infinite at that end and finite at the other, which gives it.
void tangent_potentials(const System& s, const TieLine& t, double T, double& mu_a, double& mu_b);

// Every stable two-phase equilibrium at T; what could not be confirmed goes to doubts.
// work holds the grid's energies between calls, so that their memory is reused.
Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts);
Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts,
                         GridEnergies& work);

// The same for the compositions lo to hi alone: only the hull's steps that
// span some of them are solved, and first_phase is the hull's at lo. What
// one alloy's equilibrium asks, where solving every tie-line of a phase of
// sublattices costs more than sampling the grid.
Equilibria equilibria_about(const System& s, const Grid& grid, double T, double lo, double hi,
                            std::vector<Doubt>& doubts, GridEnergies& work);
