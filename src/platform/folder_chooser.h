#pragma once

#include <optional>
#include <string>

namespace quaverly::platform {

// The modal folder choice that starts a listing run. The dialog supplies the real one; the
// command-line tool and the tests supply their own.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;

    // The chosen folder's file-system path, or nothing when the user cancelled or chose an item
    // that has no file-system path.
    virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
};

// The choice made beforehand: a command line's folder argument.
class GivenFolder final : public FolderChooser {
public:
    explicit GivenFolder(std::optional<std::string> folder) : m_folder(std::move(folder)) {}

    std::optional<std::string> ChooseFolder(const std::string& /*title*/) override {
        return m_folder;
    }

private:
    std::optional<std::string> m_folder;
};

} // namespace quaverly::platform
