#include "engine/model.h"

#include <cmath>

namespace {

// sum_k (a_k + b_k T) t^k and its first two derivatives in t, with the parts in
// b_k alone (the T slope) beside them.
struct Series {
    double e, e1, e2;     // at T
    double eb, eb1, eb2;  // the T slope
};

Series series(const std::vector<RedlichKister>& terms, double t, double T)
{
    Series s{0, 0, 0, 0, 0, 0};
    for (auto k = terms.size(); k-- > 0;) {  // Horner, with the derivatives alongside
        const double l = terms[k].a + terms[k].b * T;
        s.e2 = s.e2 * t + 2.0 * s.e1;
        s.e1 = s.e1 * t + s.e;
        s.e = s.e * t + l;
        s.eb2 = s.eb2 * t + 2.0 * s.eb1;
        s.eb1 = s.eb1 * t + s.eb;
        s.eb = s.eb * t + terms[k].b;
    }
    return s;
}

const Solution& solution(const System& s, Phase p)
{
    return p == Phase::liquid ? s.liquid : s.solid;
}

// ln x and ln y, each from whichever fraction is exact.
void logs(const Composition& c, double& ln_x, double& ln_y)
{
    if (c.x <= c.y) {
        ln_x = std::log(c.x);
        ln_y = std::log1p(-c.x);
    } else {
        ln_x = std::log1p(-c.y);
        ln_y = std::log(c.y);
    }
}

}  // namespace

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

const char* phase_letter(Phase p)
{
    return p == Phase::liquid ? "L" : "S";
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

double pure_a(const System& s, Phase p, double T)
{
    return p == Phase::liquid ? s.a.fusion_gibbs(T) : 0.0;
}

double pure_b(const System& s, Phase p, double T)
{
    return p == Phase::liquid ? s.b.fusion_gibbs(T) : 0.0;
}

Mixing mixing(const System& s, Phase p, const Composition& c)
{
    const double x = c.x;
    const double y = c.y;
    const Series at0 = series(solution(s, p).excess, x - y, 0.0);
    double ln_x = 0.0;
    double ln_y = 0.0;
    logs(c, ln_x, ln_y);
    Mixing m{0.0, 0.0, 0.0, 0.0};
    if (x > 0.0) {
        m.a0 = y * y * (at0.e + 2.0 * x * at0.e1);
        m.a1 = R * ln_x + y * y * (at0.eb + 2.0 * x * at0.eb1);
    }
    if (y > 0.0) {
        m.b0 = x * x * (at0.e - 2.0 * y * at0.e1);
        m.b1 = R * ln_y + x * x * (at0.eb - 2.0 * y * at0.eb1);
    }
    return m;
}

Potentials potentials(const System& s, Phase p, const Composition& c, double T)
{
    const double x = c.x;
    const double y = c.y;
    const double t = x - y;
    const Series e = series(solution(s, p).excess, t, T);
    double ln_x = 0.0;
    double ln_y = 0.0;
    logs(c, ln_x, ln_y);

    // The pure parts and their T slopes: the liquid's energies of fusion, nothing for the solid.
    const double ga1 = p == Phase::liquid ? -s.a.entropy_of_fusion : 0.0;
    const double gb1 = p == Phase::liquid ? -s.b.entropy_of_fusion : 0.0;
    const double RT = R * T;
    Potentials out{};
    out.rest_a = pure_a(s, p, T) + y * y * (e.e + 2.0 * x * e.e1);
    out.rest_b = pure_b(s, p, T) + x * x * (e.e - 2.0 * y * e.e1);
    out.mu_a = RT * ln_x + out.rest_a;
    out.mu_b = RT * ln_y + out.rest_b;
    out.mu_a_dT = R * ln_x + ga1 + y * y * (e.eb + 2.0 * x * e.eb1);
    out.mu_b_dT = R * ln_y + gb1 + x * x * (e.eb - 2.0 * y * e.eb1);
    // G_ex'' in x, with t = 2x - 1: -2E - 4t E' + 4xy E''.
    const double g_ex2 = -2.0 * e.e - 4.0 * t * e.e1 + 4.0 * x * y * e.e2;
    out.curvature = RT + x * y * g_ex2;
    if (x <= y) {  // u = ln x: dx/du = x
        out.dmu_a = out.curvature;
        out.dmu_b = -(x / y) * out.curvature;
    } else {  // u = ln y: dx/du = -y
        out.dmu_a = -(y / x) * out.curvature;
        out.dmu_b = out.curvature;
    }
    return out;
}

PotentialGap potential_gap(const Composition& c1, const Potentials& m1, const Composition& c2,
                           const Potentials& m2, double T)
{
    const double RT = R * T;
    return {log_ratio_a(c1, c2) + (m1.rest_a - m2.rest_a) / RT,
            log_ratio_b(c1, c2) + (m1.rest_b - m2.rest_b) / RT};
}

double gibbs(const System& s, Phase p, const Composition& c, double T)
{
    const Potentials m = potentials(s, p, c, T);
    // x ln x vanishes at x = 0, where mu_a is infinite.
    const double a = c.x > 0.0 ? c.x * m.mu_a : 0.0;
    const double b = c.y > 0.0 ? c.y * m.mu_b : 0.0;
    return a + b;
}

void curvature(const System& s, Phase p, double x, double T, double& value, double& slope)
{
    // x y G'' = RT + (1 - t^2) F''(t), F(t) = (1 - t^2) E(t) / 4, t = 2x - 1.
    const double t = 2.0 * x - 1.0;
    const Series e = series(solution(s, p).excess, t, T);
    // F'' = ((1 - t^2) E'' - 4t E' - 2E) / 4; the third derivative needs E''' too.
    const std::vector<RedlichKister>& terms = solution(s, p).excess;
    double e3 = 0.0;
    for (std::size_t k = 3; k < terms.size(); ++k)
        e3 += static_cast<double>(k * (k - 1) * (k - 2)) * (terms[k].a + terms[k].b * T) *
              std::pow(t, static_cast<double>(k - 3));
    const double u = 1.0 - t * t;
    const double f2 = (u * e.e2 - 4.0 * t * e.e1 - 2.0 * e.e) / 4.0;
    const double f3 = (u * e3 - 2.0 * t * e.e2 - 4.0 * e.e1 - 4.0 * t * e.e2 - 2.0 * e.e1) / 4.0;
    value = R * T + u * f2;
    slope = 2.0 * (-2.0 * t * f2 + u * f3);  // d/dx = 2 d/dt
}

void liquid_minus_solid(const System& s, double x, double T, double& d, double& d1, double& d2)
{
    const double t = 2.0 * x - 1.0;
    const Series l = series(s.liquid.excess, t, T);
    const Series m = series(s.solid.excess, t, T);
    const double e = l.e - m.e;
    const double e1 = l.e1 - m.e1;
    const double e2 = l.e2 - m.e2;
    const double ga = s.a.fusion_gibbs(T);
    const double gb = s.b.fusion_gibbs(T);
    const double xy = x * (1.0 - x);
    d = x * ga + (1.0 - x) * gb + xy * e;
    d1 = ga - gb + (1.0 - 2.0 * x) * e + 2.0 * xy * e1;
    d2 = -2.0 * e - 4.0 * t * e1 + 4.0 * xy * e2;
}
