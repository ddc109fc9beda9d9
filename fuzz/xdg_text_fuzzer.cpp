// The link launcher's text handling: the class lookup over mimeapps.list and defaults.list
// texts, desktop-entry parsing, the Exec line's field codes, the cut at the placeholder and the
// command-line split. None of it does I/O, so arbitrary files are just arbitrary strings.
//
// Input layout: up to four parts separated by NUL bytes: a mimeapps.list, a defaults.list, a
// desktop entry and a MIME type (text/html when absent).

#include "fuzz_check.h"
#include "hyperlink/link_launcher.h"
#include "platform/desktop/command_line.h"
#include "platform/desktop/desktop_entry.h"
#include "platform/desktop/key_file.h"
#include "platform/desktop/mime_apps.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace xdg = quaverly::platform::xdg;

constexpr std::string_view kBlanks = " \t\r";

bool IsTrimmed(std::string_view text) {
    return text.empty() || (kBlanks.find(text.front()) == std::string_view::npos &&
                            kBlanks.find(text.back()) == std::string_view::npos);
}

void CheckKeyFile(std::string_view text) {
    for (const xdg::KeyFileEntry& entry : xdg::ParseKeyFile(text)) {
        FUZZ_CHECK(!entry.key.empty());
        FUZZ_CHECK(IsTrimmed(entry.key) && IsTrimmed(entry.value));
        FUZZ_CHECK(entry.key.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.value.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.group.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.group.find(']') == std::string::npos);
        // Escapes only ever shorten a value.
        FUZZ_CHECK(xdg::UnescapeString(entry.value).size() <= entry.value.size());
        for (const std::string& item : xdg::SplitStringList(entry.value)) {
            FUZZ_CHECK(!item.empty() && IsTrimmed(item));
            FUZZ_CHECK(item.size() <= entry.value.size());
        }
    }
}

void CheckIds(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        FUZZ_CHECK(!id.empty());
    }
}

void CheckCommand(std::string_view exec) {
    const std::string command = xdg::CommandFromExec(exec);
    // %f %F %u %U keep their two bytes as %1, %% loses one, the other codes go.
    FUZZ_CHECK(command.size() <= exec.size());

    const std::string cut = quaverly::CommandBeforePlaceholder(command);
    FUZZ_CHECK(command.compare(0, cut.size(), cut) == 0);
    if (cut.size() < command.size()) {
        const std::string_view rest = std::string_view(command).substr(cut.size());
        FUZZ_CHECK(rest.starts_with("%1") || rest.starts_with("\"%1\""));
    } else {
        FUZZ_CHECK(command.find("%1") == std::string::npos);
    }

    std::size_t total = 0;
    for (const std::string& word : xdg::SplitCommandLine(cut)) {
        total += word.size();
    }
    // Quotes and escapes go, separators go; nothing is ever added.
    FUZZ_CHECK(total <= cut.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::array<std::string_view, 4> parts{};
    std::size_t count = 0;
    while (count < parts.size()) {
        const std::size_t end = count + 1 == parts.size() ? input.size() : input.find('\0');
        parts[count++] = input.substr(0, end);
        if (end >= input.size()) {
            break;
        }
        input.remove_prefix(end + 1);
    }
    const std::string_view mimeApps = parts[0];
    const std::string_view defaults = parts[1];
    const std::string_view desktopEntry = parts[2];
    const std::string_view mimeType = count == 4 ? parts[3] : std::string_view("text/html");

    CheckKeyFile(mimeApps);

    const xdg::MimeAssociations list = xdg::ParseMimeAppsList(mimeApps, mimeType);
    const xdg::MimeAssociations legacy = xdg::ParseMimeAppsList(defaults, mimeType);
    CheckIds(list.defaults);
    CheckIds(list.added);
    CheckIds(list.removed);
    CheckIds(legacy.defaults);

    // Taken as installed: ids of odd length, so that the choice passes over some.
    const auto installed = [](const std::string& id) { return id.size() % 2 == 1; };
    const std::string chosen = xdg::ChooseDefaultApplication({list}, {legacy}, installed);
    if (!chosen.empty()) {
        FUZZ_CHECK(installed(chosen));
        const auto holds = [&](const std::vector<std::string>& ids) {
            return std::find(ids.begin(), ids.end(), chosen) != ids.end();
        };
        FUZZ_CHECK(holds(list.defaults) || holds(list.added) || holds(legacy.defaults));
        FUZZ_CHECK(holds(list.defaults) || !holds(list.removed));
    }

    if (const auto entry = xdg::ParseDesktopEntry(desktopEntry)) {
        if (entry->exec) {
            CheckCommand(*entry->exec);
        }
    }
    // The raw text as an Exec line and as a registered command, whatever it holds.
    CheckCommand(desktopEntry);
    const std::string command = quaverly::CommandBeforePlaceholder(std::string(mimeApps));
    std::size_t total = 0;
    for (const std::string& word : xdg::SplitCommandLine(command)) {
        total += word.size();
    }
    FUZZ_CHECK(total <= command.size());
    return 0;
}
