// One Newton method for every system of equations the engine solves (tie-lines,
// invariants, liquidus and solidus points): backtracking on the largest residual
// until the residual is at rounding level, then full steps for as long as they
// still shrink, so that an ill-conditioned solution (a narrow lens, where equal
// potentials barely move the compositions) is carried to its last digits too.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

namespace newton_limits {

constexpr int MAX_UNKNOWNS = 4;
constexpr double CONVERGED =
    1e-13;  // residual (in the caller's units, RT for potentials) where backtracking stops
constexpr double ACCEPTED = 1e-10;  // residual a solution may keep
// Backtracking steps at most: a converging start needs a few dozen, and a
// fraction running off to the pure component (steps of e^2 at most) 350 to
// leave the doubles from 1e-40.
constexpr int ITERATIONS = 400;
constexpr int HALVINGS = 40;  // a step cut by 2^40 moves nothing representable further
constexpr int POLISHING = 8;  // full steps after convergence: quadratic convergence needs two or three
// A residual at its own rounding (potentials that a rounding of x moves by
// 1e-5 RT beside an ordered composition) still falls by a hair, now and then,
// along 2^-10 of a step or less: iterations of such steps in a row, each
// lowering it by less than a hundredth, have stalled, where 400 of them cost
// 6,000 evaluations and move nothing. (An invariant's ill-conditioned
// equations crawl the same way to digits they need: see OnStall.)
constexpr double STALLED_SCALE = 0x1p-10;
constexpr double STALLED_GAIN = 0.01;
constexpr int STALLED_ITERATIONS = 8;
// A crawl stalled so far from a root that, at the most it gains an
// iteration, the iterations left could not carry it below ACCEPTED (0.99^400
// is 0.018): it crawls on only where the residual is nearly there, as an
// invariant's ill-conditioned equations do. A tie-line sought across where
// one end's state ceases (an ordered phase beside its disordered part) sits
// at 0.17 RT and gains 0.03 % an iteration, at 16 halvings each.
constexpr double CRAWL_REACH = 1e-6;

}  // namespace newton_limits

// What a stalled iteration does: crawl on to ITERATIONS (the default), or stop
// there, for a caller that knows its residual may hold no further digit and
// has a better way on from its best point.
enum class OnStall { crawl, stop };

enum class NewtonResult {
    converged,  // the residual is below ACCEPTED
    escaped,    // the caller's escape test stopped the iteration (a composition ran off to a pure component)
    failed,     // no step lowered the residual before it reached ACCEPTED
};

