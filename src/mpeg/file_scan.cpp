#include "mpeg/file_scan.h"

#include "mpeg/byte_source.h"

#include "mpeg/cancel_points.h"
#include "mpeg/frame_header.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/xing_header.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quaverly::mpeg {

namespace {

using platform::FileError;
using platform::FileErrorCause;

constexpr std::array<std::string_view, 4> kMp3Extensions{".mp3", ".Mp3", ".mP3", ".MP3"};

bool IsEndOfFile(const FileError& error) {
    return error.Cause() == FileErrorCause::EndOfFile;
}

// Detaches the view from a file that is about to close, on every way out of a scan.
class ViewAttachment {
public:
    ViewAttachment(FileView& view, platform::InputFile& file, std::int64_t size) : m_view(view) {
        m_view.Attach(file, size);
    }
    ~ViewAttachment() { m_view.Detach(); }
    ViewAttachment(const ViewAttachment&) = delete;
    ViewAttachment& operator=(const ViewAttachment&) = delete;

private:
    FileView& m_view;
};

// The search for the first frame: every position from the start on is a candidate whose word
// is tested, and `word` is the word tested last, as the analyser's header member holds it.
class FrameSearch {
public:
    FrameSearch(FileView& view, const std::string& path,
                const TagSizeSource::CancelCheck& cancelled)
        : m_view(view), m_path(path), m_cancelled(cancelled) {}

    // The offset of the first frame confirmed by its follower, from `start` on, or -1.
    std::int64_t From(std::int64_t start, std::int64_t size);

    std::optional<std::uint32_t> word;

private:
    bool Test(std::uint32_t candidate) {
        word = candidate;
        return IsValidHeaderWord(candidate);
    }

    FileView& m_view;
    const std::string& m_path;
    const TagSizeSource::CancelCheck& m_cancelled;
};

// Most positions cannot start a header because their byte is not 0xFF: those fail the test on
// their first byte, so the search passes over them a window at a time, leaving in `word` the
// word that testing them one by one would have left.
std::int64_t FrameSearch::From(std::int64_t start, std::int64_t size) {
    std::int64_t position = start;
    CancelPoints points(m_path, m_cancelled, start);
    while (position < size) {
        points.Pass(position);
        if (!m_view.HoldsWordAt(position)) {
            // A hole of a sparse file holds only zeros, none of them a header's first byte: the
            // search goes on where data lies, or ends at the end of the file. Its last word
            // there is all zeros but for bytes that the next span's test overwrites.
            if (const std::int64_t data = m_view.DataFrom(position); data > position) {
                word = 0;
                position = data;
                continue;
            }
        }
        FileView::Span span{};
        try {
            span = m_view.WordsFrom(position);
        } catch (const FileError& error) {
            if (IsEndOfFile(error)) {
                return -1;
            }
            throw;
        }
        const auto* sync = static_cast<const unsigned char*>(
            std::memchr(span.data, 0xFF, static_cast<std::size_t>(span.count)));
        if (sync == nullptr) {
            word = ReadBigEndian32(span.data + span.count - 1);
            position += span.count;
            continue;
        }
        position += sync - span.data;
        const std::uint32_t candidate = ReadBigEndian32(sync);
        if (!Test(candidate)) {
            ++position;
            continue;
        }
        const std::int64_t next = position + FrameLength(candidate);
        if (next >= size) {
            return -1; // later candidates are not tried
        }
        bool confirmed = false;
        try {
            confirmed = Test(m_view.WordAt(next));
        } catch (const FileError& error) {
            if (!IsEndOfFile(error)) {
                throw;
            }
            confirmed = true; // the file ends where the follower would be
        }
        if (confirmed) {
            word = candidate; // the first frame's word, not its follower's
            return position;
        }
        ++position;
    }
    return -1;
}

} // namespace

bool IsMp3Name(std::string_view path) {
    const std::string_view last = path.size() < 4 ? path : path.substr(path.size() - 4);
    return std::find(kMp3Extensions.begin(), kMp3Extensions.end(), last) != kMp3Extensions.end();
}

std::string FileScan::Failure() const {
    if (readFailure) {
        return readFailure->Reason();
    }
    if (tagFailure) {
        return *tagFailure;
    }
    return openFailure ? openFailure->Reason() : std::string();
}

std::optional<std::int32_t> PageXingFrames(const unsigned char* probe) {
    // The page's own rule, not the header's: "Xing" alone, its flags unread.
    const auto xing = DecodeXingHeader(probe, 12);
    if (!xing || xing->info) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(xing->wordAfterFlags);
}

