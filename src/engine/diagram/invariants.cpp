#include "engine/diagram/invariants.h"

#include "engine/numerics/newton.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double LONGEST_STEP = 2.0;  // in ln x: at most a factor e^2 in a fraction per step
constexpr double LOWEST_T = 1e-6;     // K: temperatures are kept above absolute zero
// Where a congruent or critical point is sought in x itself: strictly inside (0, 1).
constexpr double SMALLEST_X = 1e-300;
constexpr double LARGEST_X = 1.0 - 1e-16;
constexpr double SLOPE_STEP = 1e-6;  // for the curvature's slope's slope, by a central difference
// Roundings of x the slope's residual of a congruent or critical point may come
// to where Newton can bring it no lower: beside an ordered composition one
// rounding of x moves it by 8e-8 RT (COST 507's SnTi3 melting congruently at
// 2007.49 K, 1.3e-9 below 3/4).
constexpr double ROUNDINGS_OF_X = 8.0;
// Two compositions of one phase closer than this (in ln of each fraction) are
// one: the trivial root of the three-phase equations, where a phase stands twice.
constexpr double ONE_PHASE = 1e-6;

struct ThreePhase {
    Composition at[3];
    double T;
};

// A Newton step of a three-phase equilibrium: each composition that is an
// unknown (column >= 0) in the logarithm of its smaller fraction, by at most
// LONGEST_STEP, and T kept within [T_min, T_max].
ThreePhase three_phase_step(const ThreePhase& w, const double dv[4], double step, const int column[3],
                            int T_column, double T_min, double T_max)
{
    ThreePhase t = w;
    for (int i = 0; i < 3; ++i) {
        if (column[i] < 0)
            continue;
        const double du = std::max(-LONGEST_STEP, std::min(LONGEST_STEP, step * dv[column[i]]));
        t.at[i] = moved_in_log(w.at[i], du);
    }
    t.T = std::max(T_min, std::min(T_max, w.T + step * dv[T_column]));
    return t;
}

// A database's function may jump where its pieces meet (GHSERSN by 0.04 J at
// 505.08 K in a published Pb-Sn file, COST 507's lithium by 1e-3 J at its
// melting point): an equilibrium that crosses there has no root, and is taken
// at the limit itself where the jump is all that is left of its n residuals.
template <class State, class Evaluate>
bool left_at_a_jump(const System& s, int n, const State& v, Evaluate& evaluate)
{
    double f[4];
    double j[4][4];
    evaluate(v, f, j);
    double largest = 0.0;
    for (int r = 0; r < n; ++r)
        largest = std::max(largest, std::fabs(f[r]));
    return largest < AT_A_JUMP && at_piece_limit(s, v.T);
}

}  // namespace

namespace {

// An outer end of a three-phase equilibrium at exactly a pure component (its
// solubility below what a double holds) is held there, and of its pair's two
// equations only that of the component it is made of is kept: the other holds
// in the limit, its logarithm going to minus infinity.
bool pure(const Composition& c)
{
    return c.x == 0.0 || c.y == 0.0;
}

// Which of the A (0) and B (1) equations of pair k (phases k and k + 1) are kept.
bool kept(const Composition at[3], int pair, int component)
{
    const Composition& outer = pair == 0 ? at[0] : at[2];
    if (!pure(outer))
        return true;
    return component == (outer.x == 0.0 ? 1 : 0);
}

}  // namespace

