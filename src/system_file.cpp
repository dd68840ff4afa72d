#include "system_file.h"

#include "equilibrium.h"
#include "sweep.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr double MAX_TEMPERATURE = 1e5;  // K
constexpr long MAX_TEMPERATURES = 1000000;
constexpr double MAX_ENTHALPY = 1e7;  // J/mol
constexpr std::size_t MAX_TERMS = 16;
constexpr double MAX_A = 1e7;  // J/mol
constexpr double MAX_B = 1e4;  // J/(mol K)
constexpr std::size_t MAX_FILE_BYTES = 1 << 20;

struct Reader {
    const std::string& path;
    std::string& error;

    bool fail(const toml::source_region& where, const std::string& key, const std::string& what)
    {
        error = path;
        if (where.begin.line > 0)
            error += ":" + std::to_string(where.begin.line) + ":" + std::to_string(where.begin.column);
        error += ": ";
        if (!key.empty())
            error += key + ": ";
        error += what;
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
        if (!only(*t, prefix, {"name", "melting_point", "entropy_of_fusion", "enthalpy_of_fusion"}))
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
        if (!has_h)
            return fail(t->source(), prefix + "enthalpy_of_fusion", "missing");
        if (has_tm == has_s)
            return fail(t->source(), prefix + "melting_point",
                        has_tm ? "give melting_point or entropy_of_fusion, not both"
                               : "missing: give melting_point or entropy_of_fusion");
        if (has_tm)
            c.entropy_of_fusion = c.enthalpy_of_fusion / tm;
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
        const double steps = (r.last - r.first) / r.step;
        if (!(steps < static_cast<double>(MAX_TEMPERATURES)))
            return fail(where, "temperature.step", "more than 1000000 temperatures");
        // last is included when it lies within 1e-9 of a step of the grid.
        r.count = static_cast<long>(std::floor(steps + 1e-9)) + 1;
        if (r.count > MAX_TEMPERATURES)
            return fail(where, "temperature.step", "more than 1000000 temperatures");
        return true;
    }
};

// toml++ 3.3 asks of every character outside a string whether it is white space,
// and for these code points its generated test runs into __builtin_unreachable:
// undefined behaviour. None of them may reach it.
bool unsafe_for_reader(char32_t c)
{
    return (c >= 0xA1 && c <= 0x499) || (c >= 0x2C5E && c <= 0x3057 && c != 0x3000) ||
           (c >= 0xFB26 && c <= 0xFEFE);
}

// The code point of the UTF-8 sequence at text[i] and its length; 0 for a
// malformed one, which the reader itself refuses.
char32_t decode(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size())
        return 0;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    return c;
}

// Rewrites text so that no character unsafe for toml++ reaches it: inside a
// double-quoted string it becomes its \uXXXX escape (the same value once read),
// inside a comment a '?'. Anywhere else (a single-quoted string, which has no
// escapes, or outside strings, where TOML allows none) the file is refused, with
// the character's place in at. A misjudged region cannot let one through: every
// unsafe character is either replaced by ASCII or refused.
bool shield(std::string_view text, std::string& out, toml::source_position& at)
{
    enum class In { text, comment, basic, literal, basic_lines, literal_lines } in = In::text;
    const auto starts = [&](std::size_t i, char quote) {
        return text.compare(i, 3, std::string(3, quote)) == 0;
    };
    out.clear();
    out.reserve(text.size());
    at = {1, 1};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::size_t length = 1;
        const char32_t code = static_cast<unsigned char>(c) >= 0x80 ? decode(text, i, length) : 0;
        if (code != 0 && unsafe_for_reader(code)) {
            if (in == In::comment) {
                out += '?';
            } else if (in == In::basic || in == In::basic_lines) {
                char escape[16];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(code));
                out += escape;
            } else {
                return false;
            }
            i += length - 1;
            ++at.column;
            continue;
        }
        out += c;
        if (c == '\n') {
            ++at.line;
            at.column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++at.column;
        }
        if (in == In::text) {
            if (c == '#') {
                in = In::comment;
            } else if (c == '"' || c == '\'') {
                const bool lines = starts(i, c);
                in = c == '"' ? (lines ? In::basic_lines : In::basic)
                              : (lines ? In::literal_lines : In::literal);
                if (lines) {
                    out.append(2, c);
                    i += 2;
                    at.column += 2;
                }
            }
        } else if (in == In::comment) {
            if (c == '\n')
                in = In::text;
        } else if ((in == In::basic || in == In::basic_lines) && c == '\\') {
            if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0x80) {
                out += text[++i];  // the escaped character, never a string's end
                if (text[i] == '\n') {
                    ++at.line;
                    at.column = 1;
                } else {
                    ++at.column;
                }
            }
        } else if (in == In::basic || in == In::literal) {
            if (c == (in == In::basic ? '"' : '\'') || c == '\n')
                in = In::text;
        } else {
            const char quote = in == In::basic_lines ? '"' : '\'';
            if (c == quote && starts(i, quote)) {
                std::size_t n = 3;
                while (n < 5 && i + n < text.size() &&
                       text[i + n] == quote)  // up to two quotes end the content
                    ++n;
                out.append(n - 1, quote);
                i += n - 1;
                at.column += static_cast<int>(n - 1);
                in = In::text;
            }
        }
    }
    return true;
}

}  // namespace

bool parse_system(std::string_view text, const std::string& path, System& s, std::string& error)
{
    Reader reader{path, error};
    std::string shielded;
    toml::source_position unsafe{};
    if (!shield(text, shielded, unsafe))
        return reader.fail(
            {unsafe, unsafe, nullptr}, "",
            "this character beyond ASCII can stand only in a double-quoted string or a comment");
    toml::parse_result parsed = toml::parse(shielded, path);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        return reader.fail(e.source(), "", std::string(e.description()));
    }
    const toml::table& root = parsed.table();
    if (!reader.only(root, "", {"name", "A", "B", "liquid", "solid", "temperature"}))
        return false;
    s = System{};
    if (const toml::node* n = root.get("name")) {
        const auto* name = n->as_string();
        if (name == nullptr)
            return reader.fail(n->source(), "name", "must be a string");
        s.name = name->get();
    }
    if (!reader.component(root, "A", s.a) || !reader.component(root, "B", s.b) ||
        !reader.solution(root, "liquid", s.liquid) || !reader.solution(root, "solid", s.solid) ||
        !reader.temperatures(root, s))
        return false;
    if (s.name.empty())
        s.name = s.a.name + "-" + s.b.name;
    return true;
}

System builtin_system()
{
    System s;
    s.name = "Si - second component";
    s.a = {"Si", DH_SI, DS_SI};
    s.b = {"second component", DH_2, DS_2};
    s.range = {T_FIRST, T_LAST, 1.0, T_LAST - T_FIRST + 1};
    return s;
}

bool read_system_file(const std::string& path, System& s, std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    std::size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= MAX_FILE_BYTES)
        text.append(buf, got);
    const bool failed = std::ferror(f) != 0;
    const int reason = errno;
    std::fclose(f);
    if (failed) {
        error = path + ": " + std::strerror(reason);
        return false;
    }
    if (text.size() > MAX_FILE_BYTES) {
        error = path + ": larger than 1 MiB: not a system file";
        return false;
    }
    return parse_system(text, path, s, error);
}
