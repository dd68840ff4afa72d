// Functions of T as thermodynamic databases write them: expressions of T and of
// other named functions, in pieces over ranges of T.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An expression, compiled to a program for a stack: numbers, T, calls of named
// functions, + - * /, powers, ln and exp.
struct Expression {
    enum class Op : std::uint8_t {
        number,
        temperature,
        call,
        add,
        subtract,
        multiply,
        divide,
        negate,
        power,
        ln,
        exp
    };
    struct Step {
        Op op;
        double number;  // of Op::number
        int function;   // of Op::call: the index in the function table
    };
    std::vector<Step> steps;
};

// A function of T in pieces: pieces[i] holds from limits[i] up to limits[i + 1].
struct Piecewise {
    std::vector<double> limits;  // increasing; one more than the pieces
    std::vector<Expression> pieces;
};

// The named functions an expression may call, by index.
struct FunctionTable {
    std::vector<std::string> names;
    std::vector<Piecewise> bodies;
};

// The value of p at T. Outside its limits the nearest piece is taken, as
// databases are used, and extrapolated is set; so it is where a function called
// on the way is taken outside its own limits. The table must hold no cycle.
double evaluate(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated);

// The index of a function of the table that calls itself through others, or -1.
int function_in_a_cycle(const FunctionTable& functions);

// The longest chain of calls from any function of the table, which holds no cycle.
int deepest_calls(const FunctionTable& functions);
