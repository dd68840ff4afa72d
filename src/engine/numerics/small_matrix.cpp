#include "engine/numerics/small_matrix.h"

#include <cmath>
#include <utility>

namespace {

constexpr int SWEEPS = 60;  // Jacobi converges quadratically: a handful of sweeps, these at the most

}  // namespace

void symmetric_eigen(int n, double* a, double* values, double* vectors)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            vectors[i * n + j] = i == j ? 1.0 : 0.0;
    for (int sweep = 0; sweep < SWEEPS; ++sweep) {
        double off = 0.0;
        double diagonal = 0.0;
        for (int i = 0; i < n; ++i) {
            diagonal += a[i * n + i] * a[i * n + i];
            for (int j = i + 1; j < n; ++j)
                off += a[i * n + j] * a[i * n + j];
        }
        if (off <= 1e-30 * diagonal || off == 0.0)
            break;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[p * n + q];
                if (apq == 0.0)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
                const double t =
                    (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < n; ++k) {  // columns p and q
                    const double akp = a[k * n + p];
                    const double akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {  // rows p and q
                    const double apk = a[p * n + k];
                    const double aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = vectors[k * n + p];
                    const double vkq = vectors[k * n + q];
                    vectors[k * n + p] = c * vkp - s * vkq;
                    vectors[k * n + q] = s * vkp + c * vkq;
                }
            }
    }
    for (int i = 0; i < n; ++i)
        values[i] = a[i * n + i];
}

bool solve_dense(int n, double* a, double* b)
{
    for (int j = 0; j < n; ++j) {
        int pivot = j;
        for (int i = j + 1; i < n; ++i)
            if (std::fabs(a[i * n + j]) > std::fabs(a[pivot * n + j]))
                pivot = i;
        if (!(std::fabs(a[pivot * n + j]) > 0.0))
            return false;
        if (pivot != j) {
            for (int k = 0; k < n; ++k)
                std::swap(a[j * n + k], a[pivot * n + k]);
            std::swap(b[j], b[pivot]);
        }
        for (int i = j + 1; i < n; ++i) {
            const double f = a[i * n + j] / a[j * n + j];
            if (f == 0.0)
                continue;
            for (int k = j; k < n; ++k)
                a[i * n + k] -= f * a[j * n + k];
            b[i] -= f * b[j];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = b[i];
        for (int k = i + 1; k < n; ++k)
            sum -= a[i * n + k] * b[k];
        b[i] = sum / a[i * n + i];
        if (!std::isfinite(b[i]))
            return false;
    }
    return true;
}

bool cholesky(int n, double* a, double shift)
{
    for (int j = 0; j < n; ++j) {
        double d = a[j * n + j] - shift;
        for (int k = 0; k < j; ++k)
            d -= a[j * n + k] * a[j * n + k];
        if (!(d > 0.0))
            return false;
        const double pivot = std::sqrt(d);
        a[j * n + j] = pivot;
        for (int i = j + 1; i < n; ++i) {
            double sum = a[i * n + j];
            for (int k = 0; k < j; ++k)
                sum -= a[i * n + k] * a[j * n + k];
            a[i * n + j] = sum / pivot;
        }
    }
    return true;
}

void cholesky_solve(int n, const double* l, double* b)
{
    for (int i = 0; i < n; ++i) {
        double sum = b[i];
        for (int k = 0; k < i; ++k)
            sum -= l[i * n + k] * b[k];
        b[i] = sum / l[i * n + i];
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = b[i];
        for (int k = i + 1; k < n; ++k)
            sum -= l[k * n + i] * b[k];
        b[i] = sum / l[i * n + i];
    }
}