namespace {

// Three phases of which one or more are compounds: the common tangent of the
// solutions (their equal potentials against the first of them, r) passes
// through each compound's point; with three compounds, the middle one lies on
// the chord of the outer two.
bool three_with_compounds(const System& s, const Phase p[3], Composition at[3], double& T, double T_min,
                          double T_max)
{
    // A solution at exactly a pure component is held there, as in the
    // equations without compounds, with only its component's equation.
    int r = -1;
    int column[3];
    int n = 0;
    for (int i = 0; i < 3; ++i) {
        const bool held = is_point(s, p[i]) || (i != 1 && pure(at[i]));
        column[i] = held ? -1 : n++;
        if (r < 0 && column[i] >= 0)
            r = i;
        if (is_point(s, p[i]))
            at[i] = point_composition(phase_model(s, p[i]));
    }
    const int T_column = n++;
    ThreePhase v{{at[0], at[1], at[2]}, T};
    const auto evaluate = [&](const ThreePhase& w, double f[4], double j[4][4]) {
        const double RT = s.gas_constant * w.T;
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b)
                j[a][b] = 0.0;
        int row = 0;
        if (r < 0) {  // three compounds: the middle on the chord of the outer two
            // An outer phase held at a pure component (a solution of no
            // solubility in the doubles, beside two compounds) is that
            // component's pure energy in it.
            const auto energy = [&](int i, double temperature) {
                return is_point(s, p[i]) ? phase_at(s, p[i], temperature, false).ga
                                         : pure_gibbs(s, p[i], at[i].x > 0.0, temperature);
            };
            const auto off_chord = [&](double temperature) {
                double g[3];
                for (int i = 0; i < 3; ++i)
                    g[i] = energy(i, temperature);
                const double t = (at[1].x - at[0].x) / (at[2].x - at[0].x);
                return (g[1] - (1.0 - t) * g[0] - t * g[2]) / (s.gas_constant * temperature);
            };
            f[0] = off_chord(w.T);
            j[0][0] = (off_chord(w.T + 1e-3) - off_chord(w.T - 1e-3)) / 2e-3;
            return;
        }
        const Potentials m = potentials(s, p[r], w.at[r], w.T);
        for (int i = 0; i < 3; ++i) {
            if (i == r)
                continue;
            if (!is_point(s, p[i])) {
                const Potentials o = potentials(s, p[i], w.at[i], w.T);
                const PotentialGap gap = potential_gap(w.at[r], m, w.at[i], o);
                for (int component = 0; component < 2; ++component) {
                    const bool is_a = component == 0;
                    if (column[i] < 0 && (is_a ? w.at[i].x : w.at[i].y) == 0.0)
                        continue;  // a pure end: only its own component's equation
                    f[row] = is_a ? gap.a : gap.b;
                    j[row][column[r]] = (is_a ? m.dmu_a : m.dmu_b) / RT;
                    if (column[i] >= 0)
                        j[row][column[i]] = -(is_a ? o.dmu_a : o.dmu_b) / RT;
                    j[row][T_column] = (is_a ? m.mu_a_dT - o.mu_a_dT : m.mu_b_dT - o.mu_b_dT) / RT;
                    ++row;
                }
                continue;
            }
            const PhaseAtT c = phase_at(s, p[i], w.T);
            const Composition& q = w.at[i];
            f[row] = (q.x * m.mu_a + q.y * m.mu_b - c.ga) / RT;
            j[row][column[r]] = (q.x * m.dmu_a + q.y * m.dmu_b) / RT;
            j[row][T_column] = (q.x * m.mu_a_dT + q.y * m.mu_b_dT - c.ga_dT) / RT;
            ++row;
        }
    };
    const auto apply = [&](const ThreePhase& w, const double dv[4], double step) {
        return three_phase_step(w, dv, step, column, T_column, T_min, T_max);
    };
    if (newton(n, v, evaluate, apply) != NewtonResult::converged && !left_at_a_jump(s, n, v, evaluate))
        return false;
    for (int i = 0; i < 3; ++i)
        at[i] = v.at[i];
    T = v.T;
    return at[0].x < at[1].x && at[1].x < at[2].x;
}

}  // namespace

