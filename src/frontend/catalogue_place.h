#pragma once

#include "frontend/run_messages.h"
#include "platform/file_system.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quaverly::frontend {

// The folder in the documents folder that catalogues made from the desktop go in.
inline constexpr std::string_view kCatalogueFolderName = "Quaverly";
// How much of a file is read to find whose catalogue it is: the page before the data is a few
// tens of KB.
inline constexpr std::size_t kCatalogueHeadRead = 256 * 1024;
// Names tried for one folder's catalogue: "Music.html", "Music (2).html" and on to this one.
inline constexpr int kMostCatalogueCopies = 100;

// The catalogue's file name for `folder`: its last name, made a name that both systems take
// (separators, control characters and `<>:"/\|?*` turned into "_", no dot or space at either
// end, no device name such as CON), "root" for the root and the letter for a drive, with
// " (copy)" after it from the second copy on, and ".html".
std::string CatalogueFileName(std::string_view folder, int copy = 1);

// Where the catalogue of `folder` goes, or the box that says why it cannot go anywhere.
struct CataloguePlace {
    std::string path;
    std::optional<RunMessage> problem;
};

// The Quaverly folder in `documents`, made when missing, and in it the first of the folder's
// names that is free or holds this folder's catalogue already, which a new one replaces. A
// file that holds another folder's catalogue, or no catalogue, or cannot be read is passed
// over: nothing of anyone's is ever written over.
CataloguePlace PlaceCatalogue(platform::FileSystem& fileSystem, const std::string& documents,
                              const std::string& folder);

} // namespace quaverly::frontend
