#include "mpeg/frame_walk.h"

#include "mpeg/cancel_points.h"
#include "mpeg/crc16.h"
#include "mpeg/frame_header.h"
#include "platform/file_error.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quaverly::mpeg {

namespace {

using platform::FileError;
using platform::FileErrorCause;

constexpr std::uint32_t kProtectionBit = 0x0001'0000; // clear: a CRC follows the header

bool IsFrameOf(std::uint32_t word, std::uint32_t first) {
    return InStream(word, first) && IsValidHeaderWord(word) && FrameLength(word) > 4;
}

} // namespace

bool ZerosBetween(FileView& view, const std::string& path, std::int64_t from, std::int64_t limit,
                  const TagSizeSource::CancelCheck& cancelled) {
    std::int64_t position = from;
    CancelPoints points(path, cancelled, from);
    while (position < limit) {
        points.Pass(position);
        if (!view.HoldsWordAt(position)) {
            const std::int64_t data = view.DataFrom(position);
            if (data > position) {
                position = data;
                continue;
            }
        }
        const FileView::Span span = view.WordsFrom(position);
        if (span.count == 0) {
            return true;
        }
        const std::int64_t count = std::min({span.count, limit - position, kCancelCheckBytes});
        for (std::int64_t i = 0; i < count; ++i) {
            if (span.data[i] != 0) {
                return false;
            }
        }
        position += count;
    }
    return true;
}

std::int64_t ResyncFrom(FileView& view, const std::string& path, std::uint32_t first,
                        std::int64_t from, std::int64_t limit,
                        const TagSizeSource::CancelCheck& cancelled) {
    const auto sync = static_cast<unsigned char>(first >> 24);
    std::int64_t position = from;
    CancelPoints points(path, cancelled, from);
    while (position + 4 <= limit) {
        points.Pass(position);
        if (!view.HoldsWordAt(position)) {
            // A hole holds no sync byte.
            if (const std::int64_t data = view.DataFrom(position); data > position) {
                position = data;
                continue;
            }
        }
        const FileView::Span span = view.WordsFrom(position);
        if (span.count == 0) {
            return -1;
        }
        const std::int64_t count = std::min({span.count, limit - position, kCancelCheckBytes});
        const auto* found = static_cast<const unsigned char*>(
            std::memchr(span.data, sync, static_cast<std::size_t>(count)));
        if (found == nullptr) {
            position += count;
            continue;
        }
        position += found - span.data;
        const std::uint32_t word = ReadBigEndian32(found);
        if (IsFrameOf(word, first)) {
            const std::int64_t next = position + FrameLength(word);
            if (next == limit || (next + 4 <= limit && IsFrameOf(view.WordAt(next), first))) {
                return position;
            }
        }
        ++position;
    }
    return -1;
}

namespace {

// The bits after the CRC that it protects, for the layers whose count the header settles.
std::size_t ProtectedBits(std::uint32_t word) {
    const bool mono = ChannelMode(word) == kSingleChannel;
    switch (LayerField(word)) {
    case kLayer3:
        if (VersionField(word) == kVersion1) {
            return (mono ? 17 : 32) * 8;
        }
        return (mono ? 9 : 17) * 8;
    case kLayer1: {
        if (mono) {
            return 4 * 32;
        }
        // Joint stereo codes the subbands from the bound on once for both channels.
        const std::uint32_t bound = ChannelMode(word) == 1 ? 4 * (((word >> 4) & 3) + 1) : 32;
        return 4 * (2 * bound + (32 - bound));
    }
    default:
        return 0;
    }
}

} // namespace

bool InStream(std::uint32_t word, std::uint32_t first) {
    return (word & kStreamMask) == (first & kStreamMask);
}

bool FrameCrcFails(FileView& view, std::int64_t offset, std::uint32_t word) {
    const std::size_t bits = ProtectedBits(word);
    if ((word & kProtectionBit) != 0 || bits == 0) {
        return false;
    }
    std::array<unsigned char, 6 + 32> bytes{};
    const std::size_t count = 6 + (bits + 7) / 8;
    view.Copy(offset, bytes.data(), count);
    std::uint16_t crc = FrameCrc16(bytes.data() + 2, 16, 0xFFFF);
    crc = FrameCrc16(bytes.data() + 6, bits, crc);
    return crc != static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
}

FrameRun WalkFrames(FileView& view, const std::string& path, std::uint32_t first, std::int64_t from,
                    std::int64_t limit, const WalkOptions& options,
                    const TagSizeSource::CancelCheck& cancelled) {
    FrameRun run;
    std::int64_t position = from;
    CancelPoints points(path, cancelled, from);
    std::int32_t rate = 0;
    std::int64_t musicLeft = options.musicBytes;
    const auto checkMusic = [&](std::int64_t at, std::int64_t length) {
        const std::int64_t end = at + std::min(length, musicLeft);
        musicLeft -= end - at;
        while (at < end) {
            const FileView::Span span = view.WordsFrom(at);
            if (span.count == 0) {
                return;
            }
            const std::int64_t count = std::min(span.count, end - at);
            run.musicCrc = TagCrc16(span.data, static_cast<std::size_t>(count), run.musicCrc);
            at += count;
        }
    };
    while (position < limit) {
        if (options.maxFrames >= 0 && run.frames >= options.maxFrames) {
            break;
        }
        points.Pass(position);
        const std::uint32_t word = position + 4 <= limit ? view.WordAt(position) : 0;
        if (IsFrameOf(word, first)) {
            const std::int32_t length = FrameLength(word);
            if (position + length > limit) {
                run.lastFrameCut = true;
                break;
            }
            ++run.frames;
            run.bytes += length;
            const std::int32_t frameRate = HeaderBitrate(word);
            run.ratesDiffer = run.ratesDiffer || (rate != 0 && frameRate != rate);
            run.firstBitrate = run.frames == 1 ? frameRate : run.firstBitrate;
            rate = frameRate;
            if (options.verify) {
                if (FrameCrcFails(view, position, word)) {
                    ++run.crcFailures;
                    run.firstCrcFailure = run.firstCrcFailure.value_or(position);
                }
                checkMusic(position, length);
            }
            position += length;
            continue;
        }
        if (ZerosBetween(view, path, position, limit, cancelled)) {
            break; // padding to the end
        }
        if (position + 4 > limit) {
            run.lastFrameCut = true; // a few bytes of a header
            break;
        }
        const std::int64_t found = ResyncFrom(view, path, first, position + 1, limit, cancelled);
        if (found < 0) {
            break; // bytes that hold no frame up to the end
        }
        run.junkAt = run.junkAt.value_or(position);
        position = found;
    }
    return run;
}

} // namespace quaverly::mpeg
