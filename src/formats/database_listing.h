// What --list prints of a database: its elements, its phases with the model
// each needs and whether this program computes it, and what was read and set
// aside; for one binary, the phases kept and those left out, and why.
#pragma once

#include "engine/database/database.h"
#include "engine/database/database_system.h"

#include <cstdio>
#include <string>
#include <vector>

// One phase of a database as a listing shows it: whether the engine computes
// it in the binaries of its elements, and how (its model) or why not.
struct ListedPhase {
    const DatabasePhase* phase;
    bool computed;
    std::string how;
};

// The whole database.
void write_database_listing(std::FILE* f, const std::string& path, const Database& db,
                            const std::vector<ListedPhase>& phases);

// One binary of it: kept lists each kept phase with its model.
void write_binary_listing(std::FILE* f, const std::string& path, const Database& db,
                          const DatabaseBinary& binary, const std::vector<ListedPhase>& kept);

// A phase's sublattices as the formula of sites, "(AL,NI)0.75 (AL,NI)0.25 (VA)1".
std::string sublattices_of(const DatabasePhase& p);
