#include "app/system_input.h"

#include "app/command_line.h"
#include "builtin/builtin_system.h"
#include "formats/system_file.h"
#include "formats/tdb_file.h"

#include <cmath>
#include <cstdio>

namespace {

bool load_database(const SystemSource& source, LoadedSystem& loaded, InputError& error)
{
    Database db;
    if (!read_tdb_file(source.path, db, error))
        return false;
    DatabaseBinary binary;
    std::string why;
    if (!database_binary(db, source.components[0], source.components[1], source.phases, binary, why)) {
        error = file_error(source.path, why);
        return false;
    }
    if (!source.has_temperatures && !database_range(binary.system, why)) {
        if (!source.range_later) {
            error = file_error(source.path, why);
            return false;
        }
        binary.system.range = TemperatureRange{0.0, 0.0, 1.0, 0};
        loaded.no_range = why;
    }
    loaded.system = binary.system;
    loaded.database = true;
    loaded.left_out = binary.left_out;
    loaded.transitions_a = binary.transitions_a;
    loaded.transitions_b = binary.transitions_b;
    return true;
}

}  // namespace

bool load_system(const SystemSource& source, LoadedSystem& loaded, InputError& error)
{
    loaded = LoadedSystem{};
    if (!source.from_file) {
        loaded.system = builtin_system();
        return true;
    }
    const bool read = is_database_file(source.path) ? load_database(source, loaded, error)
                                                    : read_system_file(source.path, loaded.system, error);
    if (!read)
        return false;
    System& s = loaded.system;
    if (source.has_temperatures)
        s.range = source.temperatures;
    if (loaded.database && s.range.count > 0)
        loaded.extrapolated = extrapolated_phases(s, s.range.first, s.range.at(s.range.count - 1));
    return true;
}

bool load_system(const SystemSource& source, LoadedSystem& loaded)
{
    InputError error;
    if (load_system(source, loaded, error))
        return true;
    std::fprintf(stderr, "phase_boundary: %s\n", error.text().c_str());
    return false;
}

std::string left_out_warning(const LeftOut& l)
{
    return "phase " + l.phase + " (line " + std::to_string(l.line) + ") left out: " + l.why;
}

bool warn_left_out(const LoadedSystem& loaded)
{
    for (const LeftOut& l : loaded.left_out)
        std::fprintf(stderr, "phase_boundary: warning: %s\n", left_out_warning(l).c_str());
    return loaded.left_out.empty();
}
