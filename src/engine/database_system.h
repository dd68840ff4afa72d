// The binary of two elements of a database as the engine's system: each phase
// the two elements and vacancies fill, as a solution of the two per mole of
// atoms, with the pure elements' transitions found from the energies.
#pragma once

#include "engine/database.h"
#include "engine/model.h"

#include <string>
#include <vector>

// A phase of the database the binary could hold but the model leaves out.
struct LeftOut {
    std::string phase;
    int line;
    std::string why;
};

// A pure element's change of its most stable phase with T.
struct PureTransition {
    double T;
    Phase below;
    Phase above;
};

struct DatabaseBinary {
    System system;
    std::vector<LeftOut> left_out;
    std::vector<PureTransition> transitions_a;  // ordered by T
    std::vector<PureTransition> transitions_b;
    std::vector<std::string> extrapolated;  // phases with a function taken outside its limits in the range
};

// The binary of elements a and b (as the database spells them) with the phases
// named in only (all where only is empty). False with why where a or b is not
// an element of db, a phase of only is not in db or cannot be modelled, or no
// phase is left.
bool database_binary(const Database& db, const std::string& a, const std::string& b,
                     const std::vector<std::string>& only, DatabaseBinary& out, std::string& why);

// The melting point of a pure element: where the liquid becomes its most stable
// phase, from the transitions; NaN where it has none in range.
double melting_point(const System& s, const std::vector<PureTransition>& transitions);

// The transitions of pure A (of_a) or pure B between lowest and highest.
std::vector<PureTransition> pure_transitions(const System& s, bool of_a, double lowest, double highest);

// The phases of s with a function taken outside its limits somewhere in [first, last].
std::vector<std::string> extrapolated_phases(const System& s, double first, double last);

// A database's default range: half the lower to 1.1 times the higher melting
// point of the pure elements, in whole kelvins, step 1; an element that does not
// melt takes the other's. False with why where neither melts.
bool database_range(System& s, std::string& why);
