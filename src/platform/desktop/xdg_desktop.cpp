#include "platform/desktop/xdg_desktop.h"

#include "platform/desktop/child_process.h"
#include "platform/desktop/command_line.h"
#include "platform/desktop/desktop_entry.h"
#include "platform/desktop/mime_apps.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>

namespace quaverly::platform {

namespace {

constexpr std::string_view kHtmlClassKey = ".htm";
constexpr std::string_view kHtmlMimeType = "text/html";
constexpr std::string_view kOpenCommandSuffix = "\\shell\\open\\command";

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

std::string_view Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string_view{} : std::string_view{value};
}

xdg::XdgDirectories CurrentXdgDirectories() {
    return xdg::ResolveXdgDirectories(Environment("HOME"), Environment("XDG_CONFIG_HOME"),
                                      Environment("XDG_CONFIG_DIRS"), Environment("XDG_DATA_HOME"),
                                      Environment("XDG_DATA_DIRS"),
                                      Environment("XDG_CURRENT_DESKTOP"));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A desktop-file id is the entry's path below an applications directory with "/" turned into
// "-", so "vendor-browser.desktop" may also be vendor/browser.desktop.
std::optional<std::string> FindEntryBelow(const std::string& dir, const std::string& id) {
    if (auto text = ReadWholeFile(dir + "/" + id)) {
        return text;
    }
    for (std::size_t dash = id.find('-'); dash != std::string::npos;
         dash = id.find('-', dash + 1)) {
        const std::string subdir = dir + "/" + id.substr(0, dash);
        if (IsDirectory(subdir)) {
            if (auto text = FindEntryBelow(subdir, id.substr(dash + 1))) {
                return text;
            }
        }
    }
    return std::nullopt;
}

// The first entry with this id in the applications directories; a hidden one counts as
// deleted and hides those below it.
std::optional<xdg::DesktopEntry> FindDesktopEntry(const xdg::XdgDirectories& dirs,
                                                  const std::string& id) {
    if (id.empty() || id.find('/') != std::string::npos || id.find("..") != std::string::npos) {
        return std::nullopt;
    }
    for (const std::string& dir : xdg::ApplicationDirectories(dirs)) {
        if (auto text = FindEntryBelow(dir, id)) {
            auto entry = xdg::ParseDesktopEntry(*text);
            if (!entry || entry->hidden) {
                return std::nullopt;
            }
            return entry;
        }
    }
    return std::nullopt;
}

std::string DefaultApplicationFor(std::string_view mimeType) {
    const xdg::XdgDirectories dirs = CurrentXdgDirectories();
    auto readLists = [mimeType](const std::vector<std::string>& files) {
        std::vector<xdg::MimeAssociations> lists;
        for (const std::string& file : files) {
            if (auto text = ReadWholeFile(file)) {
                lists.push_back(xdg::ParseMimeAppsList(*text, mimeType));
            }
        }
        return lists;
    };
    return xdg::ChooseDefaultApplication(
        readLists(xdg::MimeAppsListFiles(dirs)), readLists(xdg::DefaultsListFiles(dirs)),
        [&dirs](const std::string& id) { return FindDesktopEntry(dirs, id).has_value(); });
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string FileUriFor(const std::string& documentName) {
    std::string path = documentName;
    if (path.front() != '/') {
        GCharPtr cwd(g_get_current_dir());
        path = std::string(cwd.get()) + "/" + path;
    }
    GCharPtr uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : std::string();
}

int LaunchCodeForGioError(const GError& error) {
    if (error.domain == G_IO_ERROR) {
        switch (error.code) {
        case G_IO_ERROR_NOT_FOUND:
            return launch_code::FileNotFound;
        case G_IO_ERROR_NOT_SUPPORTED:
            return launch_code::NoAssociation;
        case G_IO_ERROR_PERMISSION_DENIED:
            return launch_code::AccessDenied;
        case G_IO_ERROR_NO_SPACE:
        case G_IO_ERROR_TOO_MANY_OPEN_FILES:
            return launch_code::OutOfMemory;
        default:
            return launch_code::FileNotFound;
        }
    }
    if (error.domain == G_SPAWN_ERROR) {
        switch (error.code) {
        case G_SPAWN_ERROR_FORK:
        case G_SPAWN_ERROR_NOMEM:
        case G_SPAWN_ERROR_TOO_BIG:
        case G_SPAWN_ERROR_MFILE:
            return launch_code::OutOfMemory;
        default:
            return launch_code::FileNotFound; // the handler cannot be started
        }
    }
    return launch_code::FileNotFound;
}

} // namespace

namespace xdg {

bool HasUriScheme(const std::string& target) {
    if (target.empty() || !std::isalpha(static_cast<unsigned char>(target.front()))) {
        return false;
    }
    for (const char c : target) {
        if (c == ':') {
            return true;
        }
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

int LaunchCodeForSpawnError(int error) {
    switch (error) {
    case 0:
        return launch_code::Succeeded;
    case ENOEXEC:
    case EACCES:
    case EISDIR:
    case ETXTBSY:
    case ELIBBAD:
        return launch_code::BadFormat;
    case ENOMEM:
    case EAGAIN:
    case E2BIG:
    case EMFILE:
    case ENFILE:
        return launch_code::OutOfResources;
    case EPERM:
        return launch_code::AccessDenied;
    default: // ENOENT, ENOTDIR, ELOOP, ENAMETOOLONG: no such program
        return launch_code::FileNotFound;
    }
}

} // namespace xdg

int XdgDesktop::OpenTarget(const std::string& target, int /*showCommand*/) {
    if (target.empty()) {
        return launch_code::FileNotFound;
    }
    const std::string uri = xdg::HasUriScheme(target) ? target : FileUriFor(target);
    if (uri.empty()) {
        return launch_code::FileNotFound;
    }
    // GIO starts the handler and returns; xdg-open would wait for a browser it starts itself.
    GError* rawError = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &rawError)) {
        return launch_code::Succeeded;
    }
    const GErrorPtr error(rawError);
    return error ? LaunchCodeForGioError(*error) : launch_code::FileNotFound;
}

ClassValue XdgDesktop::ReadClassDefault(const std::string& key) {
    constexpr long kKeyNotFound = 2; // ERROR_FILE_NOT_FOUND
    if (EqualsIgnoringCase(key, kHtmlClassKey)) {
        std::string id = DefaultApplicationFor(kHtmlMimeType);
        if (id.empty()) {
            return {kKeyNotFound, {}};
        }
        return {0, std::move(id)};
    }
    if (key.size() > kOpenCommandSuffix.size() &&
        EqualsIgnoringCase(std::string_view(key).substr(key.size() - kOpenCommandSuffix.size()),
                           kOpenCommandSuffix)) {
        const std::string id = key.substr(0, key.size() - kOpenCommandSuffix.size());
        const auto entry = FindDesktopEntry(CurrentXdgDirectories(), id);
        if (!entry || !entry->exec) {
            return {kKeyNotFound, {}};
        }
        return {0, xdg::CommandFromExec(*entry->exec)};
    }
    return {kKeyNotFound, {}};
}

int XdgDesktop::RunCommandLine(const std::string& commandLine, int /*showCommand*/) {
    return xdg::LaunchCodeForSpawnError(SpawnDetached(xdg::SplitCommandLine(commandLine)));
}

Desktop& SystemDesktop() {
    static XdgDesktop desktop;
    return desktop;
}

} // namespace quaverly::platform
