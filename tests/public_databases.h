// The public databases some tests read. They are never part of the project,
// so a test that needs one skips where it is absent, saying where it looked.
#pragma once

#include "engine/database/database_system.h"
#include "formats/tdb_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

inline const std::filesystem::path SHARED = PHASE_BOUNDARY_SHARED_TDB;

inline bool public_databases_present(std::initializer_list<const char*> files)
{
    for (const char* file : files)
        if (!std::filesystem::exists(SHARED / file))
            return false;
    return true;
}

// Skips the test where any of the named databases is absent (the empty
// branch keeps an else that follows from attaching to the macro's if).
#define SKIP_WITHOUT_PUBLIC_DATABASES(...)                                                                   \
    if (public_databases_present({__VA_ARGS__})) {                                                           \
    } else                                                                                                   \
        GTEST_SKIP() << "the public databases are not at " << SHARED.string()

// A public database's binary, read as the program reads it; a test failure,
// and false, where it does not read.
inline bool public_binary(const std::string& file, const std::string& a, const std::string& b,
                          const std::vector<std::string>& phases, System& s)
{
    Database db;
    InputError error;
    if (!read_tdb_file((SHARED / file).string(), db, error)) {
        ADD_FAILURE() << error.text();
        return false;
    }
    DatabaseBinary out;
    std::string why;
    if (!database_binary(db, a, b, phases, out, why)) {
        ADD_FAILURE() << why;
        return false;
    }
    s = out.system;
    return true;
}
