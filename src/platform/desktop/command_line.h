#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quaverly::platform::xdg {

// Splits a command line into a program and its arguments the way a POSIX shell splits plain
// words and double-quoted strings, and nothing more: blanks, tabs and line feeds separate
// words; a backslash outside quotes takes the next character literally; inside double quotes
// a backslash escapes only $ ` " \ and a line feed (which it removes), and "" makes an empty
// word. Single quotes, $, ~, globs and operators are ordinary characters, so an unquoted URL
// with ' or & in it stays one word. An unclosed quote runs to the end of the line.
std::vector<std::string> SplitCommandLine(std::string_view line);

} // namespace quaverly::platform::xdg
