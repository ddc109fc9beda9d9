#include "listing/row_writer.h"

#include "listing/html_page.h"
#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <charconv>

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
                  RowShading& shading, RunReport& report) {
    std::string_view start;
    if (!shading.firstRowWritten) {
        start = kFirstFileRowStart;
        shading.firstRowWritten = true;
    } else {
        start = shading.shade ? kShadedFileRowStart : kPlainFileRowStart;
    }
    shading.shade = !shading.shade;
    page.Write(start);
    analyzer.ListFile(path, page, report);
    report.FileListed(path);
}

std::string_view FileNameFromPath(std::string_view path) {
    const std::size_t separator = path.rfind(platform::kPathSeparator);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

} // namespace quaverly::listing

namespace quaverly {

void CMp3Analyzer::ListFile(std::string path, listing::PageWriter& page,
                            listing::RunReport& report) {
    if (!listing::IsMp3Name(path)) {
        return;
    }
    m_strPath = std::move(path);
    page.WriteEscaped(listing::FileNameFromPath(m_strPath));
    m_bVbr = 0;
    try {
        FindFirstFrame(m_strPath);
        if (OpenFailure()) {
            report.RecordFailure(m_strPath, *OpenFailure());
        }
        if (TagFailure()) {
            report.RecordFailure(m_strPath, platform::kErrorInternal, *TagFailure());
        }
    } catch (const platform::FileError& error) {
        // The file could not be read to the end of the scan: it shows no bitrate, and the run
        // says why.
        m_nFrameOffset = -1;
        m_bVbr = 0;
        report.RecordFailure(m_strPath, error);
    }
    WriteBitrateCell(page);
}

std::int32_t CMp3Analyzer::WriteBitrateCell(listing::PageWriter& page) {
    const std::int32_t bitrate = GetBitrate();
    std::array<char, 32> cell{};
    constexpr std::string_view kBefore = "</td><td> ";
    constexpr std::string_view kAfter = " Kbs";
    char* out = std::copy(kBefore.begin(), kBefore.end(), cell.data());
    out = std::to_chars(out, cell.data() + cell.size(), bitrate).ptr;
    out = std::copy(kAfter.begin(), kAfter.end(), out);
    page.Write(std::string_view(cell.data(), static_cast<std::size_t>(out - cell.data())));
    return bitrate;
}

} // namespace quaverly
