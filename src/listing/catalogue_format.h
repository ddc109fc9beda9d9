#pragma once

#include "listing/record_formats.h"

#include <cstdint>
#include <map>
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
    // What a folder and those below it hold.
    struct Rollup {
        std::int64_t files = 0;
        std::int64_t mp3Files = 0;
        std::int64_t bytes = 0;
        double seconds = 0;
        std::int32_t lowestBitrate = 0; // 0: none yet
        double bitrateSeconds = 0;      // the average bitrates weighted by playing time
        double timedSeconds = 0;        // the playing time they were weighted by
        std::int64_t findings = 0;
        std::map<std::string, std::int64_t, std::less<>> encoders;
        std::map<std::string, std::int64_t, std::less<>> modes;
        void Add(const Rollup& other);
    };
    // A folder not yet written whose folders below have been: its path as the walk spells it,
    // and what they hold.
    struct Pending {
        std::string path;
        Rollup below;
    };

    void WriteHeader(PageWriter& page) override;
    void WriteRecord(PageWriter& page, const Field* fields, std::size_t count) override;
    void EndFolder(PageWriter& page);
    void AddToParent(const std::string& path, Rollup rollup);

    std::optional<std::string> m_linkBase;
    std::string m_folder;
    // The folder whose files are being written, and what it holds with those below it.
    std::optional<Pending> m_current;
    // Folders above, nearest last.
    std::vector<Pending> m_pending;
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
