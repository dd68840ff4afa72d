// The database format of the CALPHAD method (TDB), in the dialects real files
// are written in: ELEMENT, SPECIES, FUNCTION, TYPE_DEFINITION (the magnetic
// model, disordered parts), DEFAULT_COMMAND (phases the file rejects),
// TEMPERATURE_LIMITS, PHASE, CONSTITUENT and PARAMETER, with "$" comments,
// commands over several lines ending in "!", any case, and keywords shortened
// part by part (TEMP-LIM, A_P_D). The commands that carry only references or
// notes are skipped; any other word is an error, so that a misspelt command is
// never skipped. Faults that the field's readers pass over (a function or
// parameter given twice, a parameter of a phase or constituent not declared, a
// stray character between commands) are read past, the item set aside, and
// listed in Database::faults.
#pragma once

#include "engine/database/database.h"
#include "formats/input_error.h"

#include <string>
#include <string_view>

// Reads the file at path into db. On failure returns false with error filled:
// path, line, column and what is wrong.
bool read_tdb_file(const std::string& path, Database& db, InputError& error);

// The same for text already read, named path in messages.
bool parse_tdb(std::string_view text, const std::string& path, Database& db, InputError& error);
