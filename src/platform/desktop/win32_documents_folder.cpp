#include "platform/desktop/documents_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace quaverly::platform {

std::string DocumentsFolder(FileSystem& /*fileSystem*/) {
    PWSTR path = nullptr;
    std::string folder;
    // Made when missing, as the shell makes it for a new user.
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &path))) {
        folder = CarriedPath(path);
    }
    ::CoTaskMemFree(path);
    return folder;
}

} // namespace quaverly::platform
