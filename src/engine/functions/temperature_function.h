// Functions of T (and of the pressure P) as thermodynamic databases write them:
// expressions of T, P and other named functions, in pieces over ranges of T.
#pragma once

#include "engine/numerics/jet.h"

#include <cstdint>
#include <string>
#include <vector>

// R as the assessments are made with, J/(mol K): what a database's R and its
// Einstein function GEIN take.
constexpr double DATABASE_GAS_CONSTANT = 8.31451;

// The pressure a database is evaluated at unless the caller sets another, Pa.
constexpr double STANDARD_PRESSURE = 101325.0;

// An expression, compiled to a program for a stack: numbers, T, P, calls of
// named functions, + - * /, powers, ln, exp and the Einstein function.
struct Expression {
    enum class Op : std::uint8_t {
        number,
        temperature,
        pressure,
        call,
        add,
        subtract,
        multiply,
        divide,
        negate,
        power,
        ln,
        exp,
        einstein  // GEIN(theta) = 1.5 R theta + 3 R T ln(1 - exp(-theta / T)), theta in K
    };
    struct Step {       // 16 bytes, in this order
        double number;  // of Op::number
        int function;   // of Op::call: the index in the function table
        Op op;
    };
    std::vector<Step> steps;
};

// A function of T in pieces: pieces[i] holds from limits[i] up to limits[i + 1],
// limits[i + 1] itself belonging to the piece above.
struct Piecewise {
    std::vector<double> limits;  // increasing; one more than the pieces
    std::vector<Expression> pieces;
    std::string name;  // what it is in the file, for messages: "FUNCTION GHSERAL", "PARAMETER G(LIQUID,AL;0)"
    int line = 0;      // where the file gives it; 0 for one the program makes
};

// The named functions an expression may call, by index, and the pressure their
// P stands for: a diagram is computed at one pressure throughout.
struct FunctionTable {
    std::vector<std::string> names;
    std::vector<Piecewise> bodies;
    double pressure = STANDARD_PRESSURE;  // Pa
};

// The value of p at T. Outside its limits the nearest piece is taken, as
// databases are used, and extrapolated is set; so it is where a function called
// on the way is taken outside its own limits. The table must hold no cycle.
double evaluate(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated);

// The same with its first two derivatives in T (d3 left 0), each by the rules
// of differentiation through the expression: at a limit between pieces, those
// of the piece above.
Jet evaluate_in_T(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated);

// How the functions of a table call each other: the index of one that calls
// itself through others (-1 where none does) and, where none does, the longest
// chain of calls from any of them. Found without recursion, so that a hostile
// chain of any length is measured rather than followed down the stack.
struct CallDepth {
    int cycle;
    int deepest;
    int deepest_function;  // the one whose calls go deepest (-1 in an empty table)
};
CallDepth call_depth(const FunctionTable& functions);

// Where p is not finite at T: the function it calls, directly or through
// others, that is the innermost not finite there (its index), -1 where p's own
// arithmetic is, or -2 where p is finite at T.
int not_finite_at(const Piecewise& p, const FunctionTable& functions, double T);
