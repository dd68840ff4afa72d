// Inversion of the 2x2 Newton Jacobian by Gauss-Jordan elimination.
#pragma once

constexpr int JAC_ROWS = 2;
constexpr int JAC_COLS = 2 * JAC_ROWS;

// The work matrix: columns 0-1 hold the Jacobian J, columns 2-3 receive its inverse.
using WorkMatrix = double[JAC_ROWS][JAC_COLS];

// The console message of a singular Jacobian, and the exit status that follows it.
constexpr const char* SINGULAR_MESSAGE = "\nINVERSE MATRIX NOT EXIST!! TRY AGAIN!!\n";
constexpr int SINGULAR_STATUS = 1;

// Replaces columns 2-3 of jac with the inverse of columns 0-1 (whatever they held
// before), leaving the identity up to rounding in columns 0-1. Infinities and
// non-numbers pass through. If a pivot after forward elimination is below TOL in
// magnitude, prints SINGULAR_MESSAGE on standard output and ends the process with
// SINGULAR_STATUS; open C streams are flushed by that exit.
void inverse_matrix(WorkMatrix& jac);

// The same inversion, returning false at a pivot below TOL where inverse_matrix
// ends the process (columns 2-3 then hold nothing usable): for callers that must
// never exit, such as the Python module.
bool invert_matrix(WorkMatrix& jac);

// Prints SINGULAR_MESSAGE on standard output and ends the process with SINGULAR_STATUS.
[[noreturn]] void stop_singular();
