#pragma once

#include "listing/page_writer.h"
#include "listing/run_report.h"
#include "mpeg/file_scan.h"

#include <cstdint>
#include <string_view>

namespace quaverly::listing {

// Where a file row stands in the shading that alternates from row to row.
enum class RowShade {
    First,  // the first file row since the program started
    Plain,  // a later row, not shaded
    Shaded, // a later row, shaded
};

// What one file row is, before a format turns it into bytes.
struct FileRow {
    std::string_view path; // as the walk spells it
    std::string_view name; // what follows its last separator
    RowShade shade = RowShade::First;
    // For a file that is an MP3 file by name: its scan, with the page's bitrate and why it could
    // not be read. Null for any other file.
    const mpeg::FileScan* mp3 = nullptr;
    // The file's size, or -1 when not known.
    std::int64_t size = -1;
};

// What a format needs to know of the files beyond what the page shows; each costs work that
// the run does only when a format asks for it.
struct FormatNeeds {
    mpeg::ScanNeeds scan{};
    // The size of a file that is not an MP3 file, which costs a status query; an MP3 file's
    // size is known from its scan.
    bool otherFileSizes = false;
};

// Turns what a run produces into the bytes of a listing: the walk's folder rows and file rows
// between a start and an end. The run, the walk and the rows decide what is listed and in which
// order; a format decides only how it is written. The page of mp3_listing.html is HtmlFormat.
class ListingFormat {
public:
    virtual ~ListingFormat() = default;

    // Before the first row: `folder` is the folder listed, as it was chosen.
    virtual void Begin(PageWriter& page, std::string_view folder) = 0;
    // A folder's header row, written after its sub-folders' rows and before its files' rows.
    virtual void FolderRow(PageWriter& page, std::string_view folder) = 0;
    virtual void WriteFileRow(PageWriter& page, const FileRow& row) = 0;
    // After the last row, whether the walk ended, failed or was cancelled: `report` says what
    // it met.
    virtual void End(PageWriter& page, const RunReport& report) = 0;
    // What its rows need: the page's, nothing more.
    virtual FormatNeeds Needs() const { return {}; }
};

} // namespace quaverly::listing
