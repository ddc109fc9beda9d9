#pragma once

#include "platform/file_system.h"

#include <string>

namespace quaverly::platform {

// The folder where the user keeps documents, as the desktop names it. On Windows the shell's
// Documents. On an XDG desktop XDG_DOCUMENTS_DIR of user-dirs.dirs (in $XDG_CONFIG_HOME, by
// default ~/.config); without one ~/Documents where that is a folder, else the home folder,
// which is where xdg-user-dirs, too, puts what it has no folder for. Empty when there is no home.
std::string DocumentsFolder(FileSystem& fileSystem);

} // namespace quaverly::platform
