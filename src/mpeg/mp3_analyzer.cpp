#include "mpeg/mp3_analyzer.h"

#include "mpeg/frame_header.h"

namespace quaverly {

CMp3Analyzer::CMp3Analyzer(platform::FileSystem& fileSystem) : m_sources{fileSystem} {}

CMp3Analyzer::~CMp3Analyzer() = default;

int CMp3Analyzer::IsValidHeader(const unsigned char* bytes) {
    m_dwHeader = mpeg::ReadBigEndian32(bytes);
    return mpeg::IsValidHeaderWord(m_dwHeader) ? 1 : 0;
}

float CMp3Analyzer::GetMpegVersion() const {
    return mpeg::MpegVersion(m_dwHeader);
}

std::int32_t CMp3Analyzer::GetSampleRate() const {
    return mpeg::SampleRate(m_dwHeader);
}

std::int32_t CMp3Analyzer::GetHeaderBitrate() const {
    return mpeg::HeaderBitrate(m_dwHeader);
}

std::int32_t CMp3Analyzer::GetFrameLength() const {
    return mpeg::FrameLength(m_dwHeader);
}

// The size of the file the last scan read, from the open file: a second status query could
// only disagree with what the scan saw.
std::int64_t CMp3Analyzer::QueryFileSize() const {
    return m_scan.size < 0 ? 0 : m_scan.size;
}

std::int64_t CMp3Analyzer::GetId3v2Size(const std::string& path) {
    return m_scanner.TagBytes(path, m_sources);
}

void CMp3Analyzer::Take(mpeg::FileScan scan) {
    m_scan = std::move(scan);
    if (m_scan.lastWord) {
        m_dwHeader = *m_scan.lastWord;
    }
    m_nFrameOffset = m_scan.frameOffset;
    if (m_scan.HasFrame()) {
        m_abProbe = m_scan.probe;
        m_bVbr = CheckXingHeader(m_abProbe.data());
    }
}

void CMp3Analyzer::FindFirstFrame(std::string path) {
    Take(m_scanner.Scan(path, m_sources));
    if (m_scan.readFailure) {
        throw *m_scan.readFailure;
    }
}

const mpeg::FileScan* CMp3Analyzer::ListFile(std::string path, const mpeg::ScanSources& sources) {
    if (!mpeg::IsMp3Name(path)) {
        return nullptr;
    }
    m_strPath = std::move(path);
    m_bVbr = 0;
    Take(m_scanner.Scan(m_strPath, sources));
    return &m_scan;
}

int CMp3Analyzer::CheckXingHeader(const unsigned char* probe) {
    const std::optional<std::int32_t> frames = mpeg::PageXingFrames(probe);
    m_nXingFrames = frames.value_or(-1);
    return frames ? 1 : 0;
}

std::int32_t CMp3Analyzer::GetFrameCount() const {
    return m_nXingFrames;
}

std::int32_t CMp3Analyzer::GetBitrate() const {
    return mpeg::PageBitrate(m_dwHeader, m_nFrameOffset, QueryFileSize(),
                             m_bVbr != 0 ? std::optional(GetFrameCount()) : std::nullopt);
}

} // namespace quaverly
