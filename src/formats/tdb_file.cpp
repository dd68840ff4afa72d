#include "formats/tdb_file.h"

#include "formats/tdb_reader.h"
#include "formats/text_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace tdb {

namespace {

constexpr std::size_t MAX_FILE_BYTES = std::size_t{16} << 20;  // COST 507, the largest known, is 147 KB
constexpr int MAX_CALL_DEPTH = 100;  // functions calling functions: real databases go about ten deep

// The commands read, and those skipped: references, notes and what only
// another program's data module or kinetics need.
const std::vector<const char*> COMMANDS = {"ELEMENT",
                                           "SPECIES",
                                           "FUNCTION",
                                           "TYPE_DEFINITION",
                                           "DEFINE_SYSTEM_DEFAULT",
                                           "DEFAULT_COMMAND",
                                           "PHASE",
                                           "CONSTITUENT",
                                           "ADD_CONSTITUENT",
                                           "PARAMETER",
                                           "COMPOUND_PHASE",
                                           "ALLOTROPIC_PHASE",
                                           "TEMPERATURE_LIMITS",
                                           "LIST_OF_REFERENCES",
                                           "ADD_REFERENCES",
                                           "DATABASE_INFORMATION",
                                           "VERSION_DATE",
                                           "ASSESSED_SYSTEMS",
                                           "REFERENCE_FILE",
                                           "FTP_FILE",
                                           "OPTIONS",
                                           "CASE",
                                           "ENDCASE",
                                           "DIFFUSION",
                                           "ZERO_VOLUME_SPECIES"};
const std::vector<const char*> SKIPPED = {"LIST_OF_REFERENCES",
                                          "ADD_REFERENCES",
                                          "DATABASE_INFORMATION",
                                          "VERSION_DATE",
                                          "ASSESSED_SYSTEMS",
                                          "REFERENCE_FILE",
                                          "FTP_FILE",
                                          "OPTIONS",
                                          "CASE",
                                          "ENDCASE",
                                          "DIFFUSION",
                                          "ZERO_VOLUME_SPECIES"};

std::vector<std::string_view> parts(std::string_view s)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i)
        if (i == s.size() || s[i] == '_' || s[i] == '-') {
            out.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    return out;
}

}  // namespace

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::vector<Word> words_of(std::string_view text, std::size_t begin, std::size_t end, std::size_t most)
{
    std::vector<Word> words;
    std::size_t i = begin;
    while (i < end && words.size() < most) {
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

bool abbreviates(std::string_view word, std::string_view keyword)
{
    const std::vector<std::string_view> w = parts(word);
    const std::vector<std::string_view> k = parts(keyword);
    if (word.empty() || w.size() > k.size())
        return false;
    for (std::size_t i = 0; i < w.size(); ++i)
        if (w[i].empty() || w[i].size() > k[i].size() || k[i].substr(0, w[i].size()) != w[i])
            return false;
    return true;
}

std::string keyword_among(const std::string& word, const std::vector<const char*>& keywords)
{
    std::string found;
    for (const char* k : keywords) {
        if (word == k)
            return k;
        if (abbreviates(word, k))
            found = found.empty() || found == k ? std::string(k) : std::string("?");
    }
    return found;
}

bool Reader::fail(std::size_t at, const std::string& what)
{
    int column = 1;
    for (std::size_t i = at; i > 0 && i <= text.size() && text[i - 1] != '\n'; --i)
        ++column;
    error = file_error(path, what);
    error.line = line_of(at);
    error.column = column;
    return false;
}

int Reader::line_of(std::size_t at)
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

void Reader::fault(std::size_t at, const std::string& what, const std::string& phase, int function)
{
    fault_at_line(line_of(at), what, phase, function);
}

void Reader::fault_at_line(int line, const std::string& what, const std::string& phase, int function)
{
    db.faults.push_back({path + ":" + std::to_string(line) + ": " + what, line, phase, function});
}

int Reader::function(const std::string& name, std::size_t at)
{
    (void)at;
    const auto found = function_index.find(name);
    if (found != function_index.end())
        return found->second;
    const int index = static_cast<int>(db.functions.names.size());
    function_index.emplace(name, index);
    db.functions.names.push_back(name);
    db.functions.bodies.emplace_back();
    defined.push_back(false);
    return index;
}

bool Reader::command(std::size_t begin, std::size_t end)
{
    std::vector<Word> words = words_of(text, begin, end, 1);
    if (words.empty())
        return true;
    const std::string k = keyword_among(upper(words[0].text), COMMANDS);
    // A function or parameter is read from its text, not its words, which may
    // be millions: its first two are enough here.
    words = words_of(text, begin, end, k == "FUNCTION" || k == "PARAMETER" ? 2 : ~std::size_t{0});
    if (k.empty())
        return fail(words[0].at, "unknown command '" + words[0].text + "'");
    if (k == "?")
        return fail(words[0].at, "'" + words[0].text + "' could be more than one command");
    if (std::find(SKIPPED.begin(), SKIPPED.end(), k) != SKIPPED.end())
        return true;
    if (k == "DEFAULT_COMMAND")
        return default_command(words);
    if (k == "TEMPERATURE_LIMITS")
        return limits_command(words, 1);
    if (k == "DEFINE_SYSTEM_DEFAULT")  // ELEMENT or SPECIES, a number, and where given the default limits
        return limits_command(words, 3);
    if (words.size() < 2)
        return fail(words[0].at, k + " names nothing");
    if (k == "ELEMENT")
        return element(words);
    if (k == "SPECIES") {
        db.species.push_back({upper(words[1].text), words.size() > 2 ? upper(words[2].text) : std::string()});
        return true;
    }
    if (k == "FUNCTION")
        return function_command(end, words);
    if (k == "TYPE_DEFINITION")
        return type_definition(words);
    if (k == "PHASE" || k == "COMPOUND_PHASE" || k == "ALLOTROPIC_PHASE")
        return phase(words, k != "PHASE");
    if (k == "CONSTITUENT" || k == "ADD_CONSTITUENT")
        return constituent(end, words, k == "ADD_CONSTITUENT");
    return parameter(end, words);
}

bool Reader::element(const std::vector<Word>& words)
{
    const std::string name = upper(words[1].text);
    if (name == "VA" || name == "/-")
        return true;
    DatabaseElement e{name, 0.0};
    if (words.size() > 3 && !number(words[3], e.mass))
        return false;
    db.elements.push_back(e);
    return true;
}

bool Reader::function_command(std::size_t end, const std::vector<Word>& words)
{
    const std::string name = upper(words[1].text);
    const int f = function(name, words[1].at);
    const auto index = static_cast<std::size_t>(f);
    // Parsed aside: the functions it calls may grow the table under a reference.
    Piecewise body;
    if (!piecewise(words[1].at + words[1].text.size(), end, body))
        return false;
    body.name = "FUNCTION " + name;
    body.line = line_of(words[0].at);
    if (defined[index]) {
        fault(words[0].at,
              "FUNCTION " + name + " given again (first at line " +
                  std::to_string(db.functions.bodies[index].line) + "); the first is kept",
              {}, f);
        return true;
    }
    defined[index] = true;
    db.functions.bodies[index] = std::move(body);
    return true;
}

// TEMPERATURE_LIMITS LOW HIGH, or the same numbers from words[first] on.
bool Reader::limits_command(const std::vector<Word>& words, std::size_t first)
{
    if (words.size() < first + 2)  // DEFINE_SYSTEM_DEFAULT commonly gives none
        return first > 1 || fail(words[0].at, "TEMPERATURE_LIMITS gives no limits");
    double low = 0.0;
    double high = 0.0;
    if (!number(words[first], low) || !number(words[first + 1], high))
        return false;
    if (!(low > 0.0 && high > low))
        return fail(words[first].at, "default temperature limits must rise from above 0 K");
    default_low = low;
    default_high = high;
    return true;
}

// DEFAULT_COMMAND: the phases the file rejects, and restores; what else a
// default command asks concerns another program's data module.
bool Reader::default_command(const std::vector<Word>& words)
{
    if (words.size() < 2)
        return true;
    std::string what = upper(words[1].text);
    std::size_t names = 2;
    if (words.size() > 2 && (abbreviates(what, "REJECT") || abbreviates(what, "RESTORE")) &&
        abbreviates(upper(words[2].text), "PHASE")) {
        what += "_PHASE";  // REJECT PHASE A B, as two words
        names = 3;
    }
    const bool reject = abbreviates(what, "REJECT_PHASE");
    if (reject || abbreviates(what, "RESTORE_PHASE")) {
        for (std::size_t k = names; k < words.size(); ++k) {
            std::string name = upper(words[k].text);
            name = name.substr(0, name.find(':'));
            (reject ? rejected : restored).push_back(name);
        }
        return true;
    }
    if (!abbreviates(what, "DEFINE_SYSTEM_ELEMENT"))
        db.ignored.push_back("DEFAULT_COMMAND " + words[1].text + " (line " +
                             std::to_string(line_of(words[0].at)) + ")");
    return true;
}

// Whether a function that is called but not defined matters: called from a
// function, or from a parameter that was kept. Where it does, at is its first
// such call.
bool called_where_it_counts(const std::vector<Call>& calls, const std::vector<ReadParameter>& parameters,
                            int f, std::size_t& at)
{
    for (const Call& c : calls)
        if (c.function == f && (c.parameter < 0 || parameters[static_cast<std::size_t>(c.parameter)].kept)) {
            at = c.at;
            return true;
        }
    return false;
}

bool Reader::finish()
{
    if (db.phases.empty())
        return fail(text.size(), "the file declares no phase");
    if (!check_parameters())
        return false;
    for (std::size_t f = 0; f < defined.size(); ++f) {
        if (defined[f])
            continue;
        // R, where no function of that name is defined, is the gas constant the
        // databases are assessed with.
        Piecewise& body = db.functions.bodies[f];
        if (db.functions.names[f] == "R") {
            body.limits = {0.0, HUGE_VAL};
            body.pieces = {Expression{{{DATABASE_GAS_CONSTANT, 0, Expression::Op::number}}}};
            body.name = "the gas constant R";
            continue;
        }
        std::size_t at = 0;
        if (called_where_it_counts(calls, parameters, static_cast<int>(f), at))
            return fail(at, "function " + db.functions.names[f] + " is called but not defined");
    }
    const CallDepth calls_depth = call_depth(db.functions);
    if (calls_depth.cycle >= 0)
        return fail(text.size(), "function " +
                                     db.functions.names[static_cast<std::size_t>(calls_depth.cycle)] +
                                     " calls itself through the functions it calls");
    if (calls_depth.deepest > MAX_CALL_DEPTH) {
        const Piecewise& f = db.functions.bodies[static_cast<std::size_t>(calls_depth.deepest_function)];
        line_of(0);  // the table of lines, for the offset of f's
        return fail(line_starts[static_cast<std::size_t>(f.line - 1)],
                    f.name + " calls functions nested deeper than " + std::to_string(MAX_CALL_DEPTH));
    }
    for (const ReadParameter& p : parameters)
        if (p.kept)
            db.parameters.push_back(p.parameter);
    apply_types();
    for (const std::string& name : rejected)
        if (std::find(restored.begin(), restored.end(), name) == restored.end())
            db.rejected.push_back(name);
    for (const auto& [property, count] : ignored_properties)
        db.ignored.push_back(std::to_string(count) + " " + property + " parameter" + (count > 1 ? "s" : ""));
    std::stable_sort(db.faults.begin(), db.faults.end(),
                     [](const DatabaseFault& a, const DatabaseFault& b) { return a.line < b.line; });
    return true;
}

// Where a command may start after stray characters between two commands (a
// '"' after a '!'): past them, with a fault naming them; begin where none.
std::size_t past_strays(Reader& r, std::string_view text, std::size_t begin, std::size_t end)
{
    std::size_t i = begin;
    while (i < end && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const std::size_t start = i;
    while (i < end && !std::isspace(static_cast<unsigned char>(text[i])) &&
           !std::isalpha(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == start)
        return begin;
    r.fault(start, "'" + std::string(text.substr(start, i - start)) + "' between two commands; ignored");
    return i;
}

}  // namespace tdb

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
    tdb::Reader reader(blanked, path, error, db);
    std::size_t begin = 0;
    for (std::size_t bang = blanked.find('!'); bang != std::string::npos; bang = blanked.find('!', begin)) {
        if (!reader.command(tdb::past_strays(reader, blanked, begin, bang), bang))
            return false;
        begin = bang + 1;
    }
    const std::vector<tdb::Word> rest =
        tdb::words_of(blanked, tdb::past_strays(reader, blanked, begin, blanked.size()), blanked.size());
    if (!rest.empty())
        return reader.fail(rest[0].at, "a command with no closing '!'");
    return reader.finish();
}

bool read_tdb_file(const std::string& path, Database& db, InputError& error)
{
    std::string text;
    return read_text_file(path, tdb::MAX_FILE_BYTES, "16 MiB", "a database", text, error) &&
           parse_tdb(text, path, db, error);
}
