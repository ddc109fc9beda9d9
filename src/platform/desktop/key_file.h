#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quaverly::platform::xdg {

// One "key=value" line of a freedesktop.org key file (desktop entries, mimeapps.list),
// with the group it stands in. Keys and values are trimmed; values are still escaped.
struct KeyFileEntry {
    std::string group;
    std::string key;
    std::string value;
};

// The entries of a key file in file order. Comments, blank lines and lines that are neither a
// group header nor a key are skipped, as are keys before the first group.
std::vector<KeyFileEntry> ParseKeyFile(std::string_view text);

// A string value with its escapes \s \n \t \r \\ resolved; other backslashes stay as they are.
std::string UnescapeString(std::string_view value);

// A list value split at every ';' that is not escaped as "\;", each item unescaped and trimmed;
// empty items are dropped.
std::vector<std::string> SplitStringList(std::string_view value);

} // namespace quaverly::platform::xdg
