#include "engine/phases/magnetic.h"

#include <cmath>

double magnetic_g(double tau, double p)
{
    const double A = 518.0 / 1125.0 + (11692.0 / 15975.0) * (1.0 / p - 1.0);
    if (tau <= 1.0) {
        const double t3 = tau * tau * tau;
        const double t9 = t3 * t3 * t3;
        const double t15 = t9 * t3 * t3;
        return 1.0 - (79.0 / (140.0 * p * tau) +
                      (474.0 / 497.0) * (1.0 / p - 1.0) * (t3 / 6.0 + t9 / 135.0 + t15 / 600.0)) /
                         A;
    }
    const double t5 = std::pow(tau, -5.0);
    const double t15 = t5 * t5 * t5;
    const double t25 = t15 * t5 * t5;
    return -(t5 / 10.0 + t15 / 315.0 + t25 / 1500.0) / A;
}

double magnetic_gibbs(double T, double TC, double beta, double antiferromagnetic_factor, double p, double R)
{
    if (TC < 0.0)
        TC /= antiferromagnetic_factor;
    if (beta < 0.0)
        beta /= antiferromagnetic_factor;
    if (TC == 0.0 || beta == 0.0)
        return 0.0;
    return R * T * std::log(beta + 1.0) * magnetic_g(T / TC, p);
}

namespace {

// g and its first three derivatives in tau, each power written out: the
// grid's many points make pow's cost count.
template <bool THIRD>
void g_and_slopes(double tau, double p, double out[4])
{
    const double A = 518.0 / 1125.0 + (11692.0 / 15975.0) * (1.0 / p - 1.0);
    if (tau <= 1.0) {
        const double c = (474.0 / 497.0) * (1.0 / p - 1.0) / A;
        const double a1 = 79.0 / (140.0 * p * A);
        const double c3 = c / 6.0;
        const double c9 = c / 135.0;
        const double c15 = c / 600.0;
        const double u = 1.0 / tau;
        const double t2 = tau * tau;
        const double t3 = t2 * tau;
        const double t6 = t3 * t3;
        const double t12 = t6 * t6;
        out[0] = 1.0 - a1 * u - c3 * t3 - c9 * t6 * t3 - c15 * t12 * t3;
        out[1] = a1 * u * u - 3.0 * c3 * t2 - 9.0 * c9 * t6 * t2 - 15.0 * c15 * t12 * t2;
        out[2] = -2.0 * a1 * u * u * u - 6.0 * c3 * tau - 72.0 * c9 * t6 * tau - 210.0 * c15 * t12 * tau;
        out[3] = THIRD ? 6.0 * a1 * u * u * u * u - 6.0 * c3 - 504.0 * c9 * t6 - 2730.0 * c15 * t12 : 0.0;
        return;
    }
    const double b5 = 1.0 / (10.0 * A);
    const double b15 = 1.0 / (315.0 * A);
    const double b25 = 1.0 / (1500.0 * A);
    const double u = 1.0 / tau;
    const double u5 = u * u * u * u * u;
    const double u15 = u5 * u5 * u5;
    const double u25 = u15 * u5 * u5;
    out[0] = -(b5 * u5 + b15 * u15 + b25 * u25);
    out[1] = (5.0 * b5 * u5 + 15.0 * b15 * u15 + 25.0 * b25 * u25) * u;
    out[2] = -(30.0 * b5 * u5 + 240.0 * b15 * u15 + 650.0 * b25 * u25) * u * u;
    out[3] = THIRD ? (210.0 * b5 * u5 + 4080.0 * b15 * u15 + 17550.0 * b25 * u25) * u * u * u : 0.0;
}

template <bool THIRD>
Jet gibbs_jet(double T, const Jet& TC, const Jet& beta, double antiferromagnetic_factor, double p, double R)
{
    const auto scaled = [&](Jet j) {
        if (j.v < 0.0)
            j = {j.v / antiferromagnetic_factor, j.d1 / antiferromagnetic_factor,
                 j.d2 / antiferromagnetic_factor, j.d3 / antiferromagnetic_factor};
        return j;
    };
    const Jet tc = scaled(TC);
    const Jet b = scaled(beta);
    if (tc.v == 0.0 || b.v == 0.0)
        return {0.0, 0.0, 0.0, 0.0};
    const double u = tc.v;
    const Jet tau = compose<THIRD>(T / u, -T / (u * u), 2.0 * T / (u * u * u),
                                   THIRD ? -6.0 * T / (u * u * u * u) : 0.0, tc);
    double g[4];
    g_and_slopes<THIRD>(tau.v, p, g);
    const Jet gx = compose<THIRD>(g[0], g[1], g[2], g[3], tau);
    const double w = 1.0 + b.v;
    const Jet ln_b = compose<THIRD>(std::log(w), 1.0 / w, -1.0 / (w * w), THIRD ? 2.0 / (w * w * w) : 0.0, b);
    const Jet m = times<THIRD>(ln_b, gx);
    const double RT = R * T;
    return {RT * m.v, RT * m.d1, RT * m.d2, RT * m.d3};
}

}  // namespace

Jet magnetic_gibbs_jet(double T, const Jet& TC, const Jet& beta, double antiferromagnetic_factor, double p,
                       double R, bool third)
{
    return third ? gibbs_jet<true>(T, TC, beta, antiferromagnetic_factor, p, R)
                 : gibbs_jet<false>(T, TC, beta, antiferromagnetic_factor, p, R);
}

MagneticPartials magnetic_partials(double T, double TC, double beta, double antiferromagnetic_factor,
                                   double p, double R)
{
    const double tc_scale = TC < 0.0 ? 1.0 / antiferromagnetic_factor : 1.0;
    const double beta_scale = beta < 0.0 ? 1.0 / antiferromagnetic_factor : 1.0;
    const double tc = TC * tc_scale;
    const double b = beta * beta_scale;
    if (tc == 0.0 || b == 0.0)
        return {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double g[4];
    const double tau = T / tc;
    g_and_slopes<false>(tau, p, g);
    const double RT = R * T;
    const double w = 1.0 + b;
    const double ln_w = std::log(w);
    const double dtau = -tau / tc;               // d tau / d tc
    const double d2tau = 2.0 * tau / (tc * tc);  // d2 tau / d tc2
    const double g_tc = g[1] * dtau;
    const double g_tctc = g[2] * dtau * dtau + g[1] * d2tau;
    return {RT * ln_w * g[0],
            RT * ln_w * g_tc * tc_scale,
            RT * g[0] / w * beta_scale,
            RT * ln_w * g_tctc * tc_scale * tc_scale,
            RT * g_tc / w * tc_scale * beta_scale,
            -RT * g[0] / (w * w) * beta_scale * beta_scale};
}

Jet magnetic_gibbs_in_T(double T, const Jet& TC, const Jet& beta, double antiferromagnetic_factor, double p,
                        double R)
{
    const Jet tc = TC.v < 0.0 ? (1.0 / antiferromagnetic_factor) * TC : TC;
    const Jet b = beta.v < 0.0 ? (1.0 / antiferromagnetic_factor) * beta : beta;
    if (tc.v == 0.0 || b.v == 0.0)
        return constant(0.0);
    const Jet t = variable(T);
    const Jet tau = t / tc;
    double g[4];
    g_and_slopes<false>(tau.v, p, g);
    const Jet gt = compose<false>(g[0], g[1], g[2], 0.0, tau);
    return R * (t * log1p(b) * gt);
}
