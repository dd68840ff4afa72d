#include "app/system_input.h"

#include "app/command_line.h"
#include "builtin/builtin_system.h"
#include "formats/system_file.h"
#include "formats/tdb_file.h"

#include <cmath>
#include <cstdio>

namespace {

bool load_database(const SystemSource& source, LoadedSystem& loaded, std::string& error)
{
    Database db;
    if (!read_tdb_file(source.path, db, error))
        return false;
    DatabaseBinary binary;
    std::string why;
    if (!database_binary(db, source.components[0], source.components[1], source.phases, binary, why) ||
        (!source.has_temperatures && !database_range(binary.system, why))) {
        error = source.path + ": " + why;
        return false;
    }
    loaded.system = binary.system;
    loaded.database = true;
    loaded.left_out = binary.left_out;
    loaded.transitions_a = binary.transitions_a;
    loaded.transitions_b = binary.transitions_b;
    return true;
}

}  // namespace

bool load_system(const SystemSource& source, LoadedSystem& loaded)
{
    loaded = LoadedSystem{};
    if (!source.from_file) {
        loaded.system = builtin_system();
        return true;
    }
    std::string error;
    const bool read = is_database_file(source.path) ? load_database(source, loaded, error)
                                                    : read_system_file(source.path, loaded.system, error);
    if (!read) {
        std::fprintf(stderr, "phase_boundary: %s\n", error.c_str());
        return false;
    }
    System& s = loaded.system;
    if (source.has_temperatures)
        s.range = source.temperatures;
    if (loaded.database)
        loaded.extrapolated = extrapolated_phases(s, s.range.first, s.range.at(s.range.count - 1));
    return true;
}

bool warn_left_out(const LoadedSystem& loaded)
{
    for (const LeftOut& l : loaded.left_out)
        std::fprintf(stderr, "phase_boundary: warning: phase %s (line %d) left out: %s\n", l.phase.c_str(),
                     l.line, l.why.c_str());
    return loaded.left_out.empty();
}
