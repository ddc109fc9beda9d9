#include "platform/desktop/desktop_entry.h"

#include "platform/desktop/key_file.h"

namespace quaverly::platform::xdg {

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text) {
    constexpr std::string_view kGroup = "Desktop Entry";
    bool found = false;
    DesktopEntry entry;
    // A group without keys leaves no entries behind; its header alone still makes it exist.
    for (const KeyFileEntry& line : ParseKeyFile(text)) {
        if (line.group != kGroup) {
            continue;
        }
        found = true;
        if (line.key == "Exec" && !entry.exec) {
            entry.exec = UnescapeString(line.value);
        } else if (line.key == "Hidden") {
            entry.hidden = line.value == "true";
        }
    }
    if (!found && text.find("[Desktop Entry]") == std::string_view::npos) {
        return std::nullopt;
    }
    return entry;
}

std::string CommandFromExec(std::string_view exec) {
    std::string command;
    command.reserve(exec.size());
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%') {
            command += exec[i];
            continue;
        }
        if (i + 1 == exec.size()) {
            break;
        }
        switch (exec[++i]) {
        case 'f':
        case 'F':
        case 'u':
        case 'U':
            command += "%1";
            break;
        case '%':
            command += '%';
            break;
        default:
            break;
        }
    }
    return command;
}

} // namespace quaverly::platform::xdg
