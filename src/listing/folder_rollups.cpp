#include "listing/folder_rollups.h"

#include "platform/file_system.h"

#include <limits>

namespace quaverly::listing {

namespace {

// Counts `count` of `name`, under kOthers once kMostNames are counted.
void Count(std::map<std::string, std::int64_t, std::less<>>& counts, std::string_view name,
           std::int64_t count) {
    auto found = counts.find(name);
    if (found == counts.end()) {
        found = counts
                    .try_emplace(
                        std::string(counts.size() < Rollup::kMostNames ? name : Rollup::kOthers))
                    .first;
    }
    found->second += count;
}

bool IsBelow(std::string_view folder, std::string_view path) {
    return path.size() > folder.size() && path.starts_with(folder) &&
           (path[folder.size()] == platform::kPathSeparator ||
            folder.back() == platform::kPathSeparator);
}

std::string ParentOf(std::string_view path) {
    const std::size_t separator = path.rfind(platform::kPathSeparator);
    if (separator == std::string_view::npos) {
        return {};
    }
    // A root keeps its separator: the parent of "/music" is "/".
    return std::string(path.substr(0, separator == 0 ? 1 : separator));
}

} // namespace

std::int64_t AddBytes(std::int64_t sum, std::int64_t bytes) {
    return sum > std::numeric_limits<std::int64_t>::max() - bytes
               ? std::numeric_limits<std::int64_t>::max()
               : sum + bytes;
}

void Rollup::Add(const Rollup& other) {
    files += other.files;
    mp3Files += other.mp3Files;
    bytes = AddBytes(bytes, other.bytes);
    seconds += other.seconds;
    if (other.lowestBitrate > 0 && (lowestBitrate == 0 || other.lowestBitrate < lowestBitrate)) {
        lowestBitrate = other.lowestBitrate;
    }
    bitrateSeconds += other.bitrateSeconds;
    timedSeconds += other.timedSeconds;
    findings += other.findings;
    for (const auto& [name, count] : other.encoders) {
        Count(encoders, name, count);
    }
    for (const auto& [name, count] : other.modes) {
        Count(modes, name, count);
    }
}

void Rollup::AddFile(const FileRow& row) {
    ++files;
    if (row.size > 0) {
        bytes = AddBytes(bytes, row.size);
    }
    const mpeg::FileScan* scan = row.mp3;
    if (scan == nullptr) {
        return;
    }
    ++mp3Files;
    if (scan->bitrate > 0 && (lowestBitrate == 0 || scan->bitrate < lowestBitrate)) {
        lowestBitrate = scan->bitrate;
    }
    // No frame found is a finding too: a file named .mp3 with no audio in it.
    bool finding = !scan->Failure().empty() || !scan->facts;
    std::string_view encoder;
    std::string_view mode;
    if (const auto& facts = scan->facts) {
        seconds += facts->seconds;
        if (facts->seconds > 0 && facts->averageBitrate > 0) {
            bitrateSeconds += facts->averageBitrate * facts->seconds;
            timedSeconds += facts->seconds;
        }
        finding = finding || facts->health != 0;
        if (facts->encoderTag) {
            encoder = facts->encoderTag->encoder;
        }
        mode = facts->bitrateMode;
    }
    findings += finding ? 1 : 0;
    Count(encoders, encoder, 1);
    Count(modes, mode, 1);
}

std::optional<std::int64_t> Rollup::AverageBitrate() const {
    if (timedSeconds <= 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(bitrateSeconds / timedSeconds + 0.5);
}

void FolderRollups::AddToParent(const std::string& path, Rollup rollup) {
    std::string parent = ParentOf(path);
    if (parent.empty() || parent == path) {
        return; // the top of the tree
    }
    if (!m_pending.empty() && m_pending.back().path == parent) {
        m_pending.back().rollup.Add(rollup);
    } else {
        m_pending.push_back({std::move(parent), std::move(rollup)});
    }
}

std::optional<FolderDone> FolderRollups::Finish() {
    std::optional<FolderDone> done = std::move(m_current);
    m_current.reset();
    if (done) {
        AddToParent(done->path, done->rollup);
    }
    return done;
}

std::optional<FolderDone> FolderRollups::End() {
    std::optional<FolderDone> done = Finish();
    m_pending.clear();
    return done;
}

std::optional<FolderDone> FolderRollups::StartFolder(std::string_view folder) {
    std::optional<FolderDone> done = Finish();
    while (!m_pending.empty() && m_pending.back().path != folder &&
           !IsBelow(m_pending.back().path, folder)) {
        FolderDone skipped = std::move(m_pending.back());
        m_pending.pop_back();
        AddToParent(skipped.path, std::move(skipped.rollup));
    }
    m_current = FolderDone{std::string(folder), Rollup{}};
    if (!m_pending.empty() && m_pending.back().path == folder) {
        m_current->rollup = std::move(m_pending.back().rollup);
        m_pending.pop_back();
    }
    return done;
}

void FolderRollups::AddFile(const FileRow& row) {
    if (m_current) {
        m_current->rollup.AddFile(row);
    }
}

} // namespace quaverly::listing
