#include "frontend/given_folder.h"

#include "listing/visible_text.h"
#include "platform/last_error.h"

#include <algorithm>
#include <filesystem>

namespace quaverly::frontend {

namespace {

RunMessage Problem(std::string text) {
    return {std::move(text), MessageIcon::Exclamation, {}};
}

constexpr std::size_t kArgumentsShown = 5;

// The arguments as a box names them, one a line: the first few, then a count of the rest.
std::string ShownArguments(const std::vector<std::string>& arguments) {
    std::string given;
    for (std::size_t i = 0; i < arguments.size() && i < kArgumentsShown; ++i) {
        given += '\n';
        given += ShownInBox(arguments[i]);
    }
    if (arguments.size() > kArgumentsShown) {
        given += "\n...and " + std::to_string(arguments.size() - kArgumentsShown) + " more";
    }
    return given;
}

// The folder a command line names, or why the folder it names cannot be read: a relative one
// needs the current folder.
FolderRequest NamedFolder(const std::string& argument, const std::string& doing) {
    const std::string folder = NormalFolder(argument);
    if (folder.empty()) {
        return {std::nullopt,
                Problem(doing + "\n" + ShownInBox(argument) +
                        "\nThe current folder, which it is read from, no longer exists.")};
    }
    return {folder, std::nullopt};
}

} // namespace

FolderRequest FolderFromCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return {};
    }
    if (arguments.size() == 1 && !arguments.front().empty() && arguments.front()[0] != '-') {
        return NamedFolder(arguments.front(), "Cannot list");
    }
    return {std::nullopt,
            Problem("The command line was not understood:" + ShownArguments(arguments) +
                    "\n\nGive it one folder to list, or nothing.")};
}

std::optional<FolderRequest> CatalogueFromCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front() != kCatalogueOption) {
        return std::nullopt;
    }
    // The folder may start with "-": it is the option's, whatever it is.
    if (arguments.size() == 2 && !arguments[1].empty()) {
        return NamedFolder(arguments[1], "Cannot make the catalogue of");
    }
    return FolderRequest{
        std::nullopt,
        Problem("The command line was not understood:" + ShownArguments(arguments) + "\n\nGive " +
                std::string(kCatalogueOption) + " one folder to make the catalogue of.")};
}

FolderRequest FolderFromDrop(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return {};
    }
    if (paths.size() > 1) {
        return {std::nullopt, Problem("Drop one folder to list it: " +
                                      std::to_string(paths.size()) + " items were dropped.")};
    }
    return {paths.front(), std::nullopt};
}

std::string ShownInBox(const std::string& text) {
    constexpr std::size_t kColumnsShown = 300;
    const std::string visible = listing::VisibleText(text);
    const std::string_view cut = listing::CutToColumns(visible, kColumnsShown);
    return cut.size() == visible.size() ? visible : std::string(cut) + "...";
}

std::optional<std::string> WhyNotAFolder(platform::FileSystem& fileSystem,
                                         const std::string& path) {
    const platform::StatusResult status = fileSystem.Status(path);
    if (!status.Ok()) {
        return platform::DescribeSystemError(status.error);
    }
    if (status.status.kind != platform::FileKind::Directory) {
        return std::string("Not a folder");
    }
    return std::nullopt;
}

// ".." behind a link leads where the system takes it, to the parent of the link's target, not
// back to the folder that holds the link: the path up to its last ".." is resolved by the
// system, as the check of the folder resolved it, and the rest kept as it was spelled.
std::string NormalFolder(const std::string& argument) {
    std::filesystem::path path(argument);
    if (path.is_relative()) {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (error) {
            return {};
        }
        path = current / path;
    }
    std::filesystem::path upTo;
    std::filesystem::path rest;
    for (const std::filesystem::path& part : path) {
        rest /= part;
        if (part == "..") {
            upTo /= rest;
            rest.clear();
        }
    }
    if (!upTo.empty()) {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::canonical(upTo, error);
        if (!error) {
            path = resolved / rest;
        }
    }
    std::string normal = path.lexically_normal().string();
    const std::size_t root = path.root_path().string().size();
    while (normal.size() > std::max<std::size_t>(root, 1) &&
           normal.back() == platform::kPathSeparator) {
        normal.pop_back();
    }
    return normal;
}

} // namespace quaverly::frontend
