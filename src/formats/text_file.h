// Reading a whole input file, as the system file and the database readers do.
#pragma once

#include <cstddef>
#include <string>

// Reads the file at path into text. On failure returns false with one line in
// error: "PATH: reason", or "PATH: larger than LIMIT: not WHAT" past max_bytes.
bool read_text_file(const std::string& path, std::size_t max_bytes, const char* limit, const char* what,
                    std::string& text, std::string& error);
