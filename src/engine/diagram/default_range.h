// The temperatures a database's diagram spans where none are given: the
// whole diagram, so that a compound melting above both elements (NiAl), an
// ordering below half the lower melting point (AuCu3) or graphite melting
// near 4800 K are inside it without asking. Zooming is what a given range is for.
#pragma once

#include "engine/phases/model.h"

#include <string>

// From room temperature, 298 K (or half the lower melting point, where that
// is lower), to a tenth above the highest temperature at which any solid is
// stable anywhere in x, but not beyond the highest temperature a database's
// parameters describe (nor below the higher melting point), in whole kelvins,
// step 1. An element that never melts
// among the phases kept takes the other's melting point; false with why where
// neither melts.
bool default_range(System& s, std::string& why);

// The highest temperature at or above from, and within what a database's
// parameters describe, at which a solid phase lies on the lower hull of the
// phases somewhere in x, to within a kelvin: from, where none does above it.
double highest_solid(const System& s, double from);
