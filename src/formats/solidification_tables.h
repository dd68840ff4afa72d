// What a solidification run writes: its two tables and its summary.
#pragma once

#include "engine/model.h"
#include "engine/solidify.h"

#include <cstdio>

// The header of solidification.tsv, then one row per temperature, empty fields
// where a value is not a number.
void write_solidification(std::FILE* f, const System& s, const Solidification& r);

// "g\tx_solid", then the segregation profile.
void write_segregation(std::FILE* f, const Solidification& r);

// The summary for standard output.
void write_solidification_summary(std::FILE* f, const System& s, const Solidification& r);
