#include "app/system_input.h"

#include "app/command_line.h"
#include "builtin/builtin_system.h"
#include "engine/diagram/default_range.h"
#include "formats/shortest.h"
#include "formats/system_file.h"
#include "formats/tdb_file.h"
#include "request/request.h"

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
    if (!database_binary(db, source.components[0], source.components[1], source.phases, binary, why,
                         source.pressure)) {
        error = file_error(source.path, why);
        return false;
    }
    if (!source.has_temperatures && !default_range(binary.system, why)) {
        if (!source.range_later) {
            error = file_error(source.path, why);
            return false;
        }
        binary.system.range = TemperatureRange{0.0, 0.0, 1.0, 0};
        loaded.no_range = why;
    }
    loaded.system = binary.system;
    loaded.database = true;
    loaded.path = source.path;
    loaded.left_out = binary.left_out;
    loaded.transitions_a = binary.transitions_a;
    loaded.transitions_b = binary.transitions_b;
    loaded.rejected = binary.rejected;
    loaded.parts = binary.parts;
    loaded.ignored = db.ignored;
    loaded.warnings = binary.warnings;
    return true;
}

std::vector<double> temperatures_of(const TemperatureRange& r)
{
    std::vector<double> T(static_cast<std::size_t>(r.count));
    for (long i = 0; i < r.count; ++i)
        T[static_cast<std::size_t>(i)] = r.at(i);
    return T;
}

}  // namespace

namespace {

// The units asked for; mass fractions need both components' molar masses.
bool units_of(const SystemSource& source, LoadedSystem& loaded, InputError& error)
{
    Units& u = loaded.units;
    u.celsius = source.celsius;
    u.mass = source.mass_fraction;
    u.mass_a = loaded.system.a.molar_mass;
    u.mass_b = loaded.system.b.molar_mass;
    if (units_needs(u, loaded.system).empty())
        return true;
    const std::string where = !source.from_file ? std::string("the built-in system") : source.path;
    error = file_error(where,
                       loaded.database
                           ? "--mass-fraction needs the molar masses of " + loaded.system.a.name + " and " +
                                 loaded.system.b.name + ", which its ELEMENT lines do not give"
                           : "--mass-fraction needs each component's molar mass (molar_mass in [A] and [B])");
    return false;
}

}  // namespace

bool load_system(const SystemSource& source, LoadedSystem& loaded, InputError& error)
{
    loaded = LoadedSystem{};
    if (!source.from_file) {
        loaded.system = builtin_system();
        return units_of(source, loaded, error);
    }
    const bool read = is_database_file(source.path) ? load_database(source, loaded, error)
                                                    : read_system_file(source.path, loaded.system, error);
    if (!read)
        return false;
    System& s = loaded.system;
    if (source.has_temperatures)
        s.range = source.temperatures;
    if (loaded.database && s.range.count > 0) {
        if (!check_finite(loaded, temperatures_of(s.range), error))
            return false;
        loaded.extrapolated = extrapolated_phases(s, s.range.first, s.range.at(s.range.count - 1));
    }
    return units_of(source, loaded, error);
}

bool check_finite(const LoadedSystem& loaded, const std::vector<double>& temperatures, InputError& error)
{
    NotFinite found{};
    if (!loaded.database || !not_finite(loaded.system, temperatures, found))
        return true;
    error = file_error(loaded.path, found.what->name + " is not finite at " + shortest(found.T) + " K");
    error.line = found.what->line;
    return false;
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

std::vector<DatabaseWarning> database_warnings(const LoadedSystem& loaded)
{
    std::vector<DatabaseWarning> out;
    for (const LeftOut& l : loaded.left_out)
        out.push_back({left_out_warning(l), true});
    out.insert(out.end(), loaded.warnings.begin(), loaded.warnings.end());
    return out;
}

bool warn_database(const LoadedSystem& loaded)
{
    bool none_weighs = true;
    for (const DatabaseWarning& w : database_warnings(loaded)) {
        std::fprintf(stderr, "phase_boundary: warning: %s\n", w.text.c_str());
        none_weighs = none_weighs && !w.touches_kept;
    }
    return none_weighs;
}
