#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quaverly::platform::xdg {

// The keys of a desktop entry's [Desktop Entry] group that the class lookup needs.
struct DesktopEntry {
    std::optional<std::string> exec; // string escapes resolved, Exec quoting still in place
    bool hidden = false;             // "Hidden=true": the entry counts as deleted
};

// Empty when the text has no [Desktop Entry] group.
std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text);

// An Exec line as a command line with the link launcher's placeholder: the file and URL field
// codes %f %F %u %U become "%1", "%%" becomes "%", and every other field code (%i %c %k and the
// deprecated ones) is dropped. The Exec quoting is kept: it is the double-quote quoting that
// SplitCommandLine undoes.
std::string CommandFromExec(std::string_view exec);

} // namespace quaverly::platform::xdg
