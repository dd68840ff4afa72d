// Equilibrium of a liquid and a solid solution of Si and the second component,
// both ideal: the two equal-chemical-potential conditions and their derivatives.
#pragma once

constexpr double R_GAS = 8.315;    // gas constant, J/(mol K)
constexpr double DH_SI = 50208.0;  // enthalpy of fusion of Si, J/mol
constexpr double DS_SI = 29.7617;  // entropy of fusion of Si, J/(mol K): melts at 1687 K
constexpr double DH_2 = 36944.72;  // enthalpy of fusion of the second component, J/mol
constexpr double DS_2 = 30.4975;   // its entropy of fusion, J/(mol K): melts at 1211.4 K
constexpr double TOL = 1e-10;      // Newton convergence and pivot singularity threshold

// xl, xs: mole fractions of Si in the liquid and in the solid; T in kelvin.
// No argument is checked: compositions of exactly 0 or 1 give infinities or
// non-numbers, which the search meets at its range test.

// Si condition: RT ln(xl/xs) + DH_SI - DS_SI T.
double f1(double xl, double xs, int T);
// Second-component condition: RT ln((1-xl)/(1-xs)) + DH_2 - DS_2 T.
double f2(double xl, double xs, int T);

double d11(double xl, int T);  // df1/dxl = RT / xl
double d12(double xs, int T);  // df1/dxs = RT / (-xs)
double d21(double xl, int T);  // df2/dxl = RT / (xl - 1)
double d22(double xs, int T);  // df2/dxs = RT / (1 - xs)
