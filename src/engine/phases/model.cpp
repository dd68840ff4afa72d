// What every kind of phase shares: compositions, coefficients of T, the
// system's phases by index, and the pure components' transitions.
#include "engine/phases/kinds.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

double database_part(const System& s, const Coefficient& c, double T)
{
    double v = 0.0;
    bool extrapolated = false;  // reported once, at the edge, for the whole range
    for (const auto& [index, scale] : c.parameters)
        v += scale * evaluate(s.parameters[static_cast<std::size_t>(index)], s.functions, T, extrapolated);
    return v;
}

}  // namespace

void value_and_slope(const System& s, const Coefficient& c, double T, bool slope, double& v, double& dT)
{
    if (c.melting_point > 0.0) {
        v = c.a * (c.melting_point - T) / c.melting_point;
        dT = -c.a / c.melting_point;
    } else {
        v = c.a + c.b * T;
        dT = c.b;
    }
    if (!c.parameters.empty()) {
        v += database_part(s, c, T);
        const double h = kinds::SLOPE_STEP;
        if (slope)
            dT += (database_part(s, c, T + h) - database_part(s, c, T - h)) / (2.0 * h);
    }
}

Jet coefficient_in_T(const System& s, const Coefficient& c, double T)
{
    Jet out = c.melting_point > 0.0
                  ? Jet{c.a * (c.melting_point - T) / c.melting_point, -c.a / c.melting_point, 0.0, 0.0}
                  : Jet{c.a + c.b * T, c.b, 0.0, 0.0};
    bool extrapolated = false;  // reported once, at the edge, for the whole range
    for (const auto& [index, scale] : c.parameters)
        out = out + scale * evaluate_in_T(s.parameters[static_cast<std::size_t>(index)], s.functions, T,
                                          extrapolated);
    return out;
}

bool temperature_range(double first, double last, double step, TemperatureRange& r)
{
    if (!(first <= last) || !(step > 0.0))
        return false;
    const double steps = (last - first) / step;
    if (!(steps < static_cast<double>(MOST_TEMPERATURES)))
        return false;
    r = {first, last, step, static_cast<long>(std::floor(steps + 1e-9)) + 1};
    return r.count <= MOST_TEMPERATURES;
}

Composition composition_from_x(double x)
{
    return {x, 1.0 - x};  // 1 - x is exact for x >= 0.5, and x itself is the exact one below
}

Composition moved_in_log(const Composition& c, double du)
{
    const double factor = std::exp(du);
    if (c.x <= c.y) {
        const double x = c.x * factor;
        return {x, 1.0 - x};
    }
    const double y = c.y * factor;
    return Composition{1.0 - y, y};
}

namespace {

// ln(p1 / p2) for one component's fractions, given also the other's (q = 1 - p),
// held exactly where small.
double log_ratio(double p1, double q1, double p2, double q2)
{
    double difference = p1 - p2;
    if (p1 > 0.5 && p2 > 0.5)
        difference = q2 - q1;  // exact, where p1 - p2 would lose the small fractions' digits
    if (std::fabs(difference) < 0.5 * p2)
        return std::log1p(difference / p2);
    return std::log(p1) - std::log(p2);
}

}  // namespace

double log_ratio_a(const Composition& c1, const Composition& c2)
{
    return log_ratio(c1.x, c1.y, c2.x, c2.y);
}

double log_ratio_b(const Composition& c1, const Composition& c2)
{
    return log_ratio(c1.y, c1.x, c2.y, c2.x);
}

std::vector<PhaseModel> liquid_and_solid(const Component& a, const Component& b, const Solution& liquid,
                                         const Solution& solid)
{
    const auto fusion = [](const Component& c) {
        Coefficient f;
        f.a = c.enthalpy_of_fusion;
        if (c.melting_point_given > 0.0)
            f.melting_point = c.melting_point_given;
        else
            f.b = -c.entropy_of_fusion;
        return f;
    };
    const auto terms = [](const Solution& s) {
        std::vector<Coefficient> out;
        for (const RedlichKister& rk : s.excess) {
            Coefficient c;
            c.a = rk.a;
            c.b = rk.b;
            out.push_back(c);
        }
        return out;
    };
    SolutionKind l;
    l.pure_a = fusion(a);
    l.pure_b = fusion(b);
    l.excess = terms(liquid);
    SolutionKind s;
    s.excess = terms(solid);
    return {PhaseModel{"L", true, l}, PhaseModel{"S", false, s}};
}

double coefficient_at(const System& s, const Coefficient& c, double T)
{
    double v = 0.0;
    double unused = 0.0;
    value_and_slope(s, c, T, false, v, unused);
    return v;
}

const PhaseModel& phase_model(const System& s, Phase p)
{
    return s.phases[phase_index(p)];
}

const std::string& phase_name(const System& s, Phase p)
{
    return phase_model(s, p).name;
}

bool is_liquid(const System& s, Phase p)
{
    return phase_model(s, p).liquid;
}

PotentialGap potential_gap(const Composition& c1, const Potentials& m1, const Composition& c2,
                           const Potentials& m2)
{
    const double RT = m1.RT;
    return {log_ratio_a(c1, c2) + (m1.rest_a - m2.rest_a) / RT,
            log_ratio_b(c1, c2) + (m1.rest_b - m2.rest_b) / RT};
}

double gibbs(const System& s, Phase p, const Composition& c, double T)
{
    if (is_point(s, p))
        return above_line(phase_at(s, p, T, false), c, 0.0, 0.0, 0.0, 0.0);
    const Potentials m = potentials(phase_at(s, p, T, false), c);
    // x ln x vanishes at x = 0, where mu_a is infinite.
    const double a = c.x > 0.0 ? c.x * m.mu_a : 0.0;
    const double b = c.y > 0.0 ? c.y * m.mu_b : 0.0;
    return a + b;
}

