// What an equilibrium at a point is written as: a block for a reader on
// standard output, and equilibrium.json with the same numbers.
#pragma once

#include "engine/freezing/point.h"
#include "engine/phases/model.h"
#include "formats/units.h"

#include <cstdio>
#include <vector>

// The block: the point, each phase with its amount, composition and site
// fractions, the potentials and activities, and G, H, S and Cp.
// T and the compositions in u (amounts stay fractions of the alloy's atoms).
void write_equilibrium_block(std::FILE* f, const System& s, const PointEquilibrium& e, const Units& u = {});

// One JSON object per point, a list of them where there are several:
// {"T", "x0", "P", "components", "phases": [{"name", "amount", "x",
// "site_fractions"}], "mu": {A, B}, "activity": {A, B}, "G", "H", "S", "Cp"},
// each number in its shortest round-trip form, null where it is not a number.
void write_equilibrium_json(std::FILE* f, const System& s, const std::vector<PointEquilibrium>& points,
                            const Units& u = {});
