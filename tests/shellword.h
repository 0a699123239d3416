// Paths the tests paste into the text of a shell script or of a script of
// the viewer's own language, whatever the path holds: TMPDIR may have a
// space or a quote in its name.
#pragma once

#include <string>

// text as one word of a shell script.
inline std::string ShellWord(const std::string& text)
{
    std::string word = "'";
    for (const char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// text as a string literal of the script language, which has no escapes: in
// apostrophes unless it holds one, then in double quotes.
inline std::string ScriptString(const std::string& text)
{
    const char quote = text.find('\'') == std::string::npos ? '\'' : '"';
    return quote + text + quote;
}