bool solve_three_phase(const System& s, const Phase p[3], Composition at[3], double& T, double T_min,
                       double T_max)
{
    if (is_point(s, p[0]) || is_point(s, p[1]) || is_point(s, p[2]))
        return three_with_compounds(s, p, at, T, T_min, T_max);
    const double scale = 1.0 / (s.gas_constant * T);
    ThreePhase v{{at[0], at[1], at[2]}, T};
    int column[3];  // of each composition among the unknowns, -1 where held
    int n = 0;
    for (int i = 0; i < 3; ++i)
        column[i] = (i != 1 && pure(at[i])) ? -1 : n++;
    const int T_column = n++;
    const auto evaluate = [&](const ThreePhase& w, double f[4], double j[4][4]) {
        Potentials m[3];
        for (int i = 0; i < 3; ++i)
            m[i] = potentials(s, p[i], w.at[i], w.T);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                j[r][c] = 0.0;
        // Equal potentials of A and of B across phases k and k + 1, as kept.
        int row = 0;
        for (int pair = 0; pair < 2; ++pair) {
            const Potentials& a = m[pair];
            const Potentials& b = m[pair + 1];
            const PotentialGap gap = potential_gap(w.at[pair], a, w.at[pair + 1], b);
            for (int component = 0; component < 2; ++component) {
                if (!kept(at, pair, component))
                    continue;
                const bool is_a = component == 0;
                f[row] = is_a ? gap.a : gap.b;
                if (column[pair] >= 0)
                    j[row][column[pair]] = (is_a ? a.dmu_a : a.dmu_b) * scale;
                if (column[pair + 1] >= 0)
                    j[row][column[pair + 1]] = -(is_a ? b.dmu_a : b.dmu_b) * scale;
                j[row][T_column] = (is_a ? a.mu_a_dT - b.mu_a_dT : a.mu_b_dT - b.mu_b_dT) * scale;
                ++row;
            }
        }
    };
    const auto apply = [&](const ThreePhase& w, const double dv[4], double step) {
        return three_phase_step(w, dv, step, column, T_column, T_min, T_max);
    };
    if (newton(n, v, evaluate, apply) != NewtonResult::converged && !left_at_a_jump(s, n, v, evaluate))
        return false;
    for (int i = 0; i < 3; ++i)
        at[i] = v.at[i];
    T = v.T;
    for (int i = 0; i < 2; ++i)
        for (int k = i + 1; k < 3; ++k)
            if (p[i] == p[k] && std::fabs(log_ratio_a(at[i], at[k])) < ONE_PHASE &&
                std::fabs(log_ratio_b(at[i], at[k])) < ONE_PHASE)
                return false;
    return at[0].x < at[1].x && at[1].x < at[2].x;
}

namespace {

struct FixedEnd {
    Composition other;
    double T;
};

}  // namespace

namespace {

// The temperature at which the tangent of phase p at c passes through the
// point of compound q: x_q mu_a + y_q mu_b = G_q, from the guess T.
bool tangent_through_compound(const System& s, Phase p, const Composition& c, Phase q, double& T)
{
    const Composition point = point_composition(phase_model(s, q));
    double at = T;
    const auto evaluate = [&](const double& temperature, double f[4], double j[4][4]) {
        const PhaseAtT k = phase_at(s, q, temperature);
        const Potentials m = potentials(s, p, c, temperature);
        const double RT = s.gas_constant * temperature;
        f[0] = (point.x * m.mu_a + point.y * m.mu_b - k.ga) / RT;
        j[0][0] = (point.x * m.mu_a_dT + point.y * m.mu_b_dT - k.ga_dT) / RT;
    };
    const auto apply = [](const double& temperature, const double dv[4], double step) {
        return std::max(LOWEST_T, temperature + step * dv[0]);
    };
    if (newton(1, at, evaluate, apply) != NewtonResult::converged)
        return false;
    T = at;
    return true;
}

}  // namespace

