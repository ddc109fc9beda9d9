#pragma once

#include "listing/page_writer.h"
#include "listing/row_writer.h"
#include "listing/run_report.h"
#include "mpeg/mp3_analyzer.h"
#include "platform/file_system.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quaverly::listing {

// What every level of one walk shares.
struct WalkContext {
    platform::FileSystem& fileSystem;
    PageWriter& page;
    CMp3Analyzer& analyzer;
    RowShading& shading;
    RunReport& report;
    ListingFormat& format;
    // What a walk that only looks ahead of the real one does with each file, in place of its
    // row; `listed` says that the search listed it as a regular file.
    std::function<void(const std::string& path, bool listed)> visitFile{};
    // Device and inode of each folder on the path being walked, to stop at a link that leads
    // back into it.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> openFolders{};
    // Device and inode of every folder entered so far: each is listed once per run, so that
    // links that share a target cannot make the walk grow without end.
    std::set<std::pair<std::uint64_t, std::uint64_t>> enteredFolders{};
};

// Walks `folder` in post-order: each sub-folder first (when `recurse` is set), then the
// folder's header row, then a row for each file whose name matches `pattern`.
//
// A folder or entry that cannot be read is recorded in the report and the walk goes on with
// the rest. Returns true when everything was read; otherwise false, with the first failure's
// code left as the thread's last-error value. A failed write to the page, or a cancel, ends
// the walk at once.
bool WalkFolder(const std::string& folder, const std::string& pattern, bool recurse,
                WalkContext& context);

} // namespace quaverly::listing
