#pragma once

#include <optional>
#include <string>

namespace quaverly::frontend {

// The modal folder choice that starts a listing run from a dialog's button. Each dialog supplies
// its toolkit's; the tests supply their own.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;

    // The chosen folder's file-system path, or nothing when the user cancelled or chose an item
    // that has no file-system path.
    virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
};

} // namespace quaverly::frontend