bool solve_fixed_end(const System& s, Phase p, const Composition& fixed, Phase q, Composition& other,
                     double& T)
{
    if (is_point(s, p))
        return false;
    if (is_point(s, q)) {  // a compound forms
        other = point_composition(phase_model(s, q));
        return tangent_through_compound(s, p, fixed, q, T);
    }
    const double scale = 1.0 / (s.gas_constant * T);
    FixedEnd v{other, T};
    const auto evaluate = [&](const FixedEnd& w, double f[4], double j[4][4]) {
        const Potentials a = potentials(s, p, fixed, w.T);
        const Potentials b = potentials(s, q, w.other, w.T);
        const PotentialGap gap = potential_gap(fixed, a, w.other, b);
        f[0] = gap.a;
        f[1] = gap.b;
        j[0][0] = -b.dmu_a * scale;
        j[0][1] = (a.mu_a_dT - b.mu_a_dT) * scale;
        j[1][0] = -b.dmu_b * scale;
        j[1][1] = (a.mu_b_dT - b.mu_b_dT) * scale;
    };
    const auto apply = [&](const FixedEnd& w, const double dv[4], double step) {
        const double du = std::max(-LONGEST_STEP, std::min(LONGEST_STEP, step * dv[0]));
        return FixedEnd{moved_in_log(w.other, du), std::max(LOWEST_T, w.T + step * dv[1])};
    };
    if (newton(2, v, evaluate, apply) != NewtonResult::converged && !left_at_a_jump(s, 2, v, evaluate))
        return false;
    other = v.other;
    T = v.T;
    return true;
}

namespace {

struct Point {
    double x;
    double T;
};

// Whether Newton's best point v holds the value to ACCEPTED and the slope to a
// few of what one rounding of x moves it by: x's doubles hold it no closer.
template <class Evaluate>
bool slope_at_rounding(const Point& v, Evaluate& evaluate)
{
    double f[4];
    double j[4][4];
    evaluate(v, f, j);
    const double rounding = std::fabs(j[1][0]) * (std::nextafter(v.x, 2.0) - v.x);
    return std::fabs(f[0]) <= newton_limits::ACCEPTED && std::fabs(f[1]) <= ROUNDINGS_OF_X * rounding;
}

// Newton on two functions of (x, T): g(x, T, value, slope in x). The T slopes
// are differences over 1 K: exact where the model is linear in T, as a system
// file's is, and close enough for Newton where it is not.
template <class Function>
bool solve_point(double& x, double& T, double gas_constant, Function g)
{
    const double scale = 1.0 / (gas_constant * T);
    Point v{x, T};
    const auto evaluate = [&](const Point& w, double f[4], double j[4][4]) {
        double v0 = 0.0;
        double d0 = 0.0;
        double dd0 = 0.0;
        g(w.x, w.T, v0, d0, dd0);
        double v1 = 0.0;
        double d1 = 0.0;
        double dd1 = 0.0;
        g(w.x, w.T + 1.0, v1, d1, dd1);
        f[0] = v0 * scale;
        f[1] = d0 * scale;
        j[0][0] = d0 * scale;
        j[0][1] = (v1 - v0) * scale;
        j[1][0] = dd0 * scale;
        j[1][1] = (d1 - d0) * scale;
    };
    const auto apply = [&](const Point& w, const double dv[4], double step) {
        Point t{w.x + step * dv[0], w.T + step * dv[1]};
        t.x = std::max(SMALLEST_X, std::min(LARGEST_X, t.x));
        t.T = std::max(LOWEST_T, t.T);
        return t;
    };
    if (newton(2, v, evaluate, apply) != NewtonResult::converged && !slope_at_rounding(v, evaluate))
        return false;
    x = v.x;
    T = v.T;
    return x > 0.0 && x < 1.0;
}

}  // namespace

bool solve_congruent(const System& s, Phase p, Phase q, double& x, double& T)
{
    if (is_point(s, p) || is_point(s, q)) {
        // A compound melting (or changing) congruently: the other phase's curve
        // passes through its point, G_other(x_c, T) = G_c(T).
        const Phase compound = is_point(s, p) ? p : q;
        const Phase other = compound == p ? q : p;
        const Composition c = point_composition(phase_model(s, compound));
        x = c.x;
        return tangent_through_compound(s, other, c, compound, T);
    }
    return solve_point(x, T, s.gas_constant,
                       [&](double at, double temperature, double& v, double& d, double& dd) {
                           phase_difference(s, p, q, at, temperature, v, d, dd);
                       });
}

