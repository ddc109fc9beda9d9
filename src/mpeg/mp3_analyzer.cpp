#include "mpeg/mp3_analyzer.h"

#include "mpeg/frame_header.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/vbri_header.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace quaverly {

namespace {

using platform::FileError;
using platform::FileErrorCause;

bool IsEndOfFile(const FileError& error) {
    return error.Cause() == FileErrorCause::EndOfFile;
}

// A scan stopped by its cancel check, on its way to FindFirstFrame, which knows the path.
struct ScanCancelled {};

// Detaches the view from a file that is about to close, on every way out of a scan.
class ViewAttachment {
public:
    ViewAttachment(mpeg::FileView& view, platform::InputFile& file, std::int64_t size)
        : m_view(view) {
        m_view.Attach(file, size);
    }
    ~ViewAttachment() { m_view.Detach(); }
    ViewAttachment(const ViewAttachment&) = delete;
    ViewAttachment& operator=(const ViewAttachment&) = delete;

private:
    mpeg::FileView& m_view;
};

} // namespace

CMp3Analyzer::CMp3Analyzer(platform::FileSystem& fileSystem) : m_fileSystem(&fileSystem) {}

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
    return m_nScanSize;
}

std::int64_t CMp3Analyzer::PrependedBytes(const std::string& path, mpeg::PrereadFile& file) {
    // The headers settle most files. A read that meets the end of a file that shrank leaves it
    // to the library, which takes such an end as the file's.
    std::optional<std::int64_t> settled;
    try {
        settled = mpeg::PrependedBytesFromHeaders(m_view);
    } catch (const FileError& error) {
        if (!IsEndOfFile(error)) {
            throw;
        }
    }
    if (settled) {
        return *settled;
    }
    if (m_tagSizes == nullptr) {
        return mpeg::Id3v2PrependedBytes(m_view);
    }
    mpeg::TagSize size = m_tagSizes->PrependedBytes(path, file, m_view, m_cancelCheck);
    m_tagFailure = std::move(size.failure);
    return size.bytes;
}

std::unique_ptr<mpeg::PrereadFile> CMp3Analyzer::Open(const std::string& path) {
    return mpeg::PrereadFile::From(m_fileSystem->OpenForReading(path));
}

std::int64_t CMp3Analyzer::GetId3v2Size(const std::string& path) {
    std::unique_ptr<mpeg::PrereadFile> file;
    try {
        file = Open(path);
    } catch (const FileError&) {
        return 0; // as the library answers for a file it cannot open
    }
    const ViewAttachment attachment(m_view, *file, static_cast<std::int64_t>(file->Size()));
    return PrependedBytes(path, *file);
}

void CMp3Analyzer::FindFirstFrame(std::string path) {
    m_openFailure.reset();
    m_tagFailure.reset();
    m_nFrameOffset = -1;
    // Opened before the tag is measured, so that the library reads the scan's own view of the
    // file. A file that cannot be opened has no frame either way.
    std::unique_ptr<mpeg::PrereadFile> file;
    try {
        file = Open(path);
    } catch (const FileError& error) {
        m_openFailure.emplace(error);
        return;
    }
    const auto size = static_cast<std::int64_t>(file->Size());
    m_nScanSize = size;
    const ViewAttachment attachment(m_view, *file, size);
    const std::int64_t start = PrependedBytes(path, *file);
    m_nTagBytes = start;
    std::int64_t offset = -1;
    try {
        offset = ScanForFrame(start, size);
    } catch (const ScanCancelled&) {
        throw FileError(FileErrorCause::Cancelled, 0, "read", path);
    }
    if (offset >= 0) {
        // Bytes past the end read as zero, never as an earlier file's.
        m_abProbe.fill(0);
        m_view.Copy(offset + mpeg::XingProbeOffset(m_dwHeader), m_abProbe.data(), m_abProbe.size());
        m_bVbr = CheckXingHeader(m_abProbe.data());
        m_abXingFields.fill(0);
        m_view.Copy(offset + mpeg::XingProbeOffset(m_dwHeader), m_abXingFields.data(),
                    m_abXingFields.size());
        m_abVbri.fill(0);
        m_view.Copy(offset + static_cast<std::int64_t>(mpeg::kVbriOffset), m_abVbri.data(),
                    m_abVbri.size());
    }
    m_nFrameOffset = offset;
}