// Solves a x = b (n at most 4) by elimination with partial pivoting; false if singular.
inline bool solve_linear(int n, double a[4][4], double b[4], double x[4])
{
    for (int j = 0; j < n; ++j) {
        int pivot = j;
        for (int i = j + 1; i < n; ++i)
            if (std::fabs(a[i][j]) > std::fabs(a[pivot][j]))
                pivot = i;
        if (!(std::fabs(a[pivot][j]) > 0.0))
            return false;
        std::swap(a[j], a[pivot]);
        std::swap(b[j], b[pivot]);
        for (int i = j + 1; i < n; ++i) {
            const double f = a[i][j] / a[j][j];
            for (int k = j; k < n; ++k)
                a[i][k] -= f * a[j][k];
            b[i] -= f * b[j];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = b[i];
        for (int k = i + 1; k < n; ++k)
            sum -= a[i][k] * x[k];
        x[i] = sum / a[i][i];
    }
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

// The state of one Newton iteration over n unknowns held in a State: the residuals
// f (already scaled by the caller), the Jacobian and the largest residual.
template <class State>
struct NewtonPoint {
    State v;
    double f[4];
    double jac[4][4];
    double norm;
};

template <class State, class Evaluate>
NewtonPoint<State> newton_point(int n, const State& v, Evaluate& evaluate)
{
    NewtonPoint<State> p{v, {}, {}, 0.0};
    evaluate(p.v, p.f, p.jac);
    // A residual that is not a number is no better than any other: never "small".
    p.norm = 0.0;
    for (int i = 0; i < n; ++i)
        p.norm = std::isnan(p.f[i]) ? HUGE_VAL : std::max(p.norm, std::fabs(p.f[i]));
    return p;
}

// The Newton step at p; false if the Jacobian is singular there.
template <class State>
bool newton_step(int n, NewtonPoint<State> p, double dv[4])
{
    double rhs[4];
    for (int i = 0; i < n; ++i)
        rhs[i] = -p.f[i];
    return solve_linear(n, p.jac, rhs, dv);
}

// Newton from the evaluated point at for n unknowns: evaluate(v, f, jacobian)
// fills the scaled residuals and the Jacobian, apply(v, dv, scale) returns the
// point v + scale dv (the caller limits and maps the step), escaped(v) ends the
// iteration early. v is left at the best point found. A caller that judges the
// start first hands it over here, so that it is evaluated once.
template <class State, class Evaluate, class Apply, class Escaped>
NewtonResult newton_from(int n, NewtonPoint<State> at, State& v, Evaluate evaluate, Apply apply,
                         Escaped escaped, OnStall on_stall = OnStall::crawl)
{
    using namespace newton_limits;
    int stalled = 0;
    const int most_stalled = on_stall == OnStall::stop ? STALLED_ITERATIONS : ITERATIONS;
    // Where a root lies beside the edge of where the equations hold (an
    // ordered state that exists on one side of where it sets in), each full
    // step lands beyond that edge again, and the halvings back from it are
    // evaluations that find no state: after a step cut back from there, the
    // next starts from twice the share taken, and from a full step again once
    // none went beyond.
    double first_scale = 1.0;
    const auto stalled_out = [&] {
        return stalled >= (at.norm > CRAWL_REACH ? STALLED_ITERATIONS : most_stalled);
    };
    for (int iteration = 0; iteration < ITERATIONS && at.norm > CONVERGED && !stalled_out(); ++iteration) {
        double dv[4];
        if (!newton_step(n, at, dv))
            break;
        bool moved = false;
        bool beyond = false;  // a trial whose residual is not finite (no state there)
        double taken = 1.0;
        double scale = first_scale;
        for (int halving = 0; halving < HALVINGS && !moved; ++halving, scale *= 0.5) {
            NewtonPoint<State> trial = newton_point(n, apply(at.v, dv, scale), evaluate);
            beyond = beyond || !(trial.norm < HUGE_VAL);
            if (trial.norm < at.norm) {
                const bool hair = scale <= STALLED_SCALE && trial.norm > (1.0 - STALLED_GAIN) * at.norm;
                stalled = hair ? stalled + 1 : 0;
                at = trial;
                moved = true;
                taken = scale;
            }
        }
        if (!moved)
            break;
        first_scale = beyond ? std::min(1.0, 2.0 * taken) : 1.0;
        if (escaped(at.v)) {
            v = at.v;
            return NewtonResult::escaped;
        }
    }
    // Below the rounding level of the residual, full steps while they shrink.
    double last = HUGE_VAL;
    for (int polish = 0; polish < POLISHING && at.norm <= ACCEPTED; ++polish) {
        double dv[4];
        if (!newton_step(n, at, dv))
            break;
        double size = 0.0;
        for (int i = 0; i < n; ++i)
            size = std::max(size, std::fabs(dv[i]));
        if (!(size < last))
            break;
        NewtonPoint<State> trial = newton_point(n, apply(at.v, dv, 1.0), evaluate);
        if (!(trial.norm <= ACCEPTED) || escaped(trial.v))
            break;
        at = trial;
        last = size;
        if (size == 0.0)
            break;
    }
    v = at.v;
    return at.norm <= ACCEPTED ? NewtonResult::converged : NewtonResult::failed;
}

// Newton from v, as newton_from.
template <class State, class Evaluate, class Apply, class Escaped>
NewtonResult newton(int n, State& v, Evaluate evaluate, Apply apply, Escaped escaped,
                    OnStall on_stall = OnStall::crawl)
{
    return newton_from(n, newton_point(n, v, evaluate), v, evaluate, apply, escaped, on_stall);
}

template <class State, class Evaluate, class Apply>
NewtonResult newton(int n, State& v, Evaluate evaluate, Apply apply)
{
    return newton(n, v, evaluate, apply, [](const State&) { return false; });
}
