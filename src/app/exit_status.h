// Every exit status the program ends with, in one place: the runs below return
// what happened, and the command line's layer turns it into one of these.
#pragma once

#include "builtin/inverse.h"

constexpr int COMPLETE = 0;  // the run finished and everything it wrote is confirmed
// The built-in search ends the process itself at a singular Jacobian, with this status.
constexpr int SINGULAR_JACOBIAN = SINGULAR_STATUS;
constexpr int OUTPUT_FAILED = 2;  // an output could not be opened or written
constexpr int USAGE_FAILED = 64;  // a bad command line
constexpr int INPUT_FAILED = 65;  // a system file that cannot be used
constexpr int UNCONFIRMED = 70;   // a result the engine could not confirm (tables written all the same)
// After signal N the process ends with 128 + N (see formats/output.h).
