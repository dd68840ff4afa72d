#include "formats/tdb_file.h"

#include "formats/text_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

constexpr std::size_t MAX_FILE_BYTES = std::size_t{16} << 20;  // COST 507, the largest known, is 147 KB
constexpr int MAX_STACK = 64;                                  // operands an expression may hold at once
constexpr double GAS_CONSTANT = 8.31451;                       // J/(mol K), R of the assessments
constexpr int MAX_CALL_DEPTH = 100;  // functions calling functions: real databases go three or four deep

// The commands read, and those skipped: references and notes only.
const char* const COMMANDS[] = {
    "ELEMENT",         "SPECIES", "FUNCTION",    "TYPE_DEFINITION", "DEFINE_SYSTEM_DEFAULT",
    "DEFAULT_COMMAND", "PHASE",   "CONSTITUENT", "PARAMETER"};
const char* const SKIPPED[] = {"LIST_OF_REFERENCES", "ADD_REFERENCES",     "DATABASE_INFO", "VERSION_DATE",
                               "ASSESSED_SYSTEMS",   "TEMPERATURE_LIMITS", "REFERENCE_FILE"};

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// A word of a command and where it starts in the file.
struct Word {
    std::string text;
    std::size_t at;
};

struct Reader {
    std::string_view text;  // comments blanked out, offsets as in the file
    const std::string& path;
    InputError& error;
    Database& db;
    std::map<std::string, int> function_index;
    std::vector<std::size_t> first_call;  // where each function was first called, for an undefined one
    struct Magnetic {
        std::string phase;
        double afm, p;
    };
    std::vector<Magnetic> magnetic;

    bool fail(std::size_t at, const std::string& what)
    {
        int line = 1;
        int column = 1;
        for (std::size_t i = 0; i < at && i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        error = file_error(path, what);
        error.line = line;
        error.column = column;
        return false;
    }

    std::vector<std::size_t> line_starts;  // offsets of the file's lines, for line_of

    int line_of(std::size_t at)
    {
        if (line_starts.empty()) {
            line_starts.push_back(0);
            for (std::size_t i = 0; i < text.size(); ++i)
                if (text[i] == '\n')
                    line_starts.push_back(i + 1);
        }
        return static_cast<int>(std::upper_bound(line_starts.begin(), line_starts.end(), at) -
                                line_starts.begin());
    }

    int function(const std::string& name, std::size_t at)
    {
        const auto found = function_index.find(name);
        if (found != function_index.end())
            return found->second;
        const int index = static_cast<int>(db.functions.names.size());
        function_index.emplace(name, index);
        db.functions.names.push_back(name);
        db.functions.bodies.emplace_back();
        first_call.push_back(at);
        return index;
    }

    bool number(const Word& w, double& value)
    {
        const std::string s = upper(w.text);
        char* end = nullptr;
        errno = 0;
        value = std::strtod(s.c_str(), &end);
        if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(value) || errno == ERANGE)
            return fail(w.at, "'" + w.text + "' is not a number a double holds");
        return true;
    }

    bool command(std::size_t begin, std::size_t end);
    bool piecewise(std::size_t from, std::size_t end, Piecewise& p);
    bool expression(std::size_t from, std::size_t end, Expression& e);
    bool phase(const std::vector<Word>& words);
    bool constituent(std::size_t end, const std::vector<Word>& words);
    bool parameter(std::size_t end, const std::vector<Word>& words);
    bool type_definition(const std::vector<Word>& words);
    bool finish();
};

