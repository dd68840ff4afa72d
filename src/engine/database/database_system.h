// The binary of two elements of a database as the engine's system: each phase
// the two elements and vacancies fill, as a solution of the two per mole of
// atoms, with the pure elements' transitions found from the energies.
#pragma once

#include "engine/database/database.h"
#include "engine/phases/model.h"

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

// A warning about the binary: a fault of the file, or what a kept phase
// carries that is not modelled; touches_kept where it weighs on the result.
struct DatabaseWarning {
    std::string text;
    bool touches_kept;
};

struct DatabaseBinary {
    System system;
    std::vector<LeftOut> left_out;
    std::vector<std::string> rejected;  // phases of the binary the file itself rejects
    std::vector<std::string> parts;     // phases that are only another's disordered part
    std::vector<DatabaseWarning> warnings;
    std::vector<PureTransition> transitions_a;  // ordered by T
    std::vector<PureTransition> transitions_b;
    std::vector<std::string> extrapolated;  // phases with a function taken outside its limits in the range
};

// The binary of elements a and b (as the database spells them) with the phases
// named in only (all where only is empty). False with why where a or b is not
// an element of db, a phase of only is not in db or cannot be modelled, or no
// phase is left.
// The binary's phases as database_binary sorts them, without the pure
// elements' transitions: what a listing of the database needs.
bool binary_phases(const Database& db, const std::string& a, const std::string& b,
                   const std::vector<std::string>& only, DatabaseBinary& out, std::string& why,
                   double pressure = STANDARD_PRESSURE);

// The model the engine computes a kept phase with, in words.
std::string model_of(const PhaseModel& m);

// Whether the engine computes one phase in the binary of a and b, whatever
// the file chooses (a phase it rejects is computed where asked for): absent
// from it (a sublattice holds neither element), computed (how: its model in
// words), or not (how: why not).
enum class InBinary { absent, computed, not_computed };
InBinary phase_in_binary(const Database& db, const DatabasePhase& phase, const std::string& a,
                         const std::string& b, std::string& how);

// The phases the file rejects (DEFAULT_COMMAND REJECT_PHASE) are left out
// unless only names them. Every function is evaluated at pressure (Pa).
bool database_binary(const Database& db, const std::string& a, const std::string& b,
                     const std::vector<std::string>& only, DatabaseBinary& out, std::string& why,
                     double pressure = STANDARD_PRESSURE);

// A function or parameter a system's phases use that is not finite at a
// temperature: what it is (its name and line) and the temperature.
struct NotFinite {
    const Piecewise* what;
    double T;
};

// The first of the temperatures at which a parameter of s, or a function it
// calls, is not finite, with the innermost such function; false where none is.
bool not_finite(const System& s, const std::vector<double>& temperatures, NotFinite& found);

// The melting point of a pure element: where the liquid becomes its most stable
// phase, from the transitions; NaN where it has none in range.
double melting_point(const System& s, const std::vector<PureTransition>& transitions);

// The transitions of pure A and of pure B between lowest and highest.
void pure_transitions(const System& s, double lowest, double highest, std::vector<PureTransition>& of_a,
                      std::vector<PureTransition>& of_b);

// The phases of s with a function taken outside its limits somewhere in [first, last].
std::vector<std::string> extrapolated_phases(const System& s, double first, double last);
