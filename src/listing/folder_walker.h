#pragma once

#include "listing/page_writer.h"
#include "listing/row_writer.h"
#include "listing/run_report.h"
#include "mpeg/mp3_analyzer.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_system.h"

#include <cstdint>
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
    // Told of each folder's MP3 files before their rows are written, so that their tags can be
    // read ahead, on other cores.
    mpeg::TagSizeSource* lookahead = nullptr;
    // Device and inode of each folder on the path being walked, to stop at a link that leads
    // back into it.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> openFolders{};
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
