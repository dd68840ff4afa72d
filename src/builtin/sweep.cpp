#include "builtin/sweep.h"

#include "builtin/equilibrium.h"
#include "builtin/runlog.h"
#include "builtin/textout.h"

#include <cmath>
#include <ctime>

namespace {

// Bounds included; a non-number compares false and so fails, as it must.
bool in_range(double x)
{
    return x >= 0.0 && x <= 1.0;
}

}  // namespace

std::uint32_t clock_seed()
{
    return static_cast<std::uint32_t>(std::time(nullptr));
}

int draw_15_bits(std::mt19937& gen)
{
    return static_cast<int>(gen() >> 17);
}

void draw_start(Draw draw, void* state, double& xl, double& xs)
{
    int a = 0;
    int b = 0;
    do {
        a = draw(state);
        b = draw(state);
    } while (a == b && a > 0 && a < DRAW_MAX);
    xl = a / 32767.0;
    xs = b / 32767.0;
}

bool try_newton_step(int T, WorkMatrix& jac, double xl, double xs, double& h, double& k)
{
    jac[0][0] = d11(xl, T);
    jac[0][1] = d12(xs, T);
    jac[1][0] = d21(xl, T);
    jac[1][1] = d22(xs, T);
    if (!invert_matrix(jac))
        return false;
    const double r1 = f1(xl, xs, T);
    const double r2 = f2(xl, xs, T);
    h = (-r1 * jac[0][2]) - r2 * jac[0][3];
    k = (-r1 * jac[1][2]) - r2 * jac[1][3];
    return true;
}

void newton_step(int T, WorkMatrix& jac, double xl, double xs, double& h, double& k)
{
    if (!try_newton_step(T, jac, xl, xs, h, k))
        stop_singular();
}

int solve(int T, WorkMatrix& jac, Draw draw, void* state, std::FILE* log, double& xl, double& xs)
{
    const int attempts = try_solve(T, jac, draw, state, log, xl, xs);
    if (attempts == 0)
        stop_singular();
    return attempts;
}

int try_solve(int T, WorkMatrix& jac, Draw draw, void* state, std::FILE* log, double& xl, double& xs)
{
    for (int attempts = 1;; ++attempts) {
        draw_start(draw, state, xl, xs);
        log_attempt(log, T);
        for (int iteration = 1;; ++iteration) {
            if (!(in_range(xl) && in_range(xs))) {
                log_out_of_range(log, xl, xs);
                break;
            }
            double h = 0.0;
            double k = 0.0;
            if (!try_newton_step(T, jac, xl, xs, h, k))
                return 0;
            log_pass(log, iteration, xl, xs, h, k);
            // The converging step is not applied: the point it was computed at is the result.
            if (std::fabs(h) < TOL && std::fabs(k) < TOL)
                return attempts;
            xl += h;
            xs += k;
        }
    }
}

void write_row(std::FILE* table, int T, double xl, double xs)
{
    char line[INT_MAX_CHARS + 2 * FIXED10_MAX + 4];
    char* p = put_int(line, T);
    *p++ = '\t';
    p = put_fixed10(p, xl);
    *p++ = '\t';
    p = put_fixed10(p, xs);
    *p++ = '\n';
    std::fwrite(line, 1, static_cast<std::size_t>(p - line), table);
}

bool sweep_rows(Draw draw, void* state, double* xl, double* xs)
{
    WorkMatrix jac = {};
    for (int T = T_FIRST; T <= T_LAST; ++T)
        if (try_solve(T, jac, draw, state, nullptr, xl[T - T_FIRST], xs[T - T_FIRST]) == 0)
            return false;
    return true;
}

void sweep(WorkMatrix& jac, Draw draw, void* state, std::FILE* log, std::FILE* table)
{
    for (int T = T_FIRST; T <= T_LAST; ++T) {
        double xl = 0.0;
        double xs = 0.0;
        solve(T, jac, draw, state, log, xl, xs);
        log_converged(log, T, xl, xs);
        write_row(table, T, xl, xs);
    }
}
