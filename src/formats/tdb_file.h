// The database format of the CALPHAD method (TDB), as far as a binary of two of
// its elements needs it: ELEMENT, SPECIES, FUNCTION, TYPE_DEFINITION (the
// magnetic model), PHASE, CONSTITUENT and PARAMETER, with "$" comments, commands
// over several lines ending in "!", any case, and keywords shortened to any
// unique prefix. The commands that carry only references or notes are skipped;
// any other word is an error, so that a misspelt command is never skipped.
#pragma once

#include "engine/database.h"
#include "formats/input_error.h"

#include <string>
#include <string_view>

// Reads the file at path into db. On failure returns false with error filled:
// path, line, column and what is wrong.
bool read_tdb_file(const std::string& path, Database& db, InputError& error);

// The same for text already read, named path in messages.
bool parse_tdb(std::string_view text, const std::string& path, Database& db, InputError& error);
