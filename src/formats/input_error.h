// What is wrong with an input file, and where: the readers fill it, and the
// program prints it as one line while the Python module raises it with its parts.
#pragma once

#include <string>

struct InputError {
    std::string path;
    int line = 0;     // from 1; 0 where no line applies
    int column = 0;   // from 1, with line; 0 where a whole line is meant
    std::string key;  // the system file's key, empty where none applies
    std::string message;

    // "PATH:LINE:COLUMN: KEY: message", the parts that do not apply left out.
    std::string text() const;
};

// An error of the whole file, with no line or key.
InputError file_error(const std::string& path, const std::string& message);
