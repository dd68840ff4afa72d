// The number formats shared by the result table and the run log.
#pragma once

#include <cstdio>

// Room for the longest number put_fixed10 can write (-DBL_MAX: 309 digits, point, 10 decimals).
constexpr int FIXED10_MAX = 322;
// Room for the longest number put_int can write.
constexpr int INT_MAX_CHARS = 11;

// Writes v at p exactly as printf's "%.10f" does for a finite value; infinities and
// non-numbers as "inf", "-inf", "nan" and "-nan" (after the sign bit) on every
// platform. Returns the end of what it wrote; nothing is terminated.
char* put_fixed10(char* p, double v);

// Writes v at p as printf's "%d" does. Returns the end of what it wrote.
char* put_int(char* p, int v);