std::vector<Word> words_of(std::string_view text, std::size_t begin, std::size_t end)
{
    std::vector<Word> words;
    std::size_t i = begin;
    while (i < end) {
        while (i < end && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const std::size_t start = i;
        while (i < end && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.push_back({std::string(text.substr(start, i - start)), start});
    }
    return words;
}

// The keyword a word stands for: itself or a unique prefix of one; empty when
// none, "?" when more than one.
std::string keyword(const std::string& word)
{
    std::string found;
    const auto look = [&](const char* k) {
        if (std::strncmp(k, word.c_str(), word.size()) != 0)
            return false;
        found = word.size() == std::strlen(k) || found.empty() ? std::string(k) : std::string("?");
        return word.size() == std::strlen(k);
    };
    for (const char* k : COMMANDS)
        if (look(k))
            return found;
    for (const char* k : SKIPPED)
        if (look(k))
            return found;
    return found;
}

bool Reader::command(std::size_t begin, std::size_t end)
{
    const std::vector<Word> words = words_of(text, begin, end);
    if (words.empty())
        return true;
    const std::string k = keyword(upper(words[0].text));
    if (k.empty())
        return fail(words[0].at, "unknown command '" + words[0].text + "'");
    if (k == "?")
        return fail(words[0].at, "'" + words[0].text + "' could be more than one command");
    if (std::find(std::begin(SKIPPED), std::end(SKIPPED), k) != std::end(SKIPPED) ||
        k == "DEFINE_SYSTEM_DEFAULT" || k == "DEFAULT_COMMAND")
        return true;
    if (words.size() < 2)
        return fail(words[0].at, k + " names nothing");
    const std::string name = upper(words[1].text);
    if (k == "ELEMENT") {
        if (name != "VA" && name != "/-")
            db.elements.push_back(name);
        return true;
    }
    if (k == "SPECIES") {
        db.species.push_back(name);
        return true;
    }
    if (k == "FUNCTION") {
        const int f = function(name, words[1].at);
        if (!db.functions.bodies[static_cast<std::size_t>(f)].pieces.empty())
            return fail(words[1].at, "function " + name + " is defined twice");
        first_call[static_cast<std::size_t>(f)] = std::string::npos;  // defined
        // Parsed aside: the functions it calls may grow the table under a reference.
        Piecewise body;
        if (!piecewise(words[1].at + words[1].text.size(), end, body))
            return false;
        db.functions.bodies[static_cast<std::size_t>(f)] = std::move(body);
        return true;
    }
    if (k == "TYPE_DEFINITION")
        return type_definition(words);
    if (k == "PHASE")
        return phase(words);
    if (k == "CONSTITUENT")
        return constituent(end, words);
    return parameter(end, words);
}

}  // namespace

namespace {

// The word that starts at or after i, before end; its end in next.
Word next_word(std::string_view text, std::size_t i, std::size_t end, std::size_t& next)
{
    while (i < end && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const std::size_t start = i;
    while (i < end && !std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    next = i;
    return {std::string(text.substr(start, i - start)), start};
}

bool Reader::piecewise(std::size_t from, std::size_t end, Piecewise& p)
{
    std::size_t i = from;
    double limit = 0.0;
    const Word low = next_word(text, i, end, i);
    if (low.text.empty())
        return fail(low.at, "a lower temperature limit is missing");
    if (!number(low, limit))
        return false;
    p.limits.push_back(limit);
    for (;;) {
        const std::size_t semicolon = text.find(';', i);
        if (semicolon == std::string_view::npos || semicolon >= end)
            return fail(i, "an expression with no ';' after it");
        p.pieces.emplace_back();
        if (!expression(i, semicolon, p.pieces.back()))
            return false;
        const Word high = next_word(text, semicolon + 1, end, i);
        if (high.text.empty())
            return fail(high.at, "an upper temperature limit is missing");
        if (!number(high, limit))
            return false;
        if (!(limit > p.limits.back()))
            return fail(high.at, "the temperature limit " + high.text + " is not above the one before it");
        p.limits.push_back(limit);
        const Word more = next_word(text, i, end, i);
        const std::string flag = upper(more.text);
        if (flag == "N")
            return true;  // what follows is a reference
        if (flag != "Y")
            return fail(more.at, "Y or N must follow a temperature limit, not '" + more.text + "'");
    }
}

// Recursive descent over an expression with its white space taken out; each
// character keeps its place in the file for messages.
struct ExpressionParser {
    Reader& r;
    std::string s;
    std::vector<std::size_t> at;
    std::size_t i = 0;
    Expression& out;
    int depth = 0;
    int deepest = 0;

    bool fail(const std::string& what)
    {
        return r.fail(i < at.size() ? at[i] : (at.empty() ? 0 : at.back()), what);
    }
    char peek(std::size_t k = 0) const { return i + k < s.size() ? s[i + k] : '\0'; }
    void emit(Expression::Op op, double number = 0.0, int function = 0)
    {
        out.steps.push_back({op, number, function});
        const bool pushes =
            op == Expression::Op::number || op == Expression::Op::temperature || op == Expression::Op::call;
        const bool pops = op == Expression::Op::add || op == Expression::Op::subtract ||
                          op == Expression::Op::multiply || op == Expression::Op::divide ||
                          op == Expression::Op::power;
        depth += pushes ? 1 : (pops ? -1 : 0);
        deepest = std::max(deepest, depth);
    }

    bool sum()
    {
        if (!product())
            return false;
        while (peek() == '+' || peek() == '-') {
            const char op = s[i++];
            if (!product())
                return false;
            emit(op == '+' ? Expression::Op::add : Expression::Op::subtract);
        }
        return true;
    }

    bool product()
    {
        if (!signed_power())
            return false;
        while ((peek() == '*' && peek(1) != '*') || peek() == '/') {
            const char op = s[i++];
            if (!signed_power())
                return false;
            emit(op == '*' ? Expression::Op::multiply : Expression::Op::divide);
        }
        return true;
    }

    bool signed_power()
    {
        if (peek() == '+' || peek() == '-') {
            const char sign = s[i++];
            if (!signed_power())
                return false;
            if (sign == '-')
                emit(Expression::Op::negate);
            return true;
        }
        if (!primary())
            return false;
        if (peek() == '*' && peek(1) == '*') {  // an exponent: a signed number or one in parentheses
            i += 2;
            if (!signed_power())
                return false;
            emit(Expression::Op::power);
        }
        return true;
    }

    bool primary();
    bool name();
};

bool ExpressionParser::primary()
{
    const char c = peek();
    if (c == '(') {
        ++i;
        if (!sum())
            return false;
        if (peek() != ')')
            return fail("a ')' is missing");
        ++i;
        return true;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
        const std::size_t start = i;
        while (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '.')
            ++i;
        if (peek() == 'E' &&
            (std::isdigit(static_cast<unsigned char>(peek(1))) ||
             ((peek(1) == '+' || peek(1) == '-') && std::isdigit(static_cast<unsigned char>(peek(2)))))) {
            i += 2;
            while (std::isdigit(static_cast<unsigned char>(peek())))
                ++i;
        }
        double value = 0.0;
        const std::size_t here = i;
        i = start;
        if (!r.number({s.substr(start, here - start), at[start]}, value))
            return false;
        i = here;
        emit(Expression::Op::number, value);
        return true;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
        return name();
    return fail(c == '\0' ? std::string("an expression ends too early")
                          : "'" + std::string(1, c) + "' cannot stand here");
}

bool ExpressionParser::name()
{
    const std::size_t start = i;
    while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_')
        ++i;
    const std::string word = s.substr(start, i - start);
    if (peek() == '(' && (word == "LN" || word == "LOG" || word == "EXP")) {
        ++i;
        if (!sum())
            return false;
        if (peek() != ')')
            return fail("a ')' is missing");
        ++i;
        emit(word == "EXP" ? Expression::Op::exp : Expression::Op::ln);
        return true;
    }
    if (peek() == '(')
        return fail("'" + word + "' is no function of the format (LN, LOG or EXP)");
    if (word == "T") {
        emit(Expression::Op::temperature);
        return true;
    }
    if (peek() == '#')
        ++i;
    emit(Expression::Op::call, 0.0, r.function(word, at[start]));
    return true;
}

bool Reader::expression(std::size_t from, std::size_t end, Expression& e)
{
    ExpressionParser p{*this, {}, {}, 0, e};
    for (std::size_t k = from; k < end; ++k)
        if (!std::isspace(static_cast<unsigned char>(text[k]))) {
            p.s += static_cast<char>(std::toupper(static_cast<unsigned char>(text[k])));
            p.at.push_back(k);
        }
    if (p.s.empty())
        return fail(from, "an expression is empty");
    if (!p.sum())
        return false;
    if (p.i < p.s.size())
        return p.fail("'" + std::string(1, p.s[p.i]) + "' cannot stand here");
    if (p.deepest > MAX_STACK)
        return fail(from, "an expression nested too deeply");
    return true;
}

}  // namespace

namespace {

// "NAME" or "NAME:L": the name, and whether a ":L" or the name itself marks a liquid.
std::string phase_name(const std::string& word, bool& liquid)
{
    const std::string u = upper(word);
    const std::size_t colon = u.find(':');
    std::string name = u.substr(0, colon);
    liquid = name == "LIQUID" || (colon != std::string::npos && u.substr(colon + 1) == "L");
    return name;
}

const DatabasePhase* find_phase(const Database& db, const std::string& name)
{
    for (const DatabasePhase& p : db.phases)
        if (p.name == name)
            return &p;
    return nullptr;
}

// "A,B%" into its constituents, upper case, without the marks of major ones.
std::vector<std::string> constituents_of(std::string_view list)
{
    std::vector<std::string> out;
    std::string current;
    for (const char c : list) {
        if (c == ',') {
            out.push_back(current);
            current.clear();
        } else if (!std::isspace(static_cast<unsigned char>(c)) && c != '%') {
            current += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    out.push_back(current);
    return out;
}

bool Reader::phase(const std::vector<Word>& words)
{
    DatabasePhase p;
    p.name = phase_name(words[1].text, p.liquid);
    p.line = line_of(words[1].at);
    if (find_phase(db, p.name) != nullptr)
        return fail(words[1].at, "phase " + p.name + " is declared twice");
    if (words.size() < 4)
        return fail(words.back().at, "PHASE " + p.name + " gives no number of sublattices");
    double n = 0.0;
    if (!number(words[3], n))
        return false;
    if (!(n >= 1.0 && n <= 10.0 && n == std::floor(n)))
        return fail(words[3].at, "the number of sublattices must be a whole number from 1 to 10");
    for (std::size_t s = 0; s < static_cast<std::size_t>(n); ++s) {
        if (4 + s >= words.size())
            return fail(words.back().at,
                        "PHASE " + p.name + " misses the site number of sublattice " + std::to_string(s + 1));
        double sites = 0.0;
        if (!number(words[4 + s], sites))
            return false;
        if (!(sites > 0.0))
            return fail(words[4 + s].at, "a site number must be positive");
        p.sites.push_back(sites);
    }
    db.phases.push_back(p);
    return true;
}

bool Reader::constituent(std::size_t end, const std::vector<Word>& words)
{
    bool liquid = false;
    const std::string name = phase_name(words[1].text, liquid);
    auto found = std::find_if(db.phases.begin(), db.phases.end(),
                              [&](const DatabasePhase& p) { return p.name == name; });
    if (found == db.phases.end())
        return fail(words[1].at, "CONSTITUENT of phase " + name + ", which no PHASE declares");
    const std::size_t after = words[1].at + words[1].text.size();
    const std::size_t first = text.find(':', after);
    const std::size_t last = text.rfind(':', end - 1);
    if (first == std::string_view::npos || first >= end || last <= first)
        return fail(after, "CONSTITUENT " + name + " gives its sublattices between ':' marks");
    std::vector<std::vector<std::string>> lists;
    for (std::size_t s = first; s < last;) {
        const std::size_t next = text.find(':', s + 1);
        lists.push_back(constituents_of(text.substr(s + 1, next - s - 1)));
        for (const std::string& c : lists.back())
            if (c.empty())
                return fail(s + 1, "an empty constituent in CONSTITUENT " + name);
        s = next;
    }
    if (lists.size() != found->sites.size())
        return fail(first, "CONSTITUENT " + name + " gives " + std::to_string(lists.size()) +
                               " sublattices, its PHASE " + std::to_string(found->sites.size()));
    found->constituents = lists;
    return true;
}

bool Reader::type_definition(const std::vector<Word>& words)
{
    for (std::size_t m = 3; m + 2 < words.size(); ++m)
        if (upper(words[m].text) == "MAGNETIC") {
            Magnetic def{upper(words[m - 1].text), 0.0, 0.0};
            if (!number(words[m + 1], def.afm) || !number(words[m + 2], def.p))
                return false;
            magnetic.push_back(def);
            return true;
        }
    return true;  // other kinds of type change nothing a binary's diagram needs
}

}  // namespace

namespace {

bool Reader::parameter(std::size_t end, const std::vector<Word>& words)
{
    const std::size_t open = text.find('(', words[1].at);
    const std::size_t close = open == std::string_view::npos ? open : text.find(')', open);
    if (open == std::string_view::npos || close == std::string_view::npos || close >= end)
        return fail(words[1].at, "a parameter is written as G(PHASE,CONSTITUENTS;ORDER)");
    DatabaseParameter p;
    p.line = line_of(words[1].at);
    const std::vector<Word> before = words_of(text, words[1].at, open);
    const std::string property = before.empty() ? std::string() : upper(before[0].text);
    p.property = property == "G" || property == "L" ? Property::gibbs
                 : property == "TC"                 ? Property::curie_temperature
                 : property == "BMAGN"              ? Property::bohr_magneton_number
                                                    : Property::other;
    const std::string inside = upper(text.substr(open + 1, close - open - 1));
    const std::size_t comma = inside.find(',');
    const std::size_t semicolon = inside.find(';');
    if (comma == std::string::npos || semicolon == std::string::npos || semicolon < comma)
        return fail(open + 1, "a parameter is written as G(PHASE,CONSTITUENTS;ORDER)");
    bool liquid = false;
    p.phase = phase_name(inside.substr(0, comma), liquid);
    const DatabasePhase* phase = find_phase(db, p.phase);
    if (phase == nullptr)
        return fail(open + 1, "a parameter of phase " + p.phase + ", which no PHASE declares");
    double order = 0.0;
    if (!number({inside.substr(semicolon + 1), open + 1 + semicolon + 1}, order))
        return false;
    if (!(order >= 0.0 && order == std::floor(order) && order <= 100.0))
        return fail(open + 1 + semicolon + 1, "the order of a parameter must be a whole number from 0");
    p.order = static_cast<int>(order);
    const std::string lists = inside.substr(comma + 1, semicolon - comma - 1);
    for (std::size_t s = 0; s <= lists.size();) {
        const std::size_t next = std::min(lists.find(':', s), lists.size());
        p.constituents.push_back(constituents_of(lists.substr(s, next - s)));
        s = next + 1;
    }
    if (p.constituents.size() != phase->sites.size())
        return fail(open + 1, "a parameter of " + p.phase + " names " +
                                  std::to_string(p.constituents.size()) + " sublattices, the phase has " +
                                  std::to_string(phase->sites.size()));
    for (std::size_t s = 0; s < p.constituents.size(); ++s)
        for (const std::string& c : p.constituents[s]) {
            const std::vector<std::string>& declared =
                phase->constituents.empty() ? std::vector<std::string>{} : phase->constituents[s];
            if (c != "*" && std::find(declared.begin(), declared.end(), c) == declared.end())
                return fail(open + 1, "a parameter of " + p.phase + " names " + c +
                                          ", not a constituent of sublattice " + std::to_string(s + 1));
        }
    if (!piecewise(close + 1, end, p.value))
        return false;
    db.parameters.push_back(std::move(p));
    return true;
}

bool Reader::finish()
{
    for (std::size_t f = 0; f < first_call.size(); ++f) {
        if (first_call[f] == std::string::npos)
            continue;
        // R, where no function of that name is defined, is the gas constant the
        // databases are assessed with.
        if (db.functions.names[f] != "R")
            return fail(first_call[f], "function " + db.functions.names[f] + " is called but not defined");
        db.functions.bodies[f].limits = {0.0, HUGE_VAL};
        db.functions.bodies[f].pieces = {Expression{{{Expression::Op::number, GAS_CONSTANT, 0}}}};
    }
    const int cycle = function_in_a_cycle(db.functions);
    if (cycle >= 0)
        return fail(text.size(), "function " + db.functions.names[static_cast<std::size_t>(cycle)] +
                                     " calls itself through the functions it calls");
    if (deepest_calls(db.functions) > MAX_CALL_DEPTH)
        return fail(text.size(),
                    "functions call each other more than " + std::to_string(MAX_CALL_DEPTH) + " deep");
    for (const Magnetic& m : magnetic)
        for (DatabasePhase& p : db.phases)
            if (p.name == m.phase) {
                p.magnetic = true;
                p.antiferromagnetic_factor = m.afm;
                p.structure_factor = m.p;
            }
    if (db.phases.empty())
        return fail(text.size(), "the file declares no phase");
    return true;
}

}  // namespace

bool parse_tdb(std::string_view text, const std::string& path, Database& db, InputError& error)
{
    // Comments run from '$' to the end of the line, anywhere, and become blanks:
    // every other character keeps its place for messages.
    std::string blanked(text);
    for (std::size_t i = 0; i < blanked.size(); ++i)
        if (blanked[i] == '$')
            for (; i < blanked.size() && blanked[i] != '\n'; ++i)
                blanked[i] = ' ';
    db = Database{};
    Reader reader{blanked, path, error, db, {}, {}, {}, {}};
    std::size_t begin = 0;
    for (std::size_t bang = blanked.find('!'); bang != std::string::npos; bang = blanked.find('!', begin)) {
        if (!reader.command(begin, bang))
            return false;
        begin = bang + 1;
    }
    const std::vector<Word> rest = words_of(blanked, begin, blanked.size());
    if (!rest.empty())
        return reader.fail(rest[0].at, "a command with no closing '!'");
    return reader.finish();
}

bool read_tdb_file(const std::string& path, Database& db, InputError& error)
{
    std::string text;
    return read_text_file(path, MAX_FILE_BYTES, "16 MiB", "a database", text, error) &&
           parse_tdb(text, path, db, error);
}
