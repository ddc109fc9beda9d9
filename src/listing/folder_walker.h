#pragma once

#include "listing/run_report.h"
#include "platform/file_system.h"
#include "platform/last_error.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quaverly::listing {

// What a walk does with what it finds, in its order: the listing's rows, or, for a walk that
// only looks ahead of the real one, the files to read.
class WalkRows {
public:
    virtual ~WalkRows() = default;
    // A folder's header row, after its sub-folders' rows and before its files' rows.
    virtual void FolderRow(const std::string& folder) = 0;
    // A file of the folder last given; `listed` says that the search listed it as a regular
    // file.
    virtual void FileRow(const std::string& path, bool listed) = 0;
    // True once the rows can no longer be written: the walk ends at once.
    virtual bool Failed() const { return false; }
};

// What every level of one walk shares.
struct WalkContext {
    platform::FileSystem& fileSystem;
    RunReport& report;
    WalkRows& rows;
    // Device and inode of each folder on the path being walked, to stop at a link that leads
    // back into it.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> openFolders{};
    // Device and inode of every folder entered so far: each is listed once per run, so that
    // links that share a target cannot make the walk grow without end.
    std::set<std::pair<std::uint64_t, std::uint64_t>> enteredFolders{};
};

// What a walk came to: success, or the code of the first failure of the folder walked.
struct WalkResult {
    platform::ErrorCode code = platform::kErrorSuccess;
    bool Complete() const noexcept { return code == platform::kErrorSuccess; }
};

// Walks `folder` in post-order: each sub-folder first (when `recurse` is set), then the
// folder's header row, then a row for each file whose name matches `pattern`.
//
// A folder or entry that cannot be read is recorded in the report and the walk goes on with
// the rest. A failed write to the rows, or a cancel, ends the walk at once.
WalkResult WalkFolder(const std::string& folder, const std::string& pattern, bool recurse,
                      WalkContext& context);

} // namespace quaverly::listing
