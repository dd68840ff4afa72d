#include "formats/toml_guard.h"

#include <cstdio>

namespace {

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

}  // namespace

bool shield_from_toml(std::string_view text, std::string& out, TextPosition& at)
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