void curvature(const PhaseAtT& at, double x, double& value, double& slope)
{
    // x y G'' = RT + x y G_ex'', whose slope is (1 - 2x) G_ex'' + x y (G_ex'')'.
    const Excess e = excess_of(at, x, 3);
    const double xy = x * (1.0 - x);
    value = at.RT + xy * e.e2;
    slope = (1.0 - 2.0 * x) * e.e2 + xy * e.e3;
}

void curvature(const System& s, Phase p, double x, double T, double& value, double& slope)
{
    curvature(phase_at(s, p, T, false), x, value, slope);
}

void phase_difference(const PhaseAtT& p, const PhaseAtT& q, double x, double& d, double& d1, double& d2)
{
    const Excess ep = excess_of(p, x, 2);
    const Excess eq = excess_of(q, x, 2);
    const double ga = kinds::reference_end(p.ga) - kinds::reference_end(q.ga);
    const double gb = kinds::reference_end(p.gb) - kinds::reference_end(q.gb);
    d = x * ga + (1.0 - x) * gb + (ep.e - eq.e);
    d1 = ga - gb + (ep.e1 - eq.e1);
    d2 = ep.e2 - eq.e2;
}

void phase_difference(const System& s, Phase p, Phase q, double x, double T, double& d, double& d1,
                      double& d2)
{
    phase_difference(phase_at(s, p, T, false), phase_at(s, q, T, false), x, d, d1, d2);
}

double pure_gibbs(const System& s, Phase p, bool of_a, double T)
{
    double unused = 0.0;
    return kinds::pure_energy(s, p, of_a, T, unused);
}

void pure_gibbs_ends(const System& s, Phase p, double T, InternalMemory memory[2], double g[2],
                     double size[2])
{
    if (const auto* k = std::get_if<LatticeKind>(&phase_model(s, p).kind)) {
        kinds::lattice_pure_ends(s, *k, T, memory, g);
        for (int end = 0; end < 2; ++end)
            size[end] = g[end] == HUGE_VAL ? 0.0 : std::fabs(g[end]);
        return;
    }
    for (int end = 0; end < 2; ++end)
        g[end] = kinds::pure_energy(s, p, end == 0, T, size[end]);
}

bool exactly_equal_pure(const System& s, Phase p, Phase q, bool of_a, double T)
{
    double size_p = 0.0;
    double size_q = 0.0;
    const double gp = kinds::pure_energy(s, p, of_a, T, size_p);
    const double gq = kinds::pure_energy(s, q, of_a, T, size_q);
    return equal_to_rounding(gp, size_p, gq, size_q);
}

bool equal_to_rounding(double gp, double size_p, double gq, double size_q)
{
    if (!std::isfinite(gp) || !std::isfinite(gq))
        return false;  // a phase that does not hold the component alone is never level with one that does
    return std::fabs(gp - gq) <= 8.0 * std::numeric_limits<double>::epsilon() * std::max(size_p, size_q);
}

double pure_transition(const System& s, Phase p, Phase q, bool of_a, double lo, double hi)
{
    const Component& c = of_a ? s.a : s.b;
    const double given = c.melting_point();
    if (s.parameters.empty() && given >= lo && given <= hi)
        return given;  // a system file's liquid and solid: its melting point, exactly
    double size = 0.0;
    const auto difference = [&](double T) {
        return kinds::pure_energy(s, p, of_a, T, size) - kinds::pure_energy(s, q, of_a, T, size);
    };
    double d_lo = difference(lo);
    const double d_hi = difference(hi);
    if (d_lo == 0.0 || d_hi == 0.0)  // a transition exactly at an end
        return d_lo == 0.0 ? lo : hi;
    if ((d_lo < 0.0) == (d_hi < 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 200 && hi - lo > 0.0; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi)
            break;
        const double d_mid = difference(mid);
        if ((d_mid < 0.0) == (d_lo < 0.0)) {
            lo = mid;
            d_lo = d_mid;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

bool at_piece_limit(const System& s, double T)
{
    const auto near = [&](const Piecewise& p) {
        for (std::size_t k = 1; k + 1 < p.limits.size(); ++k)
            if (std::fabs(p.limits[k] - T) <= 1e-6 * T)
                return true;
        return false;
    };
    return std::any_of(s.functions.bodies.begin(), s.functions.bodies.end(), near) ||
           std::any_of(s.parameters.begin(), s.parameters.end(), near);
}

bool largest_piece_jump(const System& s, double lo, double hi, double smallest, PieceJump& out)
{
    // The limits in the bracket, of the parameters and of the functions they
    // call; at each, every parameter's jump (a function's shows in those that
    // call it).
    std::vector<double> limits;
    const auto gather = [&](const Piecewise& p) {
        for (std::size_t k = 1; k + 1 < p.limits.size(); ++k)
            if (p.limits[k] >= lo - 1e-6 * lo && p.limits[k] <= hi + 1e-6 * hi)
                limits.push_back(p.limits[k]);
    };
    std::for_each(s.parameters.begin(), s.parameters.end(), gather);
    std::for_each(s.functions.bodies.begin(), s.functions.bodies.end(), gather);
    bool found = false;
    for (const double L : limits)
        for (const Piecewise& p : s.parameters) {
            // From a limit on the piece above holds: just below it, the one below.
            bool extrapolated = false;
            const double jump = evaluate(p, s.functions, L, extrapolated) -
                                evaluate(p, s.functions, std::nextafter(L, 0.0), extrapolated);
            if (std::fabs(jump) > smallest && (!found || std::fabs(jump) > std::fabs(out.jump))) {
                out = {p.name, L, jump};
                found = true;
            }
        }
    return found;
}
