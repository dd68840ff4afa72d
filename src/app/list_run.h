// --list: what a database holds and what this program makes of it, on
// standard output, with no file written.
#pragma once

#include "formats/database_listing.h"

#include <string>
#include <vector>

// Each phase of the database with whether the engine computes it in every
// binary of its elements (a phase of one element beside any other), and its
// model or the first binary's why not.
std::vector<ListedPhase> listed_phases(const Database& db);

// The kept phases of a binary with their models.
std::vector<ListedPhase> kept_phases(const Database& db, const DatabaseBinary& binary);

// Lists the database at path, or with two components its binary of them.
// Returns COMPLETE whenever the file reads, whatever it lists as left out;
// INPUT_FAILED with a message where it does not read or the components are not
// its elements.
int run_list(const std::string& path, const std::vector<std::string>& components);
