#include "listing/row_writer.h"

#include "platform/file_system.h"

#include <array>

namespace quaverly::listing {

namespace {

constexpr std::array<std::string_view, 4> kMp3Extensions{".mp3", ".Mp3", ".mP3", ".MP3"};

} // namespace

bool IsMp3Name(std::string_view path) {
    const std::string_view last = path.size() < 4 ? path : path.substr(path.size() - 4);
    for (std::string_view extension : kMp3Extensions) {
        if (last == extension) {
            return true;
        }
    }
    return false;
}

void WriteFileRow(const std::string& path, PageWriter& page, CMp3Analyzer& analyzer,
                  RowShading& shading, RunReport& report, ListingFormat& format) {
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
    std::string failure;
    if (analyzer.ListFile(path, report, &failure)) {
        row.mp3 = &analyzer;
        row.bitrate = analyzer.GetBitrate();
        if (!analyzer.OpenFailure()) {
            row.size = analyzer.QueryFileSize();
        }
    } else if (format.NeedsSizes()) {
        const platform::StatusResult status = analyzer.FileSystem().Status(path);
        if (status.Ok()) {
            row.size = static_cast<std::int64_t>(status.status.size);
        }
    }
    row.failure = failure;
    format.WriteFileRow(page, row);
    report.FileListed(path);
}

std::string_view FileNameFromPath(std::string_view path) {
    const std::size_t separator = path.rfind(platform::kPathSeparator);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

} // namespace quaverly::listing

namespace quaverly {

bool CMp3Analyzer::ListFile(std::string path, listing::RunReport& report, std::string* failure) {
    const auto record = [&](const std::string& reason) {
        if (failure != nullptr) {
            *failure = reason;
        }
    };
    if (!listing::IsMp3Name(path)) {
        return false;
    }
    m_strPath = std::move(path);
    m_bVbr = 0;
    try {
        FindFirstFrame(m_strPath);
        if (OpenFailure()) {
            report.RecordFailure(m_strPath, *OpenFailure());
            record(OpenFailure()->Reason());
        }
        if (TagFailure()) {
            report.RecordFailure(m_strPath, platform::kErrorInternal, *TagFailure());
            record(*TagFailure());
        }
    } catch (const platform::FileError& error) {
        // The file could not be read to the end of the scan: it shows no bitrate, and the run
        // says why.
        m_nFrameOffset = -1;
        m_bVbr = 0;
        report.RecordFailure(m_strPath, error);
        record(error.Reason());
    }
    return true;
}

} // namespace quaverly
