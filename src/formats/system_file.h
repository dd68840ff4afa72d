// The system file: a binary's two components, its liquid and solid solutions
// and the temperatures to compute, in TOML. Every value is checked against the
// ranges that keep any accepted file finite and quick.
#pragma once

#include "engine/phases/model.h"
#include "formats/input_error.h"

#include <string>
#include <string_view>

// Reads the file at path into s. On failure returns false with one line in error:
// "PATH:LINE:COLUMN: KEY: what is wrong" (line and column where known).
bool read_system_file(const std::string& path, System& s, InputError& error);

// The same for text already read, named path in messages.
bool parse_system(std::string_view text, const std::string& path, System& s, InputError& error);
