// The built-in run's alloy as the general engine sees it, for solidifying it and
// for comparing the engine with the built-in search.
#pragma once

#include "engine/phases/model.h"

// Si (A) and the second component (B), both solutions ideal, over the built-in
// run's temperatures.
System builtin_system();
