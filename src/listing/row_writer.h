#pragma once

#include "listing/listing_format.h"
#include "listing/page_writer.h"
#include "listing/run_report.h"
#include "mpeg/mp3_analyzer.h"

#include <string>
#include <string_view>

namespace quaverly::listing {

// The two flags behind a file row's start. They outlive a run: the first row of a later run
// closes the last row of an earlier one's numbering, and the shading carries on from it.
struct RowShading {
    bool firstRowWritten = false;
    bool shade = false;
};

// Writes a file's row in `format`, shaded by turns, with the analyser's scan for an MP3 file.
void WriteFileRow(const std::string& path, PageWriter& page, CMp3Analyzer& analyzer,
                  RowShading& shading, RunReport& report, ListingFormat& format);

// Whether the analyser lists this file: its last four bytes are ".mp3" in any letter case.
bool IsMp3Name(std::string_view path);

// The part of a path after its last separator; the whole path when it holds none.
std::string_view FileNameFromPath(std::string_view path);

} // namespace quaverly::listing
