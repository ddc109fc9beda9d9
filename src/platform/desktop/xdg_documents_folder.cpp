#include "platform/desktop/documents_folder.h"

#include "platform/desktop/user_dirs.h"
#include "platform/file_error.h"

#include <cstdlib>

namespace quaverly::platform {

namespace {

// xdg-user-dirs writes a few hundred bytes.
constexpr std::size_t kUserDirsMost = 64 * 1024;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

} // namespace

std::string DocumentsFolder(FileSystem& fileSystem) {
    std::string home = Environment("HOME");
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    if (home.empty()) {
        return {};
    }
    std::string config = Environment("XDG_CONFIG_HOME");
    if (!IsAbsolutePath(config)) {
        config = home + "/.config";
    }
    try {
        const std::string text =
            ReadFileStart(fileSystem, config + "/user-dirs.dirs", kUserDirsMost);
        if (auto named = xdg::UserDir(text, "XDG_DOCUMENTS_DIR", home)) {
            return *named;
        }
    } catch (const FileError&) {
        // No such file, or none that can be read: the folder it would have named is guessed.
    }
    const std::string documents = (home == "/" ? "" : home) + "/Documents";
    const StatusResult status = fileSystem.Status(documents);
    return status.Ok() && status.status.kind == FileKind::Directory ? documents : home;
}

} // namespace quaverly::platform
