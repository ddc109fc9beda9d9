#include "listing/row_writer.h"

#include "platform/file_system.h"

namespace quaverly::listing {

namespace {

// The report learns of a file's failures from its scan alone. A read that failed says all:
// the file has no bitrate, whatever its tag size was.
void RecordScanFailures(const std::string& path, const mpeg::FileScan& scan, RunReport& report) {
    if (scan.readFailure) {
        report.RecordFailure(path, *scan.readFailure);
        return;
    }
    if (scan.openFailure) {
        report.RecordFailure(path, *scan.openFailure);
    }
    if (scan.tagFailure) {
        report.RecordFailure(path, platform::kErrorInternal, *scan.tagFailure);
    }
}

} // namespace

void WriteFileRow(const std::string& path, PageWriter& page, CMp3Analyzer& analyzer,
                  const mpeg::ScanSources& sources, RowShading& shading, RunReport& report,
                  ListingFormat& format) {
    FileRow row;
    row.path = path;
    row.name = FileNameFromPath(path);
    if (!shading.firstRowWritten) {
        row.shade = RowShade::First;
        shading.firstRowWritten = true;
    } else {
        row.shade = shading.shade ? RowShade::Shaded : RowShade::Plain;
    }
    shading.shade = !shading.shade;
    if (const mpeg::FileScan* scan = analyzer.ListFile(path, sources)) {
        RecordScanFailures(path, *scan, report);
        row.mp3 = scan;
        row.size = scan->size;
    } else if (format.Needs().otherFileSizes) {
        const platform::StatusResult status = sources.fileSystem.Status(path);
        if (status.Ok()) {
            row.size = static_cast<std::int64_t>(status.status.size);
        }
    }
    format.WriteFileRow(page, row);
    report.FileListed(path);
}

std::string_view FileNameFromPath(std::string_view path) {
    const std::size_t separator = path.rfind(platform::kPathSeparator);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

} // namespace quaverly::listing
