#include "builtin/equilibrium.h"

#include <cmath>

// Every expression keeps the order of operations of the conditions as written:
// the last digit of the table depends on it.

double f1(double xl, double xs, int T)
{
    const double RT = T * R_GAS;
    return RT * std::log(xl / xs) + DH_SI - DS_SI * T;
}

double f2(double xl, double xs, int T)
{
    const double RT = T * R_GAS;
    return RT * std::log((1.0 - xl) / (1.0 - xs)) + DH_2 - DS_2 * T;
}

double d11(double xl, int T)
{
    const double RT = T * R_GAS;
    return RT / xl;
}

double d12(double xs, int T)
{
    const double RT = T * R_GAS;
    return RT / -xs;
}

double d21(double xl, int T)
{
    const double RT = T * R_GAS;
    return RT / (xl - 1.0);  // xl - 1 is +0 at xl = 1, so the infinity there is positive
}

double d22(double xs, int T)
{
    const double RT = T * R_GAS;
    return RT / (1.0 - xs);
}
