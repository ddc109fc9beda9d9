#include "frontend/catalogue_place.h"

#include "frontend/given_folder.h"
#include "listing/catalogue_format.h"
#include "platform/file_error.h"
#include "platform/last_error.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace quaverly::frontend {

namespace {

// Room for the Quaverly folder's path and " (100).html" within a Windows path.
constexpr std::size_t kLongestName = 120;

// The names Windows keeps for devices, whatever follows them after a dot; COM and LPT take a
// digit.
constexpr std::array<std::string_view, 4> kDeviceNames{"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> kNumberedDeviceNames{"COM", "LPT"};

bool IsSeparator(char c) {
    return c == '/' || c == platform::kPathSeparator;
}

bool IsDeviceName(std::string_view stem) {
    std::string upper(stem);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto numbered = [&](std::string_view device) {
        return upper.size() == 4 && upper.starts_with(device) &&
               std::isdigit(static_cast<unsigned char>(upper[3])) != 0;
    };
    return std::find(kDeviceNames.begin(), kDeviceNames.end(), upper) != kDeviceNames.end() ||
           std::any_of(kNumberedDeviceNames.begin(), kNumberedDeviceNames.end(), numbered);
}

// Why `path` is no folder to put catalogues in after the attempt to make it, or nothing.
std::optional<std::string> WhyNoFolderMade(platform::FileSystem& fileSystem,
                                           const std::string& path) {
    const auto isFolder = [&] {
        const platform::StatusResult status = fileSystem.Status(path);
        return status.Ok() && status.status.kind == platform::FileKind::Directory;
    };
    if (isFolder()) {
        return std::nullopt;
    }
    const int error = fileSystem.CreateFolder(path);
    // Made meanwhile by another run: as good as made here.
    if (error == 0 || isFolder()) {
        return std::nullopt;
    }
    if (fileSystem.Status(path).Ok()) {
        return std::string("Something that is not a folder has its name");
    }
    return platform::DescribeSystemError(error);
}

bool HoldsHead(platform::FileSystem& fileSystem, const std::string& path, const std::string& head) {
    try {
        return platform::ReadFileStart(fileSystem, path, kCatalogueHeadRead).find(head) !=
               std::string::npos;
    } catch (const platform::FileError&) {
        return false;
    }
}

RunMessage Problem(std::string text) {
    return {std::move(text), MessageIcon::Exclamation, {}};
}

} // namespace

std::string CatalogueFileName(std::string_view folder, int copy) {
    while (folder.size() > 1 && IsSeparator(folder.back())) {
        folder.remove_suffix(1);
    }
    std::size_t start = folder.size();
    while (start > 0 && !IsSeparator(folder[start - 1])) {
        --start;
    }
    std::string name = platform::ShownPath(folder.substr(start));
    const bool given = !name.empty();
    if (name.size() == 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
        name.resize(1); // a drive
    }
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    if (name.size() > kLongestName) {
        // Not inside a character of UTF-8.
        std::size_t cut = kLongestName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0U) == 0x80U) {
            --cut;
        }
        name.resize(cut);
    }
    // Windows drops a trailing dot or space; a leading dot hides the file elsewhere.
    const std::size_t first = name.find_first_not_of(". ");
    const std::size_t last = name.find_last_not_of(". ");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.empty()) {
        name = given ? "folder" : "root";
    }
    // "NUL.html" and "con .x.html" name a device on Windows, whatever follows the dot.
    const std::size_t stem = std::min(name.find('.'), name.size());
    const std::size_t stemEnd = name.find_last_not_of(' ', stem - 1) + 1;
    if (IsDeviceName(std::string_view(name).substr(0, stemEnd))) {
        name.insert(stemEnd, 1, '_');
    }
    if (copy > 1) {
        name += " (" + std::to_string(copy) + ")";
    }
    return name + ".html";
}

CataloguePlace PlaceCatalogue(platform::FileSystem& fileSystem, const std::string& documents,
                              const std::string& folder) {
    std::string catalogues = documents;
    if (catalogues.empty() || !IsSeparator(catalogues.back())) {
        catalogues += platform::kPathSeparator;
    }
    catalogues += kCatalogueFolderName;
    if (const auto why = WhyNoFolderMade(fileSystem, catalogues)) {
        return {{},
                Problem("Cannot make the folder for the catalogue\n" + ShownInBox(catalogues) +
                        "\n" + *why)};
    }
    const std::string head = listing::CatalogueHead(folder);
    for (int copy = 1; copy <= kMostCatalogueCopies; ++copy) {
        std::string path = catalogues + platform::kPathSeparator + CatalogueFileName(folder, copy);
        const platform::StatusResult status = fileSystem.Status(path);
        if (!status.Ok()) {
            if (platform::ErrorCodeFromSystemError(status.error) == platform::kErrorFileNotFound) {
                return {std::move(path), std::nullopt};
            }
            continue;
        }
        if (status.status.kind == platform::FileKind::Regular &&
            HoldsHead(fileSystem, path, head)) {
            return {std::move(path), std::nullopt};
        }
    }
    return {{},
            Problem("Cannot make the catalogue of\n" + ShownInBox(folder) + "\n" +
                    ShownInBox(catalogues) + " holds " + std::to_string(kMostCatalogueCopies) +
                    " files of its name already.")};
}

} // namespace quaverly::frontend
