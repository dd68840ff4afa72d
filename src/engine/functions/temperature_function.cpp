#include "engine/functions/temperature_function.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t STACK = 64;  // deeper than any expression the reader accepts

double einstein(double theta, double T)
{
    const double R = DATABASE_GAS_CONSTANT;
    return 1.5 * R * theta + 3.0 * R * T * std::log1p(-std::exp(-theta / T));
}

Jet einstein(const Jet& theta, double T)
{
    const double R = DATABASE_GAS_CONSTANT;
    const Jet t = variable(T);
    return 1.5 * R * theta + 3.0 * R * (t * log1p(-exp(-theta / t)));
}

// What the stack holds at T: a value, or a value with its T derivatives.
double fixed(double c, const double*)
{
    return c;
}

Jet fixed(double c, const Jet*)
{
    return constant(c);
}

double at_temperature(double T, const double*)
{
    return T;
}

Jet at_temperature(double T, const Jet*)
{
    return variable(T);
}

double called(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated, const double*)
{
    return evaluate(p, functions, T, extrapolated);
}

Jet called(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated, const Jet*)
{
    return evaluate_in_T(p, functions, T, extrapolated);
}

template <class Number>
Number run(const Expression& e, const FunctionTable& functions, double T, bool& extrapolated)
{
    using std::exp;
    using std::log;
    using std::pow;
    constexpr const Number* kind = nullptr;
    Number stack[STACK];
    std::size_t top = 0;
    for (const Expression::Step& step : e.steps) {
        using Op = Expression::Op;
        switch (step.op) {
        case Op::number:
            stack[top++] = fixed(step.number, kind);
            break;
        case Op::temperature:
            stack[top++] = at_temperature(T, kind);
            break;
        case Op::pressure:
            stack[top++] = fixed(functions.pressure, kind);
            break;
        case Op::call:
            stack[top++] = called(functions.bodies[static_cast<std::size_t>(step.function)], functions, T,
                                  extrapolated, kind);
            break;
        case Op::negate:
            stack[top - 1] = -stack[top - 1];
            break;
        case Op::ln:
            stack[top - 1] = log(stack[top - 1]);
            break;
        case Op::exp:
            stack[top - 1] = exp(stack[top - 1]);
            break;
        case Op::einstein:
            stack[top - 1] = einstein(stack[top - 1], T);
            break;
        default: {
            const Number b = stack[--top];
            Number& a = stack[top - 1];
            a = step.op == Op::add        ? a + b
                : step.op == Op::subtract ? a - b
                : step.op == Op::multiply ? a * b
                : step.op == Op::divide   ? a / b
                                          : pow(a, b);
        }
        }
    }
    return top == 1 ? stack[0] : fixed(std::nan(""), kind);
}

// The piece of p that holds at T: the nearest one outside its limits.
std::size_t piece_at(const Piecewise& p, double T)
{
    std::size_t i = 0;
    while (i + 1 < p.pieces.size() && T >= p.limits[i + 1])
        ++i;
    return i;
}

// Each function's callees, once each.
std::vector<std::vector<int>> callees(const FunctionTable& functions)
{
    std::vector<std::vector<int>> out(functions.bodies.size());
    for (std::size_t f = 0; f < functions.bodies.size(); ++f) {
        for (const Expression& e : functions.bodies[f].pieces)
            for (const Expression::Step& step : e.steps)
                if (step.op == Expression::Op::call)
                    out[f].push_back(step.function);
        std::sort(out[f].begin(), out[f].end());
        out[f].erase(std::unique(out[f].begin(), out[f].end()), out[f].end());
    }
    return out;
}

}  // namespace

CallDepth call_depth(const FunctionTable& functions)
{
    const std::vector<std::vector<int>> calls = callees(functions);
    enum State : char { fresh, on_the_way, done };
    std::vector<State> state(calls.size(), fresh);
    std::vector<int> depth(calls.size(), 0);
    struct Visit {
        std::size_t f;
        std::size_t next;  // the callee to look at next
    };
    std::vector<Visit> path;
    int deepest = 0;
    int deepest_function = -1;
    for (std::size_t root = 0; root < calls.size(); ++root) {
        if (state[root] != fresh)
            continue;
        state[root] = on_the_way;
        path.push_back({root, 0});
        while (!path.empty()) {
            Visit& v = path.back();
            if (v.next < calls[v.f].size()) {
                const auto g = static_cast<std::size_t>(calls[v.f][v.next++]);
                if (state[g] == on_the_way)
                    return {static_cast<int>(g), 0, -1};
                if (state[g] == fresh) {
                    state[g] = on_the_way;
                    path.push_back({g, 0});
                }
                continue;
            }
            int below = 0;
            for (const int g : calls[v.f])
                below = std::max(below, depth[static_cast<std::size_t>(g)]);
            depth[v.f] = below + 1;
            if (depth[v.f] > deepest) {
                deepest = depth[v.f];
                deepest_function = static_cast<int>(v.f);
            }
            state[v.f] = done;
            path.pop_back();
        }
    }
    return {-1, deepest, deepest_function};
}

double evaluate(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated)
{
    if (p.pieces.empty())
        return 0.0;
    if (T < p.limits.front() || T > p.limits.back())
        extrapolated = true;
    return run<double>(p.pieces[piece_at(p, T)], functions, T, extrapolated);
}

Jet evaluate_in_T(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated)
{
    if (p.pieces.empty())
        return constant(0.0);
    if (T < p.limits.front() || T > p.limits.back())
        extrapolated = true;
    return run<Jet>(p.pieces[piece_at(p, T)], functions, T, extrapolated);
}

int not_finite_at(const Piecewise& p, const FunctionTable& functions, double T)
{
    bool unused = false;
    if (std::isfinite(evaluate(p, functions, T, unused)))
        return -2;
    if (p.pieces.empty())
        return -1;
    // Down the calls of the piece at T to the innermost function not finite
    // there; the table's depth is bounded, so this recursion is too.
    for (const Expression::Step& step : p.pieces[piece_at(p, T)].steps) {
        if (step.op != Expression::Op::call)
            continue;
        const int inner =
            not_finite_at(functions.bodies[static_cast<std::size_t>(step.function)], functions, T);
        if (inner != -2)
            return inner == -1 ? step.function : inner;
    }
    return -1;
}
