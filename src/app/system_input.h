// The input step the diagram and solidification runs share: the system to
// compute, read from a system file or taken built in.
#pragma once

#include "engine/model.h"

#include <string>

struct SystemSource {
    bool from_file = false;  // a system file, else the built-in system
    std::string path;
};

// Fills s from source; on failure prints the file's one message on standard error
// and returns false (the run then ends with INPUT_FAILED, having written nothing).
bool load_system(const SystemSource& source, System& s);