// Every position from `start` on is a candidate whose word is tested. Most positions cannot
// start a header because their byte is not 0xFF: those fail the test on their first byte, so the
// scan passes over them a window at a time, leaving in m_dwHeader the word that testing them one
// by one would have left.
std::int64_t CMp3Analyzer::ScanForFrame(std::int64_t start, std::int64_t size) {
    std::int64_t position = start;
    std::int64_t nextCheck = start + kCancelCheckBytes;
    while (position < size) {
        if (position >= nextCheck) {
            nextCheck = position + kCancelCheckBytes;
            if (m_cancelCheck && m_cancelCheck()) {
                throw ScanCancelled{};
            }
        }
        if (!m_view.HoldsWordAt(position)) {
            // A hole of a sparse file holds only zeros, none of them a header's first byte: the
            // scan goes on where data lies, or ends at the end of the file. Its last word there
            // is all zeros but for bytes that the next span's test overwrites.
            if (const std::int64_t data = m_view.DataFrom(position); data > position) {
                m_dwHeader = 0;
                position = data;
                continue;
            }
        }
        mpeg::FileView::Span span{};
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
            m_dwHeader = mpeg::ReadBigEndian32(span.data + span.count - 1);
            position += span.count;
            continue;
        }
        position += sync - span.data;
        std::array<unsigned char, 4> candidate{};
        std::memcpy(candidate.data(), sync, candidate.size());
        if (IsValidHeader(candidate.data()) == 0) {
            ++position;
            continue;
        }
        const std::int64_t next = position + GetFrameLength();
        if (next >= size) {
            return -1; // later candidates are not tried
        }
        bool confirmed = false;
        try {
            const std::uint32_t follower = m_view.WordAt(next);
            const std::array<unsigned char, 4> bytes = {static_cast<unsigned char>(follower >> 24),
                                                        static_cast<unsigned char>(follower >> 16),
                                                        static_cast<unsigned char>(follower >> 8),
                                                        static_cast<unsigned char>(follower)};
            confirmed = IsValidHeader(bytes.data()) != 0;
        } catch (const FileError& error) {
            if (!IsEndOfFile(error)) {
                throw;
            }
            confirmed = true; // the file ends where the follower would be
        }
        if (confirmed) {
            IsValidHeader(candidate.data()); // the first frame's word, not its follower's
            return position;
        }
        ++position;
    }
    return -1;
}

int CMp3Analyzer::CheckXingHeader(const unsigned char* probe) {
    if (std::memcmp(probe, "Xing", 4) != 0) {
        m_nXingFrames = -1;
        return 0;
    }
    m_nXingFrames = static_cast<std::int32_t>(mpeg::ReadBigEndian32(probe + 8));
    return 1;
}

std::int32_t CMp3Analyzer::GetFrameCount() const {
    return m_nXingFrames;
}

std::int32_t CMp3Analyzer::GetBitrate() const {
    if (m_nFrameOffset < 0) {
        return 0; // no frame, no bitrate: the word last tested says nothing about the file
    }
    if (m_bVbr == 0 || GetFrameCount() <= 0) {
        return GetHeaderBitrate();
    }
    // The average over everything from the first frame on; the rounding to single precision is
    // part of the result.
    const std::int64_t size = QueryFileSize();
    const auto bytes = static_cast<float>(size - m_nFrameOffset);
    const auto bytesPerFrame =
        static_cast<float>(static_cast<double>(bytes) / static_cast<double>(GetFrameCount()));
    const double average = static_cast<double>(GetSampleRate()) *
                           static_cast<double>(bytesPerFrame) /
                           (mpeg::SamplesPerFrameOver8(m_dwHeader) * 1000.0);
    if (!(average < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (average <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(average);
}

} // namespace quaverly

namespace quaverly {

std::optional<CMp3Analyzer::StreamFacts> CMp3Analyzer::Facts() const {
    if (m_nFrameOffset < 0) {
        return std::nullopt;
    }
    StreamFacts facts;
    facts.mpegVersion = mpeg::MpegVersion(m_dwHeader);
    facts.layer = 4 - static_cast<int>(mpeg::LayerField(m_dwHeader));
    facts.sampleRate = mpeg::SampleRate(m_dwHeader);
    facts.channelMode = mpeg::ChannelMode(m_dwHeader);
    facts.tagBytes = m_nTagBytes;
    std::int64_t bytes = m_nScanSize - m_nFrameOffset;
    std::int64_t frames = 0;
    const bool xing = std::memcmp(m_abXingFields.data(), "Xing", 4) == 0;
    if (xing || std::memcmp(m_abXingFields.data(), "Info", 4) == 0) {
        facts.vbrHeader = xing ? "Xing" : "Info";
        // Flags, then the fields they announce: frames (bit 0), bytes (bit 1).
        const std::uint32_t flags = mpeg::ReadBigEndian32(m_abXingFields.data() + 4);
        const unsigned char* field = m_abXingFields.data() + 8;
        if ((flags & 1U) != 0) {
            frames = mpeg::ReadBigEndian32(field);
            field += 4;
        }
        if ((flags & 2U) != 0 && mpeg::ReadBigEndian32(field) != 0) {
            bytes = mpeg::ReadBigEndian32(field);
        }
    } else if (const auto vbri = mpeg::DecodeVbriHeader(m_abVbri.data(), m_abVbri.size())) {
        facts.vbrHeader = "VBRI";
        frames = vbri->frames;
        if (vbri->bytes != 0) {
            bytes = vbri->bytes;
        }
    }
    const double samples = mpeg::SamplesPerFrameOver8(m_dwHeader) * 8.0;
    if (frames == 0) {
        // No header counts them: a constant bitrate's frames, each of the first one's length.
        const std::int32_t length = mpeg::FrameLength(m_dwHeader);
        frames = length > 0 ? bytes / length : 0;
        facts.averageBitrate = mpeg::HeaderBitrate(m_dwHeader);
    }
    facts.frames = frames;
    facts.seconds = facts.sampleRate > 0 ? static_cast<double>(frames) * samples /
                                               static_cast<double>(facts.sampleRate)
                                         : 0.0;
    if (facts.averageBitrate == 0 && facts.seconds > 0) {
        // A header may count few frames and many bytes: the rate is kept within the type.
        const double average = static_cast<double>(bytes) * 8.0 / facts.seconds / 1000.0 + 0.5;
        facts.averageBitrate = static_cast<std::int32_t>(
            std::min(average, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
    }
    return facts;
}

} // namespace quaverly
