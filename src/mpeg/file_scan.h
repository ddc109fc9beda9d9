#pragma once

#include "mpeg/file_view.h"
#include "mpeg/id3_tags.h"
#include "mpeg/preread_file.h"
#include "mpeg/stream_facts.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quaverly::mpeg {

// Whether the analyser lists this file: its last four bytes are ".mp3" in any letter case.
bool IsMp3Name(std::string_view path);

// Where one scan reads from, and what it is asked.
struct ScanSources {
    platform::FileSystem& fileSystem;
    // Where tag sizes come from when the tag headers do not settle them; null for the ID3 tag
    // library in this process. It must outlive the scan.
    TagSizeSource* tagSizes = nullptr;
    // Asked every kCancelCheckBytes of a scan and in the tag source's waits; true stops the
    // scan (a read failure of cause Cancelled). Empty: never asked.
    TagSizeSource::CancelCheck cancelled{};
    ScanNeeds needs{};
};

// Everything one scan of one file learnt: a value that a format, a cache or a test can hold.
struct FileScan {
    // The open file's size; -1 when it could not be opened.
    std::int64_t size = -1;
    // The ID3v2 bytes in front of the audio, where the search for a frame started.
    std::int64_t tagBytes = 0;
    // The first frame confirmed by its follower, or -1.
    std::int64_t frameOffset = -1;
    // The word last given to the header test: the first frame's when there is one; none when
    // the scan tested no word.
    std::optional<std::uint32_t> lastWord;
    // The page's reading of the first frame (its own rule: "Xing" alone, its flags unread):
    // the 12 bytes at the probe position, and the frame count when they begin with "Xing".
    std::array<unsigned char, 12> probe{};
    std::optional<std::int32_t> xingFrames;
    // The page's bitrate in kbit/s: the "Xing" average, else the first frame's; 0 without a
    // frame.
    std::int32_t bitrate = 0;
    // When asked for, and the scan found a frame.
    std::optional<StreamFacts> facts;
    // When asked for, and the file could be read.
    std::optional<TagFields> tags;

    // Why the file could not be opened.
    std::optional<platform::FileError> openFailure;
    // Why the tag size is only what the tag's header states: the ID3 tag library could not be
    // asked.
    std::optional<std::string> tagFailure;
    // Why the scan stopped before its end (a cancel among them): no frame, no bitrate.
    std::optional<platform::FileError> readFailure;

    bool HasFrame() const noexcept { return frameOffset >= 0; }
    // What the listing says went wrong, the last failure met; empty for none.
    std::string Failure() const;
};

// The page's reading of the 12 bytes at the "Xing" probe position: when they begin with "Xing"
// (not "Info"), the frame count is the word behind the flags, whatever the flags say.
std::optional<std::int32_t> PageXingFrames(const unsigned char* probe);

// The page's bitrate of a file of `size` bytes whose first frame, with header `word`, starts at
// `frameOffset`: the average over the bytes from that frame on when a "Xing" header counts
// `xingFrames` frames (more than 0), else the frame's own rate. Computed as the page always
// has, with its roundings to single precision.
std::int32_t PageBitrate(std::uint32_t word, std::int64_t frameOffset, std::int64_t size,
                         std::optional<std::int32_t> xingFrames);

// Scans files, one at a time, on one thread: opens each once (as a PrereadFile, read ahead
// already or read now), takes the tag size from the tag headers or the tag source, finds the
// first frame confirmed by its follower, and reads the headers behind it. Its window of bytes
// is kept from file to file.
class FileScanner {
public:
    FileScanner() = default;
    FileScanner(const FileScanner&) = delete;
    FileScanner& operator=(const FileScanner&) = delete;

    // Never throws a file's failure: the scan says it.
    FileScan Scan(const std::string& path, const ScanSources& sources);

    // The ID3v2 bytes in front of the audio of the file at `path`; 0 when it cannot be opened,
    // as the ID3 tag library answers. Throws platform::FileError when a read fails.
    std::int64_t TagBytes(const std::string& path, const ScanSources& sources);

private:
    std::int64_t PrependedBytes(const std::string& path, PrereadFile& file,
                                const ScanSources& sources, std::optional<std::string>& tagFailure);
    void ScanOpenFile(const std::string& path, PrereadFile& file, const ScanSources& sources,
                      FileScan& scan);
    // The first frame and what the stream says.
    void ScanStream(const std::string& path, const ScanSources& sources, FileScan& scan);

    FileView m_view;
};

} // namespace quaverly::mpeg
