#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quaverly::platform::xdg {

// The folder a user-dirs.dirs text gives `key` (XDG_DOCUMENTS_DIR, say), read as xdg-user-dirs
// writes it and GLib reads it: KEY="$HOME/name" or KEY="/absolute/path", the home put in for
// $HOME, backslashes escaping the character after them, no trailing slash; the last line that
// names the key counts. Nothing when no line gives it a value that is either.
std::optional<std::string> UserDir(std::string_view text, std::string_view key,
                                   std::string_view home);

} // namespace quaverly::platform::xdg
