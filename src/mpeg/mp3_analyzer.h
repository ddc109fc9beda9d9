#pragma once

#include "mpeg/file_view.h"
#include "mpeg/preread_file.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quaverly::listing {
class RunReport;
} // namespace quaverly::listing

namespace quaverly {

// Finds the first audio frame of an MP3 file and works out the file's bitrate in kbit/s.
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

    // Stream scan. FindFirstFrame expects m_strPath to name the file and m_bVbr to be clear.
    // It leaves m_nFrameOffset at the first confirmed frame, or -1. A file it cannot open (a
    // FIFO or a device among them) has no frame, and OpenFailure() says why; a failed read
    // throws platform::FileError out of it. GetBitrate gives 0 after a scan without a frame.
    // The file is opened once; its size is the open file's (QueryFileSize gives it).
    std::int64_t GetId3v2Size(const std::string& path);
    std::int64_t QueryFileSize() const;
    void FindFirstFrame(std::string path);
    int CheckXingHeader(const unsigned char* probe);
    std::int32_t GetFrameCount() const;
    std::int32_t GetBitrate() const;

    // Per-file entry of the listing: scans an MP3 file for its row, recording in `report` (and
    // in `failure`, when given) why it could not be read, and returns true; false for any other
    // file, whose row stays empty. Defined with the row writer in listing/.
    bool ListFile(std::string path, listing::RunReport& report, std::string* failure = nullptr);

    // What the frames of the last file scanned say beyond the page's bitrate; nullopt when the
    // scan found no frame.
    struct StreamFacts {
        float mpegVersion = 0; // 1, 2 or 2.5
        int layer = 0;         // 1, 2 or 3
        std::int32_t sampleRate = 0;
        // The header's channel mode: 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel.
        std::uint32_t channelMode = 0;
        // The header in the first frame: "Xing", "Info", "VBRI", or "" for none.
        const char* vbrHeader = "";
        // From the header when it counts them; otherwise the frames a constant bitrate puts in
        // the bytes from the first frame to the end of the file.
        std::int64_t frames = 0;
        double seconds = 0;
        // kbit/s over the whole stream: the header's bytes, or those from the first frame to
        // the end of the file, over the frames' duration; the first frame's rate when no
        // header counts the frames.
        std::int32_t averageBitrate = 0;
        std::int64_t tagBytes = 0; // what the scan skipped as ID3v2 tags
    };
    std::optional<StreamFacts> Facts() const;

    // Why the last scan could not open its file; empty when it could.
    const std::optional<platform::FileError>& OpenFailure() const noexcept { return m_openFailure; }
    // Why the last scan's tag size is only what the tag's header states; empty when the ID3
    // tag library answered.
    const std::optional<std::string>& TagFailure() const noexcept { return m_tagFailure; }

    // Where tag sizes come from instead of the ID3 tag library in this process; null for the
    // library. The source must outlive its use here.
    void SetTagSizeSource(mpeg::TagSizeSource* source) noexcept { m_tagSizes = source; }

    // Asked now and then during a long scan; when it answers true, the scan stops and throws
    // platform::FileError (cause Cancelled). Empty: never asked.
    void SetCancelCheck(std::function<bool()> check) { m_cancelCheck = std::move(check); }

    // How many bytes a scan reads between two questions of its cancel check.
    static constexpr std::int64_t kCancelCheckBytes = 16 * 1024 * 1024;

    // Where files are opened: a run may hand in one that has read them ahead. It must outlive
    // its use here.
    platform::FileSystem& FileSystem() const noexcept { return *m_fileSystem; }
    void UseFileSystem(platform::FileSystem& fileSystem) noexcept { m_fileSystem = &fileSystem; }

    std::int32_t m_nXingFrames = 0;
    std::int32_t m_bVbr = 0;
    std::array<unsigned char, 12> m_abProbe{};
    std::int64_t m_nFrameOffset = 0;
    std::string m_strPath;
    std::uint32_t m_dwHeader = 0;

private:
    // The ID3v2 bytes in front of the audio of `file`, which m_view shows.
    std::int64_t PrependedBytes(const std::string& path, mpeg::PrereadFile& file);
    // Opens `path` with its start and end read; throws platform::FileError.
    std::unique_ptr<mpeg::PrereadFile> Open(const std::string& path);
    // The offset of the first frame confirmed by its follower, from `start` on, or -1.
    std::int64_t ScanForFrame(std::int64_t start, std::int64_t size);

    platform::FileSystem* m_fileSystem;
    std::optional<platform::FileError> m_openFailure;
    std::optional<std::string> m_tagFailure;
    std::int64_t m_nScanSize = 0; // the size the last scan worked with
    std::int64_t m_nTagBytes = 0; // where the last scan started
    // The first frame's bytes where a "Xing" or "Info" header and a "VBRI" header would lie.
    std::array<unsigned char, 16> m_abXingFields{};
    std::array<unsigned char, 18> m_abVbri{};
    mpeg::TagSizeSource* m_tagSizes = nullptr;
    std::function<bool()> m_cancelCheck;
    mpeg::FileView m_view;
};

} // namespace quaverly
