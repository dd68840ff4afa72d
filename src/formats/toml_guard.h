// What keeps toml++ away from the characters it mishandles. toml++ 3.3 reaches
// undefined behaviour on some characters beyond ASCII outside strings; every such
// character is rewritten to ASCII where TOML gives it a meaning that survives,
// and refused elsewhere, before the text reaches the reader.
#pragma once

#include <string>
#include <string_view>

struct TextPosition {
    int line;
    int column;
};

// Rewrites text into out so that no character unsafe for toml++ reaches it:
// inside a double-quoted string it becomes its \uXXXX escape (the same value once
// read), inside a comment a '?'. Anywhere else (a single-quoted string, which has
// no escapes, or outside strings, where TOML allows none) the text is refused:
// false, with the character's place in at.
bool shield_from_toml(std::string_view text, std::string& out, TextPosition& at);
