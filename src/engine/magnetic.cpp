#include "engine/magnetic.h"

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
