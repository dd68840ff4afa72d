// Text output shared by the result table and the run log: the two number formats
// and the opening and closing of the output files.
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

// Opens name for writing in text mode, created or truncated. On failure prints
// "phase_boundary: cannot open NAME: REASON" on standard error and returns null.
std::FILE* open_output(const char* name);

// Flushes and closes f. If any write to it failed, or the close itself did, prints
// "phase_boundary: cannot write NAME: REASON" on standard error and returns false.
// REASON is "write error" when the failure happened earlier and the system no
// longer tells why.
bool close_output(std::FILE* f, const char* name);
