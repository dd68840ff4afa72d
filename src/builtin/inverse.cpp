#include "builtin/inverse.h"

#include "builtin/equilibrium.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr int n = JAC_ROWS;

// Replaces row r by (row j) - (row r) * q, q = jac[j][j] / jac[r][j]: this zeroes jac[r][j]
// with the pivot over the element, not the textbook element over the pivot. Only
// the rounding differs, and the table's last digit depends on it. An element of
// exactly zero needs no work; a non-number is not zero and goes through.
void eliminate(WorkMatrix& jac, int j, int r)
{
    if (jac[r][j] == 0.0)
        return;
    const double q = jac[j][j] / jac[r][j];
    for (int m = 0; m < 2 * n; ++m)
        jac[r][m] = jac[j][m] - jac[r][m] * q;
}

}  // namespace

void stop_singular()
{
    std::fputs(SINGULAR_MESSAGE, stdout);
    std::exit(SINGULAR_STATUS);
}

void inverse_matrix(WorkMatrix& jac)
{
    if (!invert_matrix(jac))
        stop_singular();
}

bool invert_matrix(WorkMatrix& jac)
{
    for (int i = 0; i < n; ++i)
        for (int j = n; j < 2 * n; ++j)
            jac[i][j] = (j - n == i) ? 1.0 : 0.0;

    // The scale is the first element whose magnitude exceeds the signed scale so far:
    // it keeps its sign and is not the largest magnitude. A non-number never replaces it.
    for (int i = 0; i < n; ++i) {
        double s = jac[i][0];
        for (int j = 1; j < 2 * n; ++j)
            if (std::fabs(jac[i][j]) > s)
                s = jac[i][j];
        for (int j = 0; j < 2 * n; ++j)
            jac[i][j] /= s;
    }

    for (int j = 0; j < n - 1; ++j) {
        // Partial pivoting by adjacent swaps from the bottom up; equal magnitudes stay.
        for (int i = n - 1; i > j; --i)
            if (std::fabs(jac[i - 1][j]) < std::fabs(jac[i][j]))
                std::swap(jac[i - 1], jac[i]);
        for (int r = j + 1; r < n; ++r)
            eliminate(jac, j, r);
    }

    // Written as "less than" so that a non-number pivot does not stop the run.
    for (int i = 0; i < n; ++i) {
        if (std::fabs(jac[i][i]) < TOL)
            return false;
    }

    for (int j = n - 1; j > 0; --j)
        for (int r = j - 1; r >= 0; --r)
            eliminate(jac, j, r);

    for (int i = 0; i < n; ++i) {
        const double d = jac[i][i];
        for (int m = 0; m < 2 * n; ++m)
            jac[i][m] /= d;
    }
    return true;
}