bool solve_critical(const System& s, Phase p, double& x, double& T)
{
    return solve_point(x, T, s.gas_constant,
                       [&](double at, double temperature, double& v, double& d, double& dd) {
                           // The curvature function and its slope; the slope's own slope by a central
                           // difference.
                           curvature(s, p, at, temperature, v, d);
                           const double h = SLOPE_STEP;
                           double v_hi = 0.0;
                           double d_hi = 0.0;
                           double v_lo = 0.0;
                           double d_lo = 0.0;
                           curvature(s, p, at + h, temperature, v_hi, d_hi);
                           curvature(s, p, at - h, temperature, v_lo, d_lo);
                           dd = (d_hi - d_lo) / (2.0 * h);
                       });
}

namespace {

// K: how far beyond the first of its rows a tricritical point may lie: the
// rows that place it roughly may lie some kelvin below a region that the
// grid finds only now and then near its top.
constexpr double MOST_EXTRAPOLATED = 20.0;

// The parabola through (0, v[0]), (-h, v[1]) and (-2h, v[2]), at s.
double parabola(const double v[3], double h, double s)
{
    return v[0] + (v[0] - v[1]) / h * s + (v[0] - 2.0 * v[1] + v[2]) / (2.0 * h * h) * s * (s + h);
}

// The smallest positive root of that parabola; NaN where it has none.
double first_root(const double v[3], double h)
{
    const double a = (v[0] - 2.0 * v[1] + v[2]) / (2.0 * h * h);
    const double b = (v[0] - v[1]) / h + a * h;
    const double c = v[0];
    if (a == 0.0)
        return -c / b > 0.0 ? -c / b : std::nan("");
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0)
        return std::nan("");
    // Both roots without cancellation: q / a and c / q.
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    double best = std::nan("");
    for (const double r : {q / a, c / q})
        if (r > 0.0 && !(r >= best))
            best = r;
    return best;
}

}  // namespace

bool tricritical_from_sides(const TieLine sides[3], double T, double h, double direction, double& x,
                            double& T_top)
{
    double width[3];
    double low[3];
    double high[3];
    for (int k = 0; k < 3; ++k) {
        low[k] = sides[k].low.x;
        high[k] = sides[k].high.x;
        width[k] = high[k] - low[k];
    }
    const double s_top = first_root(width, h);
    if (!(s_top <= MOST_EXTRAPOLATED))
        return false;
    T_top = T + s_top * direction;
    x = 0.5 * (parabola(low, h, s_top) + parabola(high, h, s_top));
    return true;
}

InvariantKind three_phase_kind(bool a_liquid, bool b_liquid, bool c_liquid, bool middle_above)
{
    const bool one_outer_liquid = a_liquid != c_liquid;
    const bool no_liquid = !a_liquid && !b_liquid && !c_liquid;
    if (middle_above) {
        if (!a_liquid && b_liquid && !c_liquid)
            return InvariantKind::eutectic;
        if (b_liquid && one_outer_liquid)
            return InvariantKind::monotectic;
        if (!b_liquid && one_outer_liquid)
            return InvariantKind::metatectic;
        if (no_liquid)
            return InvariantKind::eutectoid;
        return InvariantKind::eutectic_type;
    }
    if (!b_liquid && one_outer_liquid)
        return InvariantKind::peritectic;
    if (a_liquid && !b_liquid && c_liquid)
        return InvariantKind::syntectic;
    if (no_liquid)
        return InvariantKind::peritectoid;
    return InvariantKind::peritectic_type;
}

const char* invariant_name(InvariantKind k)
{
    switch (k) {
    case InvariantKind::congruent:
        return "congruent";
    case InvariantKind::critical:
        return "critical";
    case InvariantKind::tricritical:
        return "tricritical";
    case InvariantKind::eutectic:
        return "eutectic";
    case InvariantKind::monotectic:
        return "monotectic";
    case InvariantKind::metatectic:
        return "metatectic";
    case InvariantKind::peritectic:
        return "peritectic";
    case InvariantKind::syntectic:
        return "syntectic";
    case InvariantKind::eutectoid:
        return "eutectoid";
    case InvariantKind::peritectoid:
        return "peritectoid";
    case InvariantKind::eutectic_type:
        return "eutectic-type";
    case InvariantKind::peritectic_type:
        return "peritectic-type";
    }
    return "invariant";
}
