#pragma once

#include "listing/listing_format.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::listing {

// What a folder and those below it hold.
struct Rollup {
    std::int64_t files = 0;
    std::int64_t mp3Files = 0;
    std::int64_t bytes = 0; // stops at the most an int64 holds
    double seconds = 0;
    std::int32_t lowestBitrate = 0; // 0: none
    double bitrateSeconds = 0;      // the average bitrates weighted by playing time
    double timedSeconds = 0;        // the playing time they were weighted by
    // Files with a failure, a health finding, or no audio at all.
    std::int64_t findings = 0;
    // Files by encoder and by bitrate mode; at most kMostNames names each, the rest counted
    // together under kOthers.
    std::map<std::string, std::int64_t, std::less<>> encoders;
    std::map<std::string, std::int64_t, std::less<>> modes;

    void Add(const Rollup& other);
    void AddFile(const FileRow& row);
    // The average bitrate over the playing time, rounded; none without a timed file.
    std::optional<std::int64_t> AverageBitrate() const;

    static constexpr std::size_t kMostNames = 32;
    static constexpr std::string_view kOthers = "\xE2\x80\xA6"; // U+2026, no encoder's tag
};

// A folder whose files have all been written, with what it and those below it hold.
struct FolderDone {
    std::string path; // as the walk spells it
    Rollup rollup;
};

// Keeps the roll-ups of the walk's folders as the rows come, in the page's order (a folder
// after the folders below it, then its files), from totals kept only for the folders between
// the one written and the top: memory grows with the tree's depth, not with the tree.
class FolderRollups {
public:
    // A folder's row: the folder before it is done. Folders the walk never wrote (it could not
    // list them) pass what they hold on up to theirs.
    std::optional<FolderDone> StartFolder(std::string_view folder);
    void AddFile(const FileRow& row);
    // After the last row: the last folder, done.
    std::optional<FolderDone> End();

private:
    std::optional<FolderDone> Finish();
    void AddToParent(const std::string& path, Rollup rollup);

    std::optional<FolderDone> m_current;
    std::vector<FolderDone> m_pending; // folders above, nearest last
};

// Sizes as sparse files state them (7 EiB each) add up past what a number holds: the sum stops
// at the most it can hold.
std::int64_t AddBytes(std::int64_t sum, std::int64_t bytes);

} // namespace quaverly::listing
