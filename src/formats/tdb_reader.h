// The database reader's state, shared by its commands (tdb_file.cpp, the
// phases and parameters in tdb_phases.cpp) and its expressions
// (tdb_expression.cpp). Not for use outside the reader.
#pragma once

#include "engine/database/database.h"
#include "formats/input_error.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tdb {

// A word of a command and where it starts in the file.
struct Word {
    std::string text;
    std::size_t at;
};

// The words between begin and end, split at white space: all of them, or the
// first most.
std::vector<Word> words_of(std::string_view text, std::size_t begin, std::size_t end,
                           std::size_t most = ~std::size_t{0});

std::string upper(std::string_view s);

// Whether word abbreviates keyword part by part, as the format's keywords may
// be shortened: both split at '_' and '-', the word into no more parts than the
// keyword, each of its parts a prefix of the keyword's part (TEMP-LIM for
// TEMPERATURE_LIMITS, A_P_D for AMEND_PHASE_DESCRIPTION). Upper case.
bool abbreviates(std::string_view word, std::string_view keyword);

// The keyword of the list that word spells out, else the one it abbreviates:
// empty where none, "?" where several.
std::string keyword_among(const std::string& word, const std::vector<const char*>& keywords);

// A call of a function from a parameter or a function body, where it was
// written: what an undefined function's error points at.
struct Call {
    int function;
    std::size_t at;
    int parameter;  // the index in the parameters read, -1 from a function
};

// A parameter as read, before it is checked against the phases and species
// the whole file declares.
struct ReadParameter {
    DatabaseParameter parameter;
    std::string written;  // "G(LIQUID,AL;0)", for messages
    std::size_t at;       // where the parenthesis opens
    bool kept = true;     // false once a fault has set it aside
};

// A TYPE_DEFINITION: its code and its words after the code.
struct TypeDefinition {
    char code;
    std::vector<Word> words;
    int line;
};

struct Reader {
    Reader(std::string_view text_, const std::string& path_, InputError& error_, Database& db_)
        : text(text_), path(path_), error(error_), db(db_)
    {
    }

    std::string_view text;  // comments blanked out, offsets as in the file
    const std::string& path;
    InputError& error;
    Database& db;

    std::map<std::string, int> function_index;
    std::vector<bool> defined;
    std::vector<Call> calls;
    int parameter_now = -1;  // the parameter whose expression is being read, for calls
    std::vector<ReadParameter> parameters;
    std::vector<TypeDefinition> types;
    std::map<std::string, int> ignored_properties;  // property name -> parameters
    std::vector<std::string> rejected, restored;
    double default_low = 298.15;   // K, where a lower limit is left empty
    double default_high = 6000.0;  // K, where an upper limit is left empty
    std::vector<std::size_t> line_starts;

    bool fail(std::size_t at, const std::string& what);
    int line_of(std::size_t at);
    // A fault at at, or on a line: what, and the phase or function it touches.
    void fault(std::size_t at, const std::string& what, const std::string& phase = {}, int function = -1);
    void fault_at_line(int line, const std::string& what, const std::string& phase = {}, int function = -1);
    int function(const std::string& name, std::size_t at);
    bool number(const Word& w, double& value);

    // Commands.
    bool command(std::size_t begin, std::size_t end);
    bool element(const std::vector<Word>& words);
    bool function_command(std::size_t end, const std::vector<Word>& words);
    bool phase(const std::vector<Word>& words, bool one_constituent);
    bool constituent(std::size_t end, const std::vector<Word>& words, bool add);
    bool parameter(std::size_t end, const std::vector<Word>& words);
    bool type_definition(const std::vector<Word>& words);
    bool default_command(const std::vector<Word>& words);
    bool limits_command(const std::vector<Word>& words, std::size_t first);
    bool finish();

    // Functions of T: limits, pieces, expressions.
    bool piecewise(std::size_t from, std::size_t end, Piecewise& p);
    bool limit(std::size_t& i, std::size_t end, double fallback, double& value, bool upper);
    bool after_last_limit(std::size_t i, std::size_t end);
    bool expression(std::size_t from, std::size_t end, Expression& e);

    // The file's checks once it is all read (tdb_phases.cpp).
    bool check_parameters();
    void apply_types();
};

}  // namespace tdb
