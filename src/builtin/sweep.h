// The temperature sweep: Newton-Raphson from random starts at every whole
// temperature, and the result table "result02.txt".
#pragma once

#include "builtin/inverse.h"

#include <cstdint>
#include <cstdio>
#include <random>

constexpr int T_FIRST = 1215;    // K, first line of the table
constexpr int T_LAST = 1687;     // K, last line: the melting point of Si
constexpr int DRAW_MAX = 32767;  // draws are integers over 0 ... DRAW_MAX

// The seed of a run given none: the calendar time in whole seconds, its low 32 bits.
std::uint32_t clock_seed();

// The next draw over 0 ... DRAW_MAX: the top 15 bits of the generator's 32-bit
// output. The standard fixes mt19937's output but not what a distribution makes of
// it, so this fixed rule gives one seed the same draws with every standard library.
int draw_15_bits(std::mt19937& gen);

// The random source: returns the next integer over 0 ... DRAW_MAX from the
// generator behind state.
using Draw = int (*)(void* state);

// Draws a start (xl, xs): two draws divided by 32767.0. A pair of equal draws
// strictly inside (0, DRAW_MAX) is drawn again: it would make the first Jacobian
// singular and stop the run.
void draw_start(Draw draw, void* state, double& xl, double& xs);

// One Newton pass at (xl, xs): fills the left half of jac with the Jacobian,
// inverts it and leaves the correction -J^-1 f in h and k.
void newton_step(int T, WorkMatrix& jac, double xl, double xs, double& h, double& k);

// The same pass, returning false at a singular Jacobian instead of ending the process.
bool try_newton_step(int T, WorkMatrix& jac, double xl, double xs, double& h, double& k);

// Searches at T until an attempt converges, starting over from a fresh draw each
// time an iterate leaves [0, 1]; leaves the converged (xl, xs) and returns the
// number of attempts it took. Writes the attempt, pass and out-of-range records to
// log (null: none). A singular Jacobian ends the process (see inverse_matrix).
int solve(int T, WorkMatrix& jac, Draw draw, void* state, std::FILE* log, double& xl, double& xs);

// The same search, returning 0 at a singular Jacobian instead of ending the
// process (the log then ends with the pass before it).
int try_solve(int T, WorkMatrix& jac, Draw draw, void* state, std::FILE* log, double& xl, double& xs);

// The rows of the table without files: xl[i] and xs[i] at T_FIRST + i, all of
// T_FIRST ... T_LAST, as the sweep finds them from the same draws. False at a
// singular Jacobian, with the rows before it filled; the process never ends here.
bool sweep_rows(Draw draw, void* state, double* xl, double* xs);

// Writes the table line "%d\t%.10f\t%.10f\n" for T.
void write_row(std::FILE* table, int T, double xl, double xs);

// Solves every T from T_FIRST to T_LAST in order; for each, the result block goes to
// log (null: no log) and then the line to table.
void sweep(WorkMatrix& jac, Draw draw, void* state, std::FILE* log, std::FILE* table);

// Adapts any callable gen returning integers over 0 ... DRAW_MAX to Draw.
template <class Gen>
int draw_from(void* gen)
{
    return (*static_cast<Gen*>(gen))();
}

template <class Gen>
int solve(int T, WorkMatrix& jac, Gen& gen, std::FILE* log, double& xl, double& xs)
{
    return solve(T, jac, draw_from<Gen>, &gen, log, xl, xs);
}

template <class Gen>
bool sweep_rows(Gen& gen, double* xl, double* xs)
{
    return sweep_rows(draw_from<Gen>, &gen, xl, xs);
}

template <class Gen>
void sweep(WorkMatrix& jac, Gen& gen, std::FILE* log, std::FILE* table)
{
    sweep(jac, draw_from<Gen>, &gen, log, table);
}
