#pragma once

#include "mpeg/file_scan.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quaverly {

// Finds the first audio frame of an MP3 file and works out the file's bitrate in kbit/s: the
// page's one analyser, over a FileScanner. Each scan's whole result is a mpeg::FileScan; the
// members below are the analyser's own reading of it, for its operations.
//
// The members carry over from one file to the next: a scan that finds no frame leaves the probe
// and the "Xing" count of an earlier file in place. One analyser serves one thread; the program
// keeps one for its whole life, and tests make their own.
class CMp3Analyzer {
public:
    explicit CMp3Analyzer(platform::FileSystem& fileSystem = platform::SystemFileSystem());
    virtual ~CMp3Analyzer();
    CMp3Analyzer(const CMp3Analyzer&) = delete;
    CMp3Analyzer& operator=(const CMp3Analyzer&) = delete;

    // Header word operations. Only IsValidHeader writes m_dwHeader; the rest read it.
    int IsValidHeader(const unsigned char* bytes);
    float GetMpegVersion() const;
    std::int32_t GetSampleRate() const;
    std::int32_t GetHeaderBitrate() const;
    std::int32_t GetFrameLength() const;

    // Stream scan, through the analyser's own sources (its file system, tag source and cancel
    // check). FindFirstFrame expects m_strPath to name the file and m_bVbr to be clear. It
    // leaves m_nFrameOffset at the first confirmed frame, or -1. A file it cannot open (a FIFO
    // or a device among them) has no frame, and OpenFailure() says why; a failed read throws
    // platform::FileError out of it. GetBitrate gives 0 after a scan without a frame. The file
    // is opened once; its size is the open file's (QueryFileSize gives it, 0 when it could not
    // be opened).
    std::int64_t GetId3v2Size(const std::string& path);
    std::int64_t QueryFileSize() const;
    void FindFirstFrame(std::string path);
    int CheckXingHeader(const unsigned char* probe);
    std::int32_t GetFrameCount() const;
    std::int32_t GetBitrate() const;

    // Per-file entry of the listing: scans an MP3 file through `sources`, a run's, and returns
    // what the scan learnt, which stays valid until the next scan; null for any other file,
    // whose row stays empty. A failed read ends in the scan's readFailure, with no frame.
    const mpeg::FileScan* ListFile(std::string path, const mpeg::ScanSources& sources);

    // The last scan, whole.
    const mpeg::FileScan& LastScan() const noexcept { return m_scan; }
    // Why the last scan could not open its file; empty when it could.
    const std::optional<platform::FileError>& OpenFailure() const noexcept {
        return m_scan.openFailure;
    }
    // Why the last scan's tag size is only what the tag's header states; empty when the ID3
    // tag library answered.
    const std::optional<std::string>& TagFailure() const noexcept { return m_scan.tagFailure; }

    // Where tag sizes come from instead of the ID3 tag library in this process, for the
    // analyser's own scans; null for the library. The source must outlive its use here.
    void SetTagSizeSource(mpeg::TagSizeSource* source) noexcept { m_sources.tagSizes = source; }
    // Asked now and then during the analyser's own long scans. Empty: never asked.
    void SetCancelCheck(std::function<bool()> check) { m_sources.cancelled = std::move(check); }

    static constexpr std::int64_t kCancelCheckBytes = mpeg::kCancelCheckBytes;

    std::int32_t m_nXingFrames = 0;
    std::int32_t m_bVbr = 0;
    std::array<unsigned char, 12> m_abProbe{};
    std::int64_t m_nFrameOffset = 0;
    std::string m_strPath;
    std::uint32_t m_dwHeader = 0;

private:
    // Takes the scan's result into the members, as the scan of the analyser's own would leave
    // them.
    void Take(mpeg::FileScan scan);

    mpeg::ScanSources m_sources;
    mpeg::FileScanner m_scanner;
    mpeg::FileScan m_scan;
};

} // namespace quaverly
