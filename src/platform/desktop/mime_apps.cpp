#include "platform/desktop/mime_apps.h"

#include "platform/desktop/key_file.h"

#include <algorithm>
#include <cctype>

namespace quaverly::platform::xdg {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool IsAbsolute(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

std::string WithoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

std::vector<std::string> SplitPathList(std::string_view list) {
    std::vector<std::string> paths;
    while (true) {
        const auto colon = list.find(':');
        const std::string_view path = list.substr(0, colon);
        if (IsAbsolute(path)) {
            paths.push_back(WithoutTrailingSlashes(path));
        }
        if (colon == std::string_view::npos) {
            return paths;
        }
        list.remove_prefix(colon + 1);
    }
}

std::string ResolveHomeDir(std::string_view value, std::string_view home,
                           std::string_view fallback) {
    if (IsAbsolute(value)) {
        return WithoutTrailingSlashes(value);
    }
    return WithoutTrailingSlashes(home) + std::string(fallback);
}

bool Contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

MimeAssociations ParseMimeAppsList(std::string_view text, std::string_view mimeType) {
    MimeAssociations associations;
    for (const KeyFileEntry& entry : ParseKeyFile(text)) {
        if (!EqualsIgnoringCase(entry.key, mimeType)) {
            continue;
        }
        std::vector<std::string>* target = nullptr;
        if (entry.group == "Default Applications") {
            target = &associations.defaults;
        } else if (entry.group == "Added Associations") {
            target = &associations.added;
        } else if (entry.group == "Removed Associations") {
            target = &associations.removed;
        } else {
            continue;
        }
        for (std::string& id : SplitStringList(entry.value)) {
            target->push_back(std::move(id));
        }
    }
    return associations;
}

XdgDirectories ResolveXdgDirectories(std::string_view home, std::string_view configHome,
                                     std::string_view configDirs, std::string_view dataHome,
                                     std::string_view dataDirs, std::string_view currentDesktop) {
    XdgDirectories dirs;
    dirs.configHome = ResolveHomeDir(configHome, home, "/.config");
    dirs.dataHome = ResolveHomeDir(dataHome, home, "/.local/share");
    dirs.configDirs = SplitPathList(configDirs);
    if (dirs.configDirs.empty()) {
        dirs.configDirs = {"/etc/xdg"};
    }
    dirs.dataDirs = SplitPathList(dataDirs);
    if (dirs.dataDirs.empty()) {
        dirs.dataDirs = {"/usr/local/share", "/usr/share"};
    }
    while (!currentDesktop.empty()) {
        const auto colon = currentDesktop.find(':');
        std::string name(currentDesktop.substr(0, colon));
        std::transform(name.begin(), name.end(), name.begin(), [](char c) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        });
        if (!name.empty()) {
            dirs.desktops.push_back(std::move(name));
        }
        currentDesktop.remove_prefix(colon == std::string_view::npos ? currentDesktop.size()
                                                                     : colon + 1);
    }
    return dirs;
}

std::vector<std::string> ApplicationDirectories(const XdgDirectories& dirs) {
    std::vector<std::string> result{dirs.dataHome + "/applications"};
    for (const std::string& dir : dirs.dataDirs) {
        result.push_back(dir + "/applications");
    }
    return result;
}

std::vector<std::string> MimeAppsListFiles(const XdgDirectories& dirs) {
    std::vector<std::string> directories{dirs.configHome};
    directories.insert(directories.end(), dirs.configDirs.begin(), dirs.configDirs.end());
    for (const std::string& dir : ApplicationDirectories(dirs)) {
        directories.push_back(dir);
    }
    std::vector<std::string> files;
    for (const std::string& dir : directories) {
        for (const std::string& desktop : dirs.desktops) {
            files.push_back(dir + "/" + desktop + "-mimeapps.list");
        }
        files.push_back(dir + "/mimeapps.list");
    }
    return files;
}

std::vector<std::string> DefaultsListFiles(const XdgDirectories& dirs) {
    std::vector<std::string> files;
    for (const std::string& dir : ApplicationDirectories(dirs)) {
        files.push_back(dir + "/defaults.list");
    }
    return files;
}

std::string ChooseDefaultApplication(const std::vector<MimeAssociations>& lists,
                                     const std::vector<MimeAssociations>& legacyLists,
                                     const std::function<bool(const std::string&)>& isInstalled) {
    for (const MimeAssociations& list : lists) {
        for (const std::string& id : list.defaults) {
            if (isInstalled(id)) {
                return id;
            }
        }
    }
    // A list's removals apply to its own additions and to those of every list below it.
    std::vector<std::string> removed;
    for (const MimeAssociations& list : lists) {
        removed.insert(removed.end(), list.removed.begin(), list.removed.end());
        for (const std::string& id : list.added) {
            if (!Contains(removed, id) && isInstalled(id)) {
                return id;
            }
        }
    }
    for (const MimeAssociations& list : legacyLists) {
        for (const std::string& id : list.defaults) {
            if (!Contains(removed, id) && isInstalled(id)) {
                return id;
            }
        }
    }
    return {};
}

} // namespace quaverly::platform::xdg
