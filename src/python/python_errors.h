// The module's own exception and warning classes, and raising them from C++:
// an unusable input is a SystemFileError with its parts, a result the engine
// could not confirm an EngineWarning, as the program prints them.
#pragma once

#include "formats/input_error.h"

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

// Defines SystemFileError (a ValueError with path, line, column and key) and
// EngineWarning (a UserWarning) in m.
void define_python_errors(pybind11::module_& m);

// Raises SystemFileError with the program's message and the error's parts
// (None where unknown).
[[noreturn]] void raise_system_file_error(const InputError& e);

// Raises ValueError with why.
[[noreturn]] void raise_value_error(const std::string& why);

// Issues each message as an EngineWarning pointing at the caller's line; an
// error where the warnings filter turns warnings into errors.
void warn_engine(const std::vector<std::string>& messages);
