// Functions of T as a database writes them: the limits between pieces, each
// piece's expression, and what may follow the last limit.
#include "formats/tdb_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tdb {

namespace {

constexpr int MAX_STACK = 64;     // operands an expression may hold at once
constexpr int MAX_NESTING = 100;  // parentheses, signs and powers inside each other: real files go three deep

bool digit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool name_char(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The length of the number at the start of s: digits with a point, and an
// exponent written with E or, as Fortran writes them, D. A sign after the
// mantissa that is not the exponent's begins something else: a lower limit
// glued to its expression (100.00-7258.5+...) ends there.
std::size_t number_length(std::string_view s, bool signed_start)
{
    std::size_t i = 0;
    if (signed_start && i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t mantissa = i;
    while (i < s.size() && (digit(s[i]) || s[i] == '.'))
        ++i;
    if (i == mantissa)
        return 0;
    if (i < s.size() && std::strchr("EeDd", s[i]) != nullptr) {
        std::size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-'))
            ++k;
        if (k < s.size() && digit(s[k])) {
            while (k < s.size() && digit(s[k]))
                ++k;
            i = k;
        }
    }
    return i;
}

}  // namespace

bool Reader::number(const Word& w, double& value)
{
    std::string s = upper(w.text);
    std::replace(s.begin(), s.end(), 'D', 'E');  // Fortran's exponent
    char* end = nullptr;
    errno = 0;
    value = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(value) || errno == ERANGE ||
        s.find_first_of("XP") != std::string::npos)  // no hexadecimal floats
        return fail(w.at, "'" + w.text + "' is not a number a double holds");
    return true;
}

// A temperature limit at i: a number, or the fallback where the field is left
// empty: commas (",,") or, for an upper limit, nothing before its Y or N.
bool Reader::limit(std::size_t& i, std::size_t end, double fallback, double& value, bool upper_limit)
{
    while (i < end && blank(text[i]))
        ++i;
    if (i < end && text[i] == ',') {
        while (i < end && (text[i] == ',' || blank(text[i])))
            ++i;
        value = fallback;
        return true;
    }
    std::size_t word_end = i;
    while (word_end < end && !blank(text[word_end]))
        ++word_end;
    const std::string word = upper(text.substr(i, word_end - i));
    if (upper_limit && (word == "N" || word == "Y" || word.empty())) {
        value = fallback;
        return true;
    }
    if (word.empty())
        return fail(i, "a lower temperature limit is missing");
    std::size_t length = number_length(text.substr(i, word_end - i), true);
    if (length == 0)
        length = word_end - i;  // not a number at all: named whole
    if (!number({std::string(text.substr(i, length)), i}, value))
        return false;
    i += length;
    return true;
}

bool Reader::piecewise(std::size_t from, std::size_t end, Piecewise& p)
{
    std::size_t i = from;
    double limit_value = 0.0;
    if (!limit(i, end, default_low, limit_value, false))
        return false;
    p.limits.push_back(limit_value);
    for (;;) {
        const std::size_t semicolon = text.find(';', i);
        if (semicolon == std::string_view::npos || semicolon >= end)
            return fail(i, "an expression with no ';' after it");
        p.pieces.emplace_back();
        if (!expression(i, semicolon, p.pieces.back()))
            return false;
        i = semicolon + 1;
        const std::size_t at = i;
        if (!limit(i, end, default_high, limit_value, true))
            return false;
        if (!(limit_value > p.limits.back())) {
            const std::vector<Word> w = words_of(text, at, end);
            return fail(w.empty() ? at : w[0].at, "the temperature limit " +
                                                      (w.empty() ? std::string() : w[0].text) +
                                                      " is not above the one before it");
        }
        p.limits.push_back(limit_value);
        while (i < end && blank(text[i]))
            ++i;
        const bool another =
            i < end && (text[i] == 'Y' || text[i] == 'y') && (i + 1 == end || !name_char(text[i + 1]));
        if (!another)
            return after_last_limit(i, end);
        ++i;
    }
}

// What may follow the last limit: N, and one reference: a word, or REF and a
// word ("REF283", "REF: 91Din", "15LIU"). Anything more is a fault of the file
// that must not pass unseen, such as a Y misspelt before another piece.
bool Reader::after_last_limit(std::size_t i, std::size_t end)
{
    const std::vector<Word> w = words_of(text, i, end);
    std::size_t k = 0;
    if (k < w.size() && upper(w[k].text) == "N")
        ++k;
    if (k < w.size()) {
        const std::string ref = upper(w[k].text);
        k += (ref == "REF" || ref == "REF:") && k + 1 < w.size() ? 2 : 1;
    }
    if (k < w.size())
        return fail(w[k].at, "after the last temperature limit come at most N and a reference, not '" +
                                 w[k].text + "'");
    return true;
}

namespace {

// Recursive descent over an expression with its white space taken out; each
// character keeps its place in the file for messages. Constant operations
// are done as they are read, in the order evaluation would do them, so that a
// long sum of numbers costs one step and the same double.
struct ExpressionParser {
    Reader& r;
    std::string s;
    // Where each run of s's characters starts in s and in the file: places
    // for messages, at a cost of one pair a run rather than one a character.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::size_t i = 0;
    Expression& out;
    int depth = 0;  // operands on the stack
    int deepest = 0;
    int nesting = 0;

