// Reading a whole input file, as the system file and the database readers do.
#pragma once

#include "formats/input_error.h"

#include <cstddef>
#include <string>

// Reads the file at path into text. On failure returns false with the reason in
// error ("larger than LIMIT: not WHAT" past max_bytes), no line or key.
bool read_text_file(const std::string& path, std::size_t max_bytes, const char* limit, const char* what,
                    std::string& text, InputError& error);
