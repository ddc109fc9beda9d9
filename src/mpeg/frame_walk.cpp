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

// FrameLength of every header by its bits 9 to 20 (padding, sample rate, bitrate, protection,
// layer, version), made from FrameLength itself: a walk asks it for every frame.
constexpr std::array<std::int16_t, 4096> MakeFrameLengths() {
    std::array<std::int16_t, 4096> lengths{};
    for (std::uint32_t index = 0; index < lengths.size(); ++index) {
        const std::uint32_t word = kSyncMask | (index << 9);
        lengths[index] = IsValidHeaderWord(word) ? static_cast<std::int16_t>(FrameLength(word)) : 0;
    }
    return lengths;
}
constexpr std::array<std::int16_t, 4096> kFrameLengths = MakeFrameLengths();

std::int32_t WalkedFrameLength(std::uint32_t word) {
    return kFrameLengths[(word >> 9) & 0xFFF];
}

// The stream's fields equal the first frame's, which is valid: the bitrate and the emphasis
// are what is left to check.
bool IsFrameOf(std::uint32_t word, std::uint32_t first) {
    return InStream(word, first) && (word & kEmphasisMask) != kReservedEmphasis &&
           WalkedFrameLength(word) > 4;
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
            const std::int64_t next = position + WalkedFrameLength(word);
            if (next == limit || (next + 4 <= limit && IsFrameOf(view.WordAt(next), first))) {
                return position;
            }
        }
        ++position;
    }
    return -1;
}

