#include "mpeg/stream_facts.h"

#include "mpeg/frame_header.h"
#include "mpeg/frame_walk.h"
#include "mpeg/id3v2_header.h"
#include "mpeg/preread_file.h"
#include "mpeg/vbri_header.h"
#include "mpeg/xing_header.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace quaverly::mpeg {

namespace {

constexpr std::array<std::string_view, 7> kHealthWords{
    "cut-short",   "junk-before-audio", "vbr-without-header", "lame-tag-crc",
    "junk-inside", "frame-crc",         "music-crc"};

// The frames a file's first reads hold, to tell a constant rate from a variable one.
constexpr std::int64_t kHeadFrames = 32;
// The bytes before the audio's end searched for its last frames: more than two of the
// longest frames, a frame and the follower that confirms it.
constexpr std::int64_t kTailBytes = 4 * 1024;
// The bytes of the first frame read for the headers in it.
constexpr std::size_t kFirstFrameBytes = 512;

std::uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The bytes of the tag that ends at `end`, at most `room`; 0 when none does.
std::int64_t ClosingTagBytes(FileView& view, std::int64_t end, std::int64_t room) {
    std::array<unsigned char, 32> tail{};
    if (room >= 128) {
        view.Copy(end - 128, tail.data(), 4);
        if (std::memcmp(tail.data(), "TAG", 3) == 0) {
            if (room >= 128 + 227) {
                view.Copy(end - 128 - 227, tail.data(), 4);
                if (std::memcmp(tail.data(), "TAG+", 4) == 0) {
                    return 128 + 227;
                }
            }
            return 128;
        }
    }
    if (room >= 32) {
        view.Copy(end - 32, tail.data(), 32);
        if (std::memcmp(tail.data(), "APETAGEX", 8) == 0) {
            // The size counts the items and this footer; a header may stand before them.
            const std::int64_t size = LittleEndian32(tail.data() + 12);
            const bool header = (LittleEndian32(tail.data() + 20) & 0x8000'0000U) != 0;
            const std::int64_t total = size + (header ? 32 : 0);
            if (size >= 32 && total <= room) {
                return total;
            }
        }
    }
    if (room >= 15) {
        view.Copy(end - 15, tail.data(), 15);
        if (std::memcmp(tail.data() + 6, "LYRICS200", 9) == 0) {
            std::int64_t size = 0;
            for (std::size_t i = 0; i < 6; ++i) {
                if (tail[i] < '0' || tail[i] > '9') {
                    return 0;
                }
                size = size * 10 + (tail[i] - '0');
            }
            return size + 15 <= room ? size + 15 : 0;
        }
    }
    if (room >= static_cast<std::int64_t>(Id3v2Header::kBytes)) {
        view.Copy(end - 10, tail.data(), 10);
        const auto footer = DecodeId3v2Footer(tail.data(), 10);
        if (footer && footer->Conforms() &&
            static_cast<std::int64_t>(footer->TotalSize()) <= room) {
            return static_cast<std::int64_t>(footer->TotalSize());
        }
    }
    return 0;
}

std::int32_t KbitPerSecond(double bytes, double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    // A header may count few frames and many bytes: the rate is kept within the type.
    const double rate = bytes * 8.0 / seconds / 1000.0 + 0.5;
    return static_cast<std::int32_t>(
        std::min(rate, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

} // namespace

std::vector<std::string_view> HealthWords(std::uint32_t health) {
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < kHealthWords.size(); ++i) {
        if ((health & (1U << i)) != 0) {
            words.push_back(kHealthWords[i]);
        }
    }
    return words;
}

std::int64_t AudioEnd(FileView& view, std::int64_t audioStart) {
    std::int64_t end = view.Size();
    // Each tag is passed once; a file cannot hold many of them.
    for (int round = 0; round < 8 && end > audioStart; ++round) {
        const std::int64_t bytes = ClosingTagBytes(view, end, end - audioStart);
        if (bytes == 0) {
            break;
        }
        end -= bytes;
    }
    return end;
}

StreamFacts ReadStreamFacts(FileView& view, const std::string& path, const FirstFrame& first,
                            const ScanNeeds& needs, const TagSizeSource::CancelCheck& cancelled) {
    const std::uint32_t word = first.word;
    StreamFacts facts;
    facts.mpegVersion = MpegVersion(word);
    facts.layer = 4 - static_cast<int>(LayerField(word));
    facts.sampleRate = SampleRate(word);
    facts.channelMode = ChannelMode(word);
    facts.tagBytes = first.tagBytes;

    // The headers in the first frame.
    const std::int64_t probeAt = first.offset + XingProbeOffset(word);
    std::array<unsigned char, kXingHeaderBytes> xingBytes{};
    view.Copy(probeAt, xingBytes.data(), xingBytes.size());
    std::array<unsigned char, kVbriFieldBytes> vbriBytes{};
    view.Copy(first.offset + static_cast<std::int64_t>(kVbriOffset), vbriBytes.data(),
              vbriBytes.size());
    const auto xing = DecodeXingHeader(xingBytes.data(), xingBytes.size());
    const auto vbri = xing ? std::nullopt : DecodeVbriHeader(vbriBytes.data(), vbriBytes.size());
    const std::int32_t length = FrameLength(word);
    std::int64_t headerFrames = 0;
    std::int64_t headerBytes = 0;
    if (xing) {
        facts.vbrHeader = xing->info ? "Info" : "Xing";
        headerFrames = xing->frames.value_or(0);
        headerBytes = xing->bytes.value_or(0);
        std::array<unsigned char, kFirstFrameBytes> frame{};
        const auto held = std::min<std::size_t>(frame.size(), static_cast<std::size_t>(length));
        view.Copy(first.offset, frame.data(), held);
        facts.encoderTag = DecodeEncoderTag(
            frame.data(), held, static_cast<std::size_t>(XingProbeOffset(word)) + xing->length);
    } else if (vbri) {
        facts.vbrHeader = "VBRI";
        headerFrames = vbri->frames;
        headerBytes = vbri->bytes;
    }
    const EncoderTag* tag =
        facts.encoderTag && facts.encoderTag->fieldsKnown ? &*facts.encoderTag : nullptr;
    if (tag != nullptr && headerBytes == 0) {
        headerBytes = tag->musicBytes;
    }
    if (tag != nullptr && !tag->tagCrcHolds) {
        facts.health |= kEncoderTagCrc;
    }
    if (first.offset > first.tagBytes &&
        !ZerosBetween(view, path, first.tagBytes, first.offset, cancelled)) {
        facts.health |= kJunkBeforeAudio;
    }
    // The frame that holds a header is no audio.
    const std::int64_t infoLength = xing || vbri ? length : 0;
    const std::int64_t firstAudio = first.offset + infoLength;
    const bool headerless = !xing && !vbri;

    std::int64_t audioEnd = view.Size();
    bool ratesDiffer = false;
    bool cut = false;
    std::optional<FrameRun> counted;
    const char* mode = tag != nullptr ? BitrateModeOf(*tag) : nullptr;
    // A stream whose header and encoder's tag count the bytes it takes to the end of the file
    // is whole as the encoder wrote it, and nothing lies behind it.
    facts.audioToTheEnd = tag != nullptr && headerBytes > 0 && tag->musicBytes == headerBytes &&
                          first.offset + headerBytes == view.Size();
    // The frames the first reads hold tell a constant rate from a variable one where no tag
    // says which.
    FrameRun head;
    if ((needs.playingTime || needs.verify) && (headerless || mode == nullptr)) {
        head = WalkFrames(view, path, word, firstAudio, view.Size(), {.maxFrames = kHeadFrames},
                          cancelled);
        ratesDiffer = head.ratesDiffer;
    }
    const bool endRead = (needs.playingTime && !facts.audioToTheEnd) || needs.verify;
    if (endRead) {
        // The end in one read, where the reading threads did not bring it along.
        view.Hold(std::max(firstAudio,
                           view.Size() - static_cast<std::int64_t>(PrereadFile::kEndBytes)));
        audioEnd = std::max(firstAudio, AudioEnd(view, firstAudio));
        const std::int64_t tailStart = std::max(firstAudio, audioEnd - kTailBytes);
        const std::int64_t tailAt =
            tailStart == firstAudio ? firstAudio
                                    : ResyncFrom(view, path, word, tailStart, audioEnd, cancelled);
        FrameRun tail;
        if (tailAt >= 0) {
            tail = WalkFrames(view, path, word, tailAt, audioEnd, {}, cancelled);
        }
        ratesDiffer = head.ratesDiffer || tail.ratesDiffer ||
                      (head.firstBitrate != 0 && tail.firstBitrate != 0 &&
                       head.firstBitrate != tail.firstBitrate);
        // The stream holds fewer bytes than its header counts, or than the frames it counts
        // take at the least rate.
        const std::uint32_t leastRate =
            (word & ~(kBitrateMask | kPaddingMask)) | (1U << kBitrateShift);
        const bool shortOfHeader =
            (headerBytes > 0 && audioEnd - first.offset < headerBytes) ||
            (headerFrames > 0 &&
             audioEnd - firstAudio <
                 headerFrames * static_cast<std::int64_t>(FrameLength(leastRate)));
        if (tail.lastFrameCut || shortOfHeader || (headerless && ratesDiffer) || needs.verify) {
            WalkOptions options{.verify = needs.verify};
            if (needs.verify && tag != nullptr && tag->musicBytes > infoLength &&
                first.offset + tag->musicBytes <= audioEnd) {
                options.musicBytes = tag->musicBytes - infoLength;
            }
            counted = WalkFrames(view, path, word, firstAudio, audioEnd, options, cancelled);
            ratesDiffer = ratesDiffer || counted->ratesDiffer;
            cut = tail.lastFrameCut || counted->lastFrameCut ||
                  (shortOfHeader && counted->frames < headerFrames);
            if (counted->junkAt) {
                facts.health |= kJunkInside;
                facts.junkInsideAt = counted->junkAt;
            }
            if (needs.verify) {
                facts.verifiedFrames = counted->frames;
                if (counted->crcFailures > 0) {
                    facts.health |= kFrameCrc;
                }
                if (options.musicBytes > 0 && counted->musicCrc != tag->musicCrc) {
                    facts.health |= kMusicCrc;
                }
            }
        }
    }
    if (cut) {
        facts.health |= kCutShort;
    }
    if (headerless && ratesDiffer) {
        facts.health |= kVbrWithoutHeader;
    }
    facts.bitrateMode = mode != nullptr ? mode : (ratesDiffer ? "VBR" : "CBR");
    if (tag != nullptr) {
        facts.encoderSettings = EncoderSettings(*tag, xing ? xing->quality : std::nullopt,
                                                HeaderBitrate(word), facts.sampleRate);
    }

    // The playing time: the frames' samples, less what the encoder's tag says it added at the
    // start and at the end (the end's only when the stream still has it).
    const double samplesPerFrame = SamplesPerFrameOver8(word) * 8.0;
    const double rate = facts.sampleRate;
    const auto playing = [&](std::int64_t frames, bool whole) {
        const double samples = static_cast<double>(frames) * samplesPerFrame;
        double trimmed = 0;
        if (tag != nullptr) {
            trimmed = tag->delay + (whole ? tag->padding : 0);
        }
        return rate > 0 ? (samples > trimmed ? samples - trimmed : samples) / rate : 0.0;
    };
    const bool useCount = counted && (cut || headerless || headerFrames == 0);
    if (useCount) {
        facts.frames = counted->frames;
        facts.durationSource = "frames";
        facts.seconds = playing(counted->frames, !cut);
        facts.averageBitrate = KbitPerSecond(
            static_cast<double>(counted->bytes),
            rate > 0 ? static_cast<double>(counted->frames) * samplesPerFrame / rate : 0.0);
    } else if (headerFrames > 0) {
        facts.frames = headerFrames;
        facts.durationSource = facts.vbrHeader;
        facts.seconds = playing(headerFrames, true);
        // Where the end was read, a header that counts more bytes than the stream holds is not
        // believed for them: the average is of what is there.
        std::int64_t bytes = headerBytes > 0 ? headerBytes - infoLength : audioEnd - firstAudio;
        if (endRead) {
            bytes = std::min(bytes, audioEnd - firstAudio);
        }
        facts.averageBitrate = KbitPerSecond(
            static_cast<double>(std::max<std::int64_t>(bytes, 0)),
            rate > 0 ? static_cast<double>(headerFrames) * samplesPerFrame / rate : 0.0);
    } else {
        // A constant rate over the audio's bytes.
        const std::int32_t bitrate = HeaderBitrate(word);
        const double bytes = static_cast<double>(audioEnd - firstAudio);
        facts.seconds = bitrate > 0 ? bytes * 8.0 / (bitrate * 1000.0) : 0.0;
        facts.frames =
            samplesPerFrame > 0 ? std::llround(facts.seconds * rate / samplesPerFrame) : 0;
        facts.averageBitrate = bitrate;
    }
    return facts;
}

} // namespace quaverly::mpeg
