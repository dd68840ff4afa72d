// Searches of a function of one variable inside a bracket: golden section for
// an extremum, bisection for where its sign changes. Each goes on until the
// bracket is as narrow as the doubles of a composition resolve.
#pragma once

#include <algorithm>
#include <cmath>

namespace bracket_limits {

constexpr int STEPS = 60;        // at most: 0.618^60 of a grid's spacing is 3e-16
constexpr double WIDTH = 1e-13;  // and none once the bracket is this narrow

}  // namespace bracket_limits

// The minimum (sign +1) or maximum (sign -1) of f in [a, b], by golden
// section, and at where it lies. Where f jumps inside the bracket the section
// closes on the jump, and the lower (or higher) side's value is returned.
template <class F>
double golden_extremum(F f, double a, double b, int sign, double& at)
{
    const double r = 0.5 * (std::sqrt(5.0) - 1.0);
    double c = b - r * (b - a);
    double d = a + r * (b - a);
    double fc = sign * f(c);
    double fd = sign * f(d);
    for (int i = 0; i < bracket_limits::STEPS && b - a > bracket_limits::WIDTH; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - r * (b - a);
            fc = sign * f(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + r * (b - a);
            fd = sign * f(d);
        }
    }
    at = fc < fd ? c : d;
    return sign * std::min(fc, fd);
}

// How far from inside (where f < 0) towards end f stays negative: end itself
// where it is negative there too, else where f changes sign, by bisection.
template <class F>
double last_negative(F f, double inside, double end)
{
    if (f(end) < 0.0)
        return end;
    double in = inside;
    double out = end;
    for (int step = 0; step < bracket_limits::STEPS && std::fabs(out - in) > bracket_limits::WIDTH; ++step) {
        const double mid = 0.5 * (in + out);
        (f(mid) < 0.0 ? in : out) = mid;
    }
    return in;
}
