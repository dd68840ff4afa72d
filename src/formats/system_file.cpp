#include "formats/system_file.h"

#include "formats/text_file.h"
#include "formats/toml_guard.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr double MAX_TEMPERATURE = HIGHEST_TEMPERATURE;  // K
constexpr double MAX_ENTHALPY = 1e7;                     // J/mol
constexpr std::size_t MAX_TERMS = 16;
constexpr double MAX_A = 1e7;  // J/mol
constexpr double MAX_B = 1e4;  // J/(mol K)
constexpr std::size_t MAX_FILE_BYTES = 1 << 20;

struct Reader {
    const std::string& path;
    InputError& error;

    bool fail(const toml::source_region& where, const std::string& key, const std::string& what)
    {
        error = file_error(path, what);
        if (where.begin.line > 0) {
            error.line = static_cast<int>(where.begin.line);
            error.column = static_cast<int>(where.begin.column);
        }
        error.key = key;
        return false;
    }

    // Only the named keys may appear in t.
    bool only(const toml::table& t, const std::string& prefix, std::initializer_list<const char*> keys)
    {
        for (const auto& [k, v] : t) {
            bool known = false;
            for (const char* name : keys)
                known = known || k.str() == name;
            if (!known)
                return fail(k.source().begin.line > 0 ? k.source() : v.source(),
                            prefix + std::string(k.str()), "unknown key");
        }
        return true;
    }

    bool table(const toml::table& parent, const char* key, const toml::table*& out, bool required)
    {
        const toml::node* n = parent.get(key);
        out = nullptr;
        if (n == nullptr)
            return required ? fail(parent.source(), key, "missing table") : true;
        out = n->as_table();
        return out != nullptr ? true : fail(n->source(), key, "must be a table");
    }

    bool number(const toml::node& n, const std::string& key, double& out)
    {
        if (const auto* i = n.as_integer())
            out = static_cast<double>(i->get());
        else if (const auto* f = n.as_floating_point())
            out = f->get();
        else
            return fail(n.source(), key, "must be a number");
        return std::isfinite(out) ? true : fail(n.source(), key, "must be finite");
    }

    // An optional number; absent leaves out as it was and sets present to false.
    bool optional_number(const toml::table& t, const char* key, const std::string& prefix, double& out,
                         bool& present)
    {
        const toml::node* n = t.get(key);
        present = n != nullptr;
        return present ? number(*n, prefix + key, out) : true;
    }

    bool positive(const toml::table& t, const char* key, const std::string& prefix, double limit, double& out,
                  bool& present)
    {
        if (!optional_number(t, key, prefix, out, present))
            return false;
        if (present && !(out > 0.0 && out <= limit))
            return fail(t.get(key)->source(), prefix + key,
                        "must be positive" +
                            (std::isinf(limit) ? std::string() : " and at most " + shortest(limit)));
        return true;
    }

    static std::string shortest(double v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }

    bool component(const toml::table& root, const char* key, Component& c)
    {
        const toml::table* t = nullptr;
        if (!table(root, key, t, true))
            return false;
        const std::string prefix = std::string(key) + ".";
        if (!only(*t, prefix,
                  {"name", "melting_point", "entropy_of_fusion", "enthalpy_of_fusion", "molar_mass"}))
            return false;
        c.name = key;
        if (const toml::node* n = t->get("name")) {
            const auto* s = n->as_string();
            if (s == nullptr)
                return fail(n->source(), prefix + "name", "must be a string");
            c.name = s->get();
        }
        bool has_h = false;
        bool has_tm = false;
        bool has_s = false;
        double tm = 0.0;
        if (!positive(*t, "enthalpy_of_fusion", prefix, MAX_ENTHALPY, c.enthalpy_of_fusion, has_h) ||
            !positive(*t, "melting_point", prefix, HUGE_VAL, tm, has_tm) ||
            !positive(*t, "entropy_of_fusion", prefix, HUGE_VAL, c.entropy_of_fusion, has_s))
            return false;
        bool has_mass = false;
        if (!positive(*t, "molar_mass", prefix, HUGE_VAL, c.molar_mass, has_mass))
            return false;
        if (!has_h)
            return fail(t->source(), prefix + "enthalpy_of_fusion", "missing");
        if (has_tm == has_s)
            return fail(t->source(), prefix + "melting_point",
                        has_tm ? "give melting_point or entropy_of_fusion, not both"
                               : "missing: give melting_point or entropy_of_fusion");
        if (has_tm) {
            c.entropy_of_fusion = c.enthalpy_of_fusion / tm;
            c.melting_point_given = tm;
        }
        if (!(c.entropy_of_fusion > 0.0 && std::isfinite(c.entropy_of_fusion) &&
              std::isfinite(c.melting_point())))
            return fail(t->source(), prefix + (has_tm ? "melting_point" : "entropy_of_fusion"),
                        "gives no finite melting point");
        return true;
    }

