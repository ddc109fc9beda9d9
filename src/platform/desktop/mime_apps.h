#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::platform::xdg {

// What one mimeapps.list (or defaults.list) says about one MIME type: the desktop-entry ids of
// its [Default Applications], [Added Associations] and [Removed Associations], in list order.
struct MimeAssociations {
    std::vector<std::string> defaults;
    std::vector<std::string> added;
    std::vector<std::string> removed;
};

// MIME types compare without regard to letter case.
MimeAssociations ParseMimeAppsList(std::string_view text, std::string_view mimeType);

// The XDG base directories, already resolved: every path
// absolute, defaults filled in. `desktops` are the names of $XDG_CURRENT_DESKTOP, lower case.
struct XdgDirectories {
    std::string configHome;
    std::vector<std::string> configDirs;
    std::string dataHome;
    std::vector<std::string> dataDirs;
    std::vector<std::string> desktops;
};

// Resolves the directories from the values of HOME, XDG_CONFIG_HOME, XDG_CONFIG_DIRS,
// XDG_DATA_HOME, XDG_DATA_DIRS and XDG_CURRENT_DESKTOP; an unset variable is an empty value.
// Relative paths are invalid and ignored.
XdgDirectories ResolveXdgDirectories(std::string_view home, std::string_view configHome,
                                     std::string_view configDirs, std::string_view dataHome,
                                     std::string_view dataDirs, std::string_view currentDesktop);

// The mimeapps.list files to consult, most important first: the config home, the config dirs,
// the data home's applications and the data dirs' applications, each directory's
// "<desktop>-mimeapps.list" before its plain "mimeapps.list".
std::vector<std::string> MimeAppsListFiles(const XdgDirectories& dirs);

// The old defaults.list files: the data home's applications, then the data dirs'.
std::vector<std::string> DefaultsListFiles(const XdgDirectories& dirs);

// The directories in which desktop entries are installed, most important first.
std::vector<std::string> ApplicationDirectories(const XdgDirectories& dirs);

// The default application for a MIME type: the first installed entry of the Default
// Applications of the lists in order; failing that, the first installed entry of their Added
// Associations that a list of the same or higher rank does not remove; failing that, the first
// installed entry of the old defaults lists that is not removed. Empty when there is none.
std::string ChooseDefaultApplication(const std::vector<MimeAssociations>& lists,
                                     const std::vector<MimeAssociations>& legacyLists,
                                     const std::function<bool(const std::string&)>& isInstalled);

} // namespace quaverly::platform::xdg