namespace {

// The Layer II bit allocation tables' bits per subband, in runs: (subbands, bits). Which table a
// frame uses follows from its rate per channel and its sample rate (ISO/IEC 11172-3, B.2; the
// lower sample rates of 13818-3 have one of their own).
struct AllocationRun {
    std::uint32_t subbands;
    std::uint32_t bits;
};
constexpr std::array<AllocationRun, 4> kAllocationA{{{11, 4}, {12, 3}, {4, 2}, {0, 0}}};  // 27
constexpr std::array<AllocationRun, 4> kAllocationB{{{11, 4}, {12, 3}, {7, 2}, {0, 0}}};  // 30
constexpr std::array<AllocationRun, 4> kAllocationC{{{2, 4}, {6, 3}, {0, 0}, {0, 0}}};    // 8
constexpr std::array<AllocationRun, 4> kAllocationD{{{2, 4}, {10, 3}, {0, 0}, {0, 0}}};   // 12
constexpr std::array<AllocationRun, 4> kAllocationLow{{{4, 4}, {7, 3}, {19, 2}, {0, 0}}}; // 30

const std::array<AllocationRun, 4>& LayerIIAllocation(std::uint32_t word) {
    if (VersionField(word) != kVersion1) {
        return kAllocationLow;
    }
    const std::int32_t rate = SampleRate(word);
    const std::int32_t perChannel =
        HeaderBitrate(word) / (ChannelMode(word) == kSingleChannel ? 1 : 2);
    if ((rate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) {
        return kAllocationA;
    }
    if (rate != 48000 && perChannel >= 96) {
        return kAllocationB;
    }
    if (rate != 32000 && perChannel <= 48) {
        return kAllocationC;
    }
    return kAllocationD;
}

// Reads bits from the bytes behind a frame's CRC, high bit first.
class BitReader {
public:
    explicit BitReader(const unsigned char* bytes) : m_bytes(bytes) {}
    std::uint32_t Take(std::uint32_t count) {
        std::uint32_t value = 0;
        for (std::uint32_t i = 0; i < count; ++i, ++m_bit) {
            value = (value << 1) | ((m_bytes[m_bit / 8] >> (7 - m_bit % 8)) & 1U);
        }
        return value;
    }
    std::size_t Position() const noexcept { return m_bit; }

private:
    const unsigned char* m_bytes;
    std::size_t m_bit = 0;
};

// The bits behind the CRC that it protects: Layer III its side information, Layers I and II
// their bit allocation, and Layer II the scale factor selection of each subband that has bits.
// `data` holds at least kMostProtectedBytes.
std::size_t ProtectedBits(std::uint32_t word, const unsigned char* data) {
    const bool mono = ChannelMode(word) == kSingleChannel;
    const std::uint32_t channels = mono ? 1 : 2;
    // Joint stereo codes the subbands from the bound on once for both channels.
    const std::uint32_t bound = ChannelMode(word) == 1 ? 4 * (((word >> 4) & 3) + 1) : 32;
    switch (LayerField(word)) {
    case kLayer3:
        if (VersionField(word) == kVersion1) {
            return (mono ? 17 : 32) * 8;
        }
        return (mono ? 9 : 17) * 8;
    case kLayer1:
        return 4 * (channels * bound + (32 - bound));
    case kLayer2: {
        std::array<std::array<std::uint32_t, 32>, 2> allocation{};
        BitReader reader(data);
        std::uint32_t subband = 0;
        for (const AllocationRun& run : LayerIIAllocation(word)) {
            for (std::uint32_t i = 0; i < run.subbands; ++i, ++subband) {
                for (std::uint32_t channel = 0; channel < channels; ++channel) {
                    allocation[channel][subband] =
                        subband < bound || channel == 0 ? reader.Take(run.bits)
                                                        : allocation[0][subband];
                }
            }
        }
        std::size_t bits = reader.Position();
        for (std::uint32_t band = 0; band < subband; ++band) {
            for (std::uint32_t channel = 0; channel < channels; ++channel) {
                bits += allocation[channel][band] != 0 ? 2U : 0U;
            }
        }
        return bits;
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
    if ((word & kProtectionBit) != 0) {
        return false;
    }
    // At most Layer II's: 30 subbands of 4 bits for two channels, and their selections.
    constexpr std::size_t kMostProtectedBytes = (30 * 4 * 2 + 30 * 2 * 2 + 7) / 8;
    std::array<unsigned char, 6 + kMostProtectedBytes> bytes{};
    view.Copy(offset, bytes.data(), bytes.size());
    const std::size_t bits = ProtectedBits(word, bytes.data() + 6);
    if (bits == 0) {
        return false;
    }
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
    // The audio's CRC is taken over runs of frames that follow each other, each run while the
    // view's window still holds it: a few calls a window, not one a frame.
    std::int64_t musicLeft = options.musicBytes;
    std::int64_t runStart = 0;
    std::int64_t runEnd = 0;
    const auto checkRun = [&] {
        while (runStart < runEnd) {
            const FileView::Span span = view.WordsFrom(runStart);
            if (span.count == 0) {
                break;
            }
            const std::int64_t count = std::min(span.count, runEnd - runStart);
            run.musicCrc = TagCrc16(span.data, static_cast<std::size_t>(count), run.musicCrc);
            runStart += count;
        }
        runStart = runEnd = 0;
    };
    const auto addToRun = [&](std::int64_t at, std::int64_t length) {
        const std::int64_t taken = std::min(length, musicLeft);
        musicLeft -= taken;
        if (taken == 0) {
            return;
        }
        if (at != runEnd) {
            checkRun();
            runStart = at;
        }
        runEnd = at + taken;
    };
    while (position < limit) {
        if (options.maxFrames >= 0 && run.frames >= options.maxFrames) {
            break;
        }
        points.Pass(position);
        if (runEnd > runStart && !view.HoldsWordAt(position)) {
            checkRun(); // before the window moves on
        }
        const std::uint32_t word = position + 4 <= limit ? view.WordAt(position) : 0;
        if (IsFrameOf(word, first)) {
            const std::int32_t length = WalkedFrameLength(word);
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
                addToRun(position, length);
            }
            position += length;
            continue;
        }
        checkRun();
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
    checkRun();
    return run;
}

} // namespace quaverly::mpeg