    bool solution(const toml::table& root, const char* key, Solution& out)
    {
        const toml::table* t = nullptr;
        if (!table(root, key, t, false))
            return false;
        out.excess.clear();
        if (t == nullptr)
            return true;
        const std::string prefix = std::string(key) + ".";
        if (!only(*t, prefix, {"excess"}))
            return false;
        const toml::node* n = t->get("excess");
        if (n == nullptr)
            return true;
        const toml::array* terms = n->as_array();
        if (terms == nullptr)
            return fail(n->source(), prefix + "excess", "must be an array of numbers or [a, b] pairs");
        if (terms->size() > MAX_TERMS)
            return fail(n->source(), prefix + "excess", "at most 16 terms");
        for (std::size_t k = 0; k < terms->size(); ++k) {
            const toml::node& term = *terms->get(k);
            const std::string name = prefix + "excess[" + std::to_string(k) + "]";
            RedlichKister rk{0.0, 0.0};
            if (const toml::array* pair = term.as_array()) {
                if (pair->size() != 2)
                    return fail(term.source(), name, "must be a number or a pair [a, b]");
                if (!number(*pair->get(0), name, rk.a) || !number(*pair->get(1), name, rk.b))
                    return false;
            } else if (!number(term, name, rk.a)) {
                return fail(term.source(), name, "must be a number or a pair [a, b]");
            }
            if (std::fabs(rk.a) > MAX_A)
                return fail(term.source(), name, "|a| must be at most 1e7 J/mol");
            if (std::fabs(rk.b) > MAX_B)
                return fail(term.source(), name, "|b| must be at most 1e4 J/(mol K)");
            out.excess.push_back(rk);
        }
        return true;
    }

    bool temperatures(const toml::table& root, System& s)
    {
        const double low = std::min(s.a.melting_point(), s.b.melting_point());
        const double high = std::max(s.a.melting_point(), s.b.melting_point());
        TemperatureRange& r = s.range;
        r.first = 0.5 * low;
        r.last = 1.1 * high;
        r.step = 1.0;
        const toml::table* t = nullptr;
        if (!table(root, "temperature", t, false))
            return false;
        toml::source_region where = root.source();
        if (t != nullptr) {
            where = t->source();
            if (!only(*t, "temperature.", {"first", "last", "step"}))
                return false;
            bool present = false;
            if (!positive(*t, "first", "temperature.", MAX_TEMPERATURE, r.first, present) ||
                !positive(*t, "last", "temperature.", MAX_TEMPERATURE, r.last, present) ||
                !positive(*t, "step", "temperature.", HUGE_VAL, r.step, present))
                return false;
        }
        if (r.first > MAX_TEMPERATURE || r.last > MAX_TEMPERATURE)
            return fail(where, "temperature",
                        "the default range reaches beyond 100000 K: give [temperature]");
        if (r.first > r.last)
            return fail(where, "temperature.first", "must not exceed temperature.last");
        if (!temperature_range(r.first, r.last, r.step, r))
            return fail(where, "temperature.step", "more than 1000000 temperatures");
        return true;
    }
};

}  // namespace

bool parse_system(std::string_view text, const std::string& path, System& s, InputError& error)
{
    Reader reader{path, error};
    std::string shielded;
    TextPosition at{};
    if (!shield_from_toml(text, shielded, at)) {
        const toml::source_position unsafe{static_cast<toml::source_index>(at.line),
                                           static_cast<toml::source_index>(at.column)};
        return reader.fail(
            {unsafe, unsafe, nullptr}, "",
            "this character beyond ASCII can stand only in a double-quoted string or a comment");
    }
    toml::parse_result parsed = toml::parse(shielded, path);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        return reader.fail(e.source(), "", std::string(e.description()));
    }
    const toml::table& root = parsed.table();
    if (!reader.only(root, "", {"name", "gas_constant", "A", "B", "liquid", "solid", "temperature"}))
        return false;
    s = System{};
    if (const toml::node* n = root.get("name")) {
        const auto* name = n->as_string();
        if (name == nullptr)
            return reader.fail(n->source(), "name", "must be a string");
        s.name = name->get();
    }
    if (const toml::node* n = root.get("gas_constant")) {
        // A database's model written as a system file gives the database's R.
        if (!reader.number(*n, "gas_constant", s.gas_constant))
            return false;
        if (!(s.gas_constant >= 1.0 && s.gas_constant <= 100.0))
            return reader.fail(n->source(), "gas_constant", "must be from 1 to 100 J/(mol K)");
    }
    Solution liquid;
    Solution solid;
    if (!reader.component(root, "A", s.a) || !reader.component(root, "B", s.b) ||
        !reader.solution(root, "liquid", liquid) || !reader.solution(root, "solid", solid) ||
        !reader.temperatures(root, s))
        return false;
    s.phases = liquid_and_solid(s.a, s.b, liquid, solid);
    if (s.name.empty())
        s.name = s.a.name + "-" + s.b.name;
    return true;
}

bool read_system_file(const std::string& path, System& s, InputError& error)
{
    std::string text;
    return read_text_file(path, MAX_FILE_BYTES, "1 MiB", "a system file", text, error) &&
           parse_system(text, path, s, error);
}
