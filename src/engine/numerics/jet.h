// A function of one variable with its first three derivatives at a point, and
// the rules that carry them through products and compositions: how the
// magnetic term's derivatives in x, and every energy's in T, are exact rather
// than differenced.
#pragma once

#include <cmath>

struct Jet {
    double v, d1, d2, d3;
};

// The variable itself at t, and a constant.
inline Jet variable(double t)
{
    return {t, 1.0, 0.0, 0.0};
}

inline Jet constant(double c)
{
    return {c, 0.0, 0.0, 0.0};
}

// The jets below are of order 3 (d3 too) or 2 (d3 left 0), as THIRD says: a
// grid's many points need no third derivative, and its terms cost a third of the whole.
template <bool THIRD>
Jet times(const Jet& f, const Jet& g)
{
    return {f.v * g.v, f.d1 * g.v + f.v * g.d1, f.d2 * g.v + 2.0 * f.d1 * g.d1 + f.v * g.d2,
            THIRD ? f.d3 * g.v + 3.0 * f.d2 * g.d1 + 3.0 * f.d1 * g.d2 + f.v * g.d3 : 0.0};
}

// f(u(t)) from f and its first three derivatives at u(t) (Faa di Bruno).
template <bool THIRD>
Jet compose(double f0, double f1, double f2, double f3, const Jet& u)
{
    return {f0, f1 * u.d1, f2 * u.d1 * u.d1 + f1 * u.d2,
            THIRD ? f3 * u.d1 * u.d1 * u.d1 + 3.0 * f2 * u.d1 * u.d2 + f1 * u.d3 : 0.0};
}

inline Jet operator+(const Jet& f, const Jet& g)
{
    return {f.v + g.v, f.d1 + g.d1, f.d2 + g.d2, f.d3 + g.d3};
}

inline Jet operator-(const Jet& f, const Jet& g)
{
    return {f.v - g.v, f.d1 - g.d1, f.d2 - g.d2, f.d3 - g.d3};
}

inline Jet operator-(const Jet& f)
{
    return {-f.v, -f.d1, -f.d2, -f.d3};
}

inline Jet operator*(double c, const Jet& f)
{
    return {c * f.v, c * f.d1, c * f.d2, c * f.d3};
}

// The second-order rules, which an energy's T derivatives (entropy, heat
// capacity) need and no more.
inline Jet operator*(const Jet& f, const Jet& g)
{
    return times<false>(f, g);
}

inline Jet reciprocal(const Jet& f)
{
    const double r = 1.0 / f.v;
    return compose<false>(r, -r * r, 2.0 * r * r * r, 0.0, f);
}

inline Jet operator/(const Jet& f, const Jet& g)
{
    return f * reciprocal(g);
}

inline Jet log(const Jet& f)
{
    return compose<false>(std::log(f.v), 1.0 / f.v, -1.0 / (f.v * f.v), 0.0, f);
}

inline Jet log1p(const Jet& f)
{
    const double w = 1.0 + f.v;
    return compose<false>(std::log1p(f.v), 1.0 / w, -1.0 / (w * w), 0.0, f);
}

inline Jet exp(const Jet& f)
{
    const double e = std::exp(f.v);
    return compose<false>(e, e, e, 0.0, f);
}

// f^g: a constant power by the power rule, which holds for a negative base
// too; any other as exp(g ln f).
inline Jet pow(const Jet& f, const Jet& g)
{
    if (g.d1 == 0.0 && g.d2 == 0.0) {
        const double n = g.v;
        return compose<false>(std::pow(f.v, n), n * std::pow(f.v, n - 1.0),
                              n * (n - 1.0) * std::pow(f.v, n - 2.0), 0.0, f);
    }
    return exp(g * log(f));
}
