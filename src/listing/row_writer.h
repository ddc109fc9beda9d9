#pragma once

#include "listing/folder_walker.h"
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

// Writes a file's row in `format`, shaded by turns, with the analyser's scan of an MP3 file
// through `sources`; the scan's failures go to the report.
void WriteFileRow(const std::string& path, PageWriter& page, CMp3Analyzer& analyzer,
                  const mpeg::ScanSources& sources, RowShading& shading, RunReport& report,
                  ListingFormat& format);

// The rows of a run's walk, written in its format to its page.
class PageRows final : public WalkRows {
public:
    PageRows(PageWriter& page, ListingFormat& format, CMp3Analyzer& analyzer,
             const mpeg::ScanSources& sources, RowShading& shading, RunReport& report)
        : m_page(page), m_format(format), m_analyzer(analyzer), m_sources(sources),
          m_shading(shading), m_report(report) {}

    void FolderRow(const std::string& folder) override { m_format.FolderRow(m_page, folder); }
    void FileRow(const std::string& path, bool /*listed*/) override {
        WriteFileRow(path, m_page, m_analyzer, m_sources, m_shading, m_report, m_format);
    }
    bool Failed() const override { return m_page.Failed(); }

private:
    PageWriter& m_page;
    ListingFormat& m_format;
    CMp3Analyzer& m_analyzer;
    const mpeg::ScanSources& m_sources;
    RowShading& m_shading;
    RunReport& m_report;
};

// The part of a path after its last separator; the whole path when it holds none.
std::string_view FileNameFromPath(std::string_view path);

} // namespace quaverly::listing
