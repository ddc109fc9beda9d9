#pragma once

#include "listing/folder_rollups.h"
#include "listing/record_formats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quaverly::listing {

inline constexpr std::string_view kCatalogueFileName = "mp3_catalogue.html";

// The catalogue: one page, the page of res/catalogue, with the records' facts as its data (the
// layout is res/catalogue/README.md). It is written as the walk goes: what many files share
// (a stream profile, an album's tags) is written once and named by the files after it, and
// each folder's roll-up follows its files, from totals kept only for the folders on the way
// from the one written to the top. Its memory does not grow with the tree.
class CatalogueFormat final : public RecordFormat {
public:
    // `linkBase` is the folder listed as an address relative to the page (LinkBase); none
    // writes no links, and names the folder by its last name only.
    explicit CatalogueFormat(std::optional<std::string> linkBase = std::nullopt)
        : m_linkBase(std::move(linkBase)) {}

    void Begin(PageWriter& page, std::string_view folder) override;
    void FolderRow(PageWriter& page, std::string_view folder) override;
    void WriteFileRow(PageWriter& page, const FileRow& row) override;
    // Writes what the run met when it was cut short or could not read everything.
    void End(PageWriter& page, const RunReport& report) override;

private:
    void WriteHeader(PageWriter& page) override;
    void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) override;
    void WriteRollup(PageWriter& page, const std::optional<FolderDone>& done);

    std::optional<std::string> m_linkBase;
    std::string m_folder;
    FolderRollups m_rollups;
    // Stream profiles by their text, numbered in order; at most kMostProfiles are kept to be
    // named again, later ones are written anew for each file.
    std::unordered_map<std::string, std::int64_t> m_profiles;
    std::int64_t m_profileCount = 0;
    std::string m_profile;
    std::string m_albumTags; // the last album's tags written
    std::string m_record;
};

// What the catalogue of `folder` (as the walk was given it) starts its data with: the
// catalogue's mark and the folder. A file that holds it is that folder's catalogue.
std::string CatalogueHead(std::string_view folder);

// The file: URL of a full path, each name percent-encoded as UTF-8.
std::string FileUrl(std::string_view path);

// The address of `folder` from the folder that holds `pageFile` (both full paths), each name
// percent-encoded, ending in "/": "../Music/" say, or "" when the page is in it. Where the two
// share no root (two drives), the folder's file: URL.
std::string LinkBase(std::string_view pageFile, std::string_view folder);

} // namespace quaverly::listing
