// Dense linear algebra for the few unknowns of one phase's internal state (a
// phase of sublattices has at most a couple of dozen site fractions): row-major
// square matrices of side n, small enough to live on the stack.
#pragma once

// The eigenvalues of the symmetric matrix a (destroyed) into values, and the
// eigenvectors as the columns of vectors, by Jacobi rotations: accurate to the
// last digits for the small matrices here, and never fails to finish.
void symmetric_eigen(int n, double* a, double* values, double* vectors);

// The Cholesky factor L (lower, in place of a) of the symmetric a - shift I;
// false unless every pivot is positive, which holds exactly when every
// eigenvalue of a exceeds shift (to rounding): a test of positive curvature
// at a tenth of an eigen-decomposition's cost.
bool cholesky(int n, double* a, double shift);

// Solves L L^T x = b in place of b, L from cholesky().
void cholesky_solve(int n, const double* l, double* b);

// Solves a x = b in place of b by elimination with partial pivoting (a is
// destroyed); false where a is singular to rounding.
bool solve_dense(int n, double* a, double* b);
