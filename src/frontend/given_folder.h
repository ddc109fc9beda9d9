#pragma once

#include "frontend/run_messages.h"
#include "platform/file_system.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::frontend {

// A folder handed to a program rather than chosen in its browser: from the command line, or
// dropped on the dialog. Either the folder to list, or the box that says why nothing is listed;
// neither when nothing was given.
struct FolderRequest {
    std::optional<std::string> folder;
    std::optional<RunMessage> problem;

    bool Empty() const noexcept { return !folder && !problem; }
};

// The dialog's command line, without the program's name: nothing, or one folder. An option or
// a second item is not understood, and the dialog says so.
FolderRequest FolderFromCommandLine(const std::vector<std::string>& arguments);

// The command line's option that makes a catalogue rather than opening the dialog.
inline constexpr std::string_view kCatalogueOption = "--catalogue";

// The dialog program's command line when it starts with kCatalogueOption: the folder after it,
// or the box that says what is wrong (no folder, or more than one item). Nothing when the
// command line does not start with it.
std::optional<FolderRequest> CatalogueFromCommandLine(const std::vector<std::string>& arguments);

// What was dropped on the dialog: one item, or a box that asks for one.
FolderRequest FolderFromDrop(const std::vector<std::string>& paths);

// Why `path` cannot be listed ("Not a folder", or the system's reason for failing to reach
// it), or nothing when it is a folder.
std::optional<std::string> WhyNotAFolder(platform::FileSystem& fileSystem,
                                         const std::string& path);

// A stranger's text (a path, an argument) as a box shows it: visible, and cut short where it
// would not fit one.
std::string ShownInBox(const std::string& text);

// The folder as a folder chooser gives it: absolute, normal, no trailing separator but the
// root's. Empty when the current folder, which a relative one is read from, is gone.
std::string NormalFolder(const std::string& argument);

} // namespace quaverly::frontend
