#include "engine/temperature_function.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t STACK = 64;  // deeper than any expression the reader accepts

double run(const Expression& e, const FunctionTable& functions, double T, bool& extrapolated)
{
    double stack[STACK];
    std::size_t top = 0;
    for (const Expression::Step& step : e.steps) {
        using Op = Expression::Op;
        switch (step.op) {
        case Op::number:
            stack[top++] = step.number;
            break;
        case Op::temperature:
            stack[top++] = T;
            break;
        case Op::call:
            stack[top++] = evaluate(functions.bodies[static_cast<std::size_t>(step.function)], functions, T,
                                    extrapolated);
            break;
        case Op::negate:
            stack[top - 1] = -stack[top - 1];
            break;
        case Op::ln:
            stack[top - 1] = std::log(stack[top - 1]);
            break;
        case Op::exp:
            stack[top - 1] = std::exp(stack[top - 1]);
            break;
        default: {
            const double b = stack[--top];
            double& a = stack[top - 1];
            a = step.op == Op::add        ? a + b
                : step.op == Op::subtract ? a - b
                : step.op == Op::multiply ? a * b
                : step.op == Op::divide   ? a / b
                                          : std::pow(a, b);
        }
        }
    }
    return top == 1 ? stack[0] : std::nan("");
}

// Depth-first search for a call back into a function on the way: that function,
// which is in the cycle, or -1.
int reaches_back(const FunctionTable& functions, std::size_t f, std::vector<int>& state)
{
    state[f] = 1;  // on the way
    for (const Expression& e : functions.bodies[f].pieces)
        for (const Expression::Step& step : e.steps) {
            if (step.op != Expression::Op::call)
                continue;
            const auto g = static_cast<std::size_t>(step.function);
            if (state[g] == 1)
                return static_cast<int>(g);
            if (state[g] == 0) {
                const int found = reaches_back(functions, g, state);
                if (found >= 0)
                    return found;
            }
        }
    state[f] = 2;  // done, no cycle through it
    return -1;
}

int depth_of(const FunctionTable& functions, std::size_t f, std::vector<int>& depth)
{
    if (depth[f] > 0)
        return depth[f];
    int deepest = 0;
    for (const Expression& e : functions.bodies[f].pieces)
        for (const Expression::Step& step : e.steps)
            if (step.op == Expression::Op::call)
                deepest =
                    std::max(deepest, depth_of(functions, static_cast<std::size_t>(step.function), depth));
    return depth[f] = deepest + 1;
}

}  // namespace

int deepest_calls(const FunctionTable& functions)
{
    std::vector<int> depth(functions.bodies.size(), 0);
    int deepest = 0;
    for (std::size_t f = 0; f < functions.bodies.size(); ++f)
        deepest = std::max(deepest, depth_of(functions, f, depth));
    return deepest;
}

double evaluate(const Piecewise& p, const FunctionTable& functions, double T, bool& extrapolated)
{
    if (p.pieces.empty())
        return 0.0;
    std::size_t i = 0;
    while (i + 1 < p.pieces.size() && T >= p.limits[i + 1])
        ++i;
    if (T < p.limits.front() || T > p.limits.back())
        extrapolated = true;
    return run(p.pieces[i], functions, T, extrapolated);
}

int function_in_a_cycle(const FunctionTable& functions)
{
    std::vector<int> state(functions.bodies.size(), 0);
    for (std::size_t f = 0; f < functions.bodies.size(); ++f) {
        const int found = state[f] == 0 ? reaches_back(functions, f, state) : -1;
        if (found >= 0)
            return found;
    }
    return -1;
}