    // The place in the file of s[k] (of its last character past the end).
    std::size_t at(std::size_t k) const
    {
        k = std::min(k, s.empty() ? 0 : s.size() - 1);
        const auto run = std::upper_bound(runs.begin(), runs.end(), std::make_pair(k, ~std::size_t{0})) - 1;
        return run->second + (k - run->first);
    }
    bool fail(const std::string& what) { return r.fail(at(i), what); }
    char peek(std::size_t k = 0) const { return i + k < s.size() ? s[i + k] : '\0'; }

    void emit(Expression::Op op, double number = 0.0, int function = 0);
    bool fold(Expression::Op op);

    bool sum();
    bool product();
    bool signed_power();
    bool primary();
    bool number();
    bool name();
};

bool pushes(Expression::Op op)
{
    using Op = Expression::Op;
    return op == Op::number || op == Op::temperature || op == Op::pressure || op == Op::call;
}

bool binary(Expression::Op op)
{
    using Op = Expression::Op;
    return op == Op::add || op == Op::subtract || op == Op::multiply || op == Op::divide || op == Op::power;
}

// Whether op on the numbers at the end of steps can be done now: it then is.
bool ExpressionParser::fold(Expression::Op op)
{
    using Op = Expression::Op;
    std::vector<Expression::Step>& steps = out.steps;
    const std::size_t n = steps.size();
    if (binary(op)) {
        if (n < 2 || steps[n - 1].op != Op::number || steps[n - 2].op != Op::number)
            return false;
        const double a = steps[n - 2].number;
        const double b = steps[n - 1].number;
        steps.pop_back();
        steps.back().number = op == Op::add        ? a + b
                              : op == Op::subtract ? a - b
                              : op == Op::multiply ? a * b
                              : op == Op::divide   ? a / b
                                                   : std::pow(a, b);
        return true;
    }
    if (n < 1 || steps[n - 1].op != Op::number || op == Op::einstein)
        return false;
    double& a = steps.back().number;
    a = op == Op::negate ? -a : op == Op::ln ? std::log(a) : std::exp(a);
    return true;
}

void ExpressionParser::emit(Expression::Op op, double number, int function)
{
    depth += pushes(op) ? 1 : (binary(op) ? -1 : 0);
    deepest = std::max(deepest, depth);
    if (!pushes(op) && fold(op))
        return;
    out.steps.push_back({number, function, op});
}

bool ExpressionParser::sum()
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

bool ExpressionParser::product()
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

// Every way down the descent passes here, so here its depth is bounded.
bool ExpressionParser::signed_power()
{
    if (++nesting > MAX_NESTING)
        return fail("an expression nested deeper than " + std::to_string(MAX_NESTING) + " levels");
    bool read = false;
    if (peek() == '+' || peek() == '-') {
        const char sign = s[i++];
        read = signed_power();
        if (read && sign == '-')
            emit(Expression::Op::negate);
    } else {
        read = primary();
        if (read && peek() == '*' && peek(1) == '*') {  // an exponent: a signed number or one in parentheses
            i += 2;
            read = signed_power();
            if (read)
                emit(Expression::Op::power);
        }
    }
    --nesting;
    return read;
}

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
    if (digit(c) || c == '.')
        return number();
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
        return name();
    return fail(c == '\0' ? std::string("an expression ends too early")
                          : "'" + std::string(1, c) + "' cannot stand here");
}

bool ExpressionParser::number()
{
    const std::size_t length = number_length(std::string_view(s).substr(i), false);
    double value = 0.0;
    if (!r.number({s.substr(i, length), at(i)}, value))
        return false;
    i += length;
    emit(Expression::Op::number, value);
    return true;
}

bool ExpressionParser::name()
{
    const std::size_t start = i;
    while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_')
        ++i;
    const std::string word = s.substr(start, i - start);
    if (peek() == '(' && (word == "LN" || word == "LOG" || word == "EXP" || word == "GEIN")) {
        ++i;
        if (!sum())
            return false;
        if (peek() != ')')
            return fail("a ')' is missing");
        ++i;
        emit(word == "EXP"    ? Expression::Op::exp
             : word == "GEIN" ? Expression::Op::einstein
                              : Expression::Op::ln);
        return true;
    }
    if (peek() == '(')
        return fail("'" + word + "' is no function of the format (LN, LOG, EXP or GEIN)");
    if (peek() == '#')
        ++i;
    if (word == "T" || word == "P") {
        emit(word == "T" ? Expression::Op::temperature : Expression::Op::pressure);
        return true;
    }
    const int f = r.function(word, at(start));
    r.calls.push_back({f, at(start), r.parameter_now});
    emit(Expression::Op::call, 0.0, f);
    return true;
}

}  // namespace

bool Reader::expression(std::size_t from, std::size_t end, Expression& e)
{
    ExpressionParser p{*this, {}, {}, 0, e};
    for (std::size_t k = from; k < end; ++k)
        if (!blank(text[k])) {
            if (k == from || blank(text[k - 1]))
                p.runs.emplace_back(p.s.size(), k);
            p.s += static_cast<char>(std::toupper(static_cast<unsigned char>(text[k])));
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

}  // namespace tdb