std::int32_t PageBitrate(std::uint32_t word, std::int64_t frameOffset, std::int64_t size,
                         std::optional<std::int32_t> xingFrames) {
    if (frameOffset < 0) {
        return 0; // no frame, no bitrate: the word last tested says nothing about the file
    }
    if (!xingFrames || *xingFrames <= 0) {
        return HeaderBitrate(word);
    }
    // The average over everything from the first frame on; the rounding to single precision is
    // part of the result.
    const auto bytes = static_cast<float>(size - frameOffset);
    const auto bytesPerFrame =
        static_cast<float>(static_cast<double>(bytes) / static_cast<double>(*xingFrames));
    const double average = static_cast<double>(SampleRate(word)) *
                           static_cast<double>(bytesPerFrame) /
                           (SamplesPerFrameOver8(word) * 1000.0);
    if (!(average < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (average <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(average);
}

std::int64_t FileScanner::PrependedBytes(const std::string& path, PrereadFile& file,
                                         const ScanSources& sources,
                                         std::optional<std::string>& tagFailure) {
    // The headers settle most files. A read that meets the end of a file that shrank leaves it
    // to the library, which takes such an end as the file's.
    std::optional<std::int64_t> settled;
    try {
        settled = PrependedBytesFromHeaders(m_view);
    } catch (const FileError& error) {
        if (!IsEndOfFile(error)) {
            throw;
        }
    }
    if (settled) {
        return *settled;
    }
    if (sources.tagSizes == nullptr) {
        return Id3v2PrependedBytes(m_view);
    }
    TagSize size = sources.tagSizes->PrependedBytes(path, file, m_view, sources.cancelled);
    tagFailure = std::move(size.failure);
    return size.bytes;
}

std::int64_t FileScanner::TagBytes(const std::string& path, const ScanSources& sources) {
    std::unique_ptr<PrereadFile> file;
    try {
        file = PrereadFile::From(sources.fileSystem.OpenForReading(path));
    } catch (const FileError&) {
        return 0;
    }
    const ViewAttachment attachment(m_view, *file, static_cast<std::int64_t>(file->Size()));
    std::optional<std::string> ignored;
    return PrependedBytes(path, *file, sources, ignored);
}

FileScan FileScanner::Scan(const std::string& path, const ScanSources& sources) {
    FileScan scan;
    // Opened before the tag is measured, so that the library reads the scan's own view of the
    // file. A file that cannot be opened has no frame either way.
    std::unique_ptr<PrereadFile> file;
    try {
        file = PrereadFile::From(sources.fileSystem.OpenForReading(path),
                                 {.tagEnd = sources.needs.tags});
    } catch (const FileError& error) {
        scan.openFailure.emplace(error);
        return scan;
    }
    scan.size = static_cast<std::int64_t>(file->Size());
    try {
        ScanOpenFile(path, *file, sources, scan);
    } catch (const FileError& error) {
        // The file could not be read to the end of the scan: it shows no bitrate.
        scan.frameOffset = -1;
        scan.xingFrames.reset();
        scan.bitrate = 0;
        scan.facts.reset();
        scan.tags.reset();
        scan.readFailure.emplace(error);
    }
    return scan;
}

void FileScanner::ScanOpenFile(const std::string& path, PrereadFile& file,
                               const ScanSources& sources, FileScan& scan) {
    const ViewAttachment attachment(m_view, file, scan.size);
    scan.tagBytes = PrependedBytes(path, file, sources, scan.tagFailure);
    ScanStream(path, sources, scan);
    if (sources.needs.tags) {
        // No ID3v1 tag fits behind audio that runs to the end of the file.
        FileViewSource source(m_view);
        scan.tags = ReadTagFields(source, scan.facts && scan.facts->audioToTheEnd ? 0 : scan.size);
    }
}

void FileScanner::ScanStream(const std::string& path, const ScanSources& sources, FileScan& scan) {
    FrameSearch search(m_view, path, sources.cancelled);
    try {
        scan.frameOffset = search.From(scan.tagBytes, scan.size);
    } catch (const FileError&) {
        scan.lastWord = search.word; // as far as the search came
        throw;
    }
    scan.lastWord = search.word;
    if (!scan.HasFrame()) {
        return;
    }
    const std::uint32_t word = *scan.lastWord;
    const std::int64_t probeAt = scan.frameOffset + XingProbeOffset(word);
    // Bytes past the end read as zero, never as an earlier file's.
    m_view.Copy(probeAt, scan.probe.data(), scan.probe.size());
    scan.xingFrames = PageXingFrames(scan.probe.data());
    scan.bitrate = PageBitrate(word, scan.frameOffset, scan.size, scan.xingFrames);
    if (!sources.needs.streamFacts) {
        return;
    }
    scan.facts = ReadStreamFacts(m_view, path, {word, scan.frameOffset, scan.tagBytes},
                                 sources.needs, sources.cancelled);
}

} // namespace quaverly::mpeg
