#pragma once

#include "mpeg/encoder_tag.h"
#include "mpeg/file_view.h"
#include "mpeg/tag_size_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::mpeg {

// What a scan learns beyond what the page shows, asked by the formats that show it: a scan
// does no work that nobody asked for.
struct ScanNeeds {
    bool streamFacts = false; // StreamFacts from the first frame: version, layer, headers, tag
    bool playingTime = false; // the file's end read, and the frames counted where no header does
    bool tags = false;        // the tag fields
    bool verify = false;      // every frame walked and checked
};

// What is wrong with a file, as flags: each is a word of `health`.
enum HealthFlag : std::uint32_t {
    kCutShort = 1U << 0,         // the stream ends before its header's bytes, or in a frame
    kJunkBeforeAudio = 1U << 1,  // bytes neither tag, frame nor zeros before the first frame
    kVbrWithoutHeader = 1U << 2, // frames of differing rates, and no header counts them
    kEncoderTagCrc = 1U << 3,    // the encoder's tag fails its own CRC
    kJunkInside = 1U << 4,       // the frames lose their sync inside the stream
    kFrameCrc = 1U << 5,         // a protected frame fails its CRC
    kMusicCrc = 1U << 6,         // the encoder tag's CRC of the audio fails
};

// The words of the flags set in `health`, in the order above.
std::vector<std::string_view> HealthWords(std::uint32_t health);

// What the frames say beyond the page's bitrate.
struct StreamFacts {
    float mpegVersion = 0; // 1, 2 or 2.5
    int layer = 0;         // 1, 2 or 3
    std::int32_t sampleRate = 0;
    // The header's channel mode: 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel.
    std::uint32_t channelMode = 0;
    // The header in the first frame: "Xing", "Info", "VBRI", or "" for none.
    const char* vbrHeader = "";
    // The audio's frames: from the header when it counts them and the stream is whole, counted
    // where they were walked, else the frames a constant bitrate puts in the audio's bytes.
    std::int64_t frames = 0;
    // The playing time: the frames' samples less the encoder's delay and padding.
    double seconds = 0;
    // Where the playing time comes from: "Xing", "Info", "VBRI", "frames" (counted) or
    // "estimate" (a constant rate over the bytes).
    const char* durationSource = "estimate";
    // kbit/s over the audio's frames; the first frame's rate for an estimate.
    std::int32_t averageBitrate = 0;
    std::int64_t tagBytes = 0; // what the scan skipped as ID3v2 tags
    // The encoder's tag behind the "Xing"/"Info" header, and what it says.
    std::optional<EncoderTag> encoderTag;
    std::string bitrateMode;     // "CBR", "VBR", "ABR"; empty where unknown
    std::string encoderSettings; // "-V 2"; empty where unknown
    std::uint32_t health = 0;    // HealthFlag
    // Whether the audio runs to the end of the file, as the encoder's tag and header count it:
    // nothing, no tag, lies behind it, and its end was not read.
    bool audioToTheEnd = false;
    // Verifying scans only: the frames walked, and where the sync was first lost.
    std::optional<std::int64_t> verifiedFrames;
    std::optional<std::int64_t> junkInsideAt;
};

// Where the audio of a file begins: its first frame confirmed by its follower.
struct FirstFrame {
    std::uint32_t word = 0;
    std::int64_t offset = 0;
    std::int64_t tagBytes = 0; // the ID3v2 bytes before it, where the search began
};

// Where the audio ends: before the tags that may close a file (ID3v1 and its extension, APEv2,
// Lyrics3, an ID3v2.4 tag with a footer), in any order. Throws platform::FileError.
std::int64_t AudioEnd(FileView& view, std::int64_t audioStart);

// The facts of the stream that starts at `first`, reading what `needs` asks for. Throws
// platform::FileError when a read fails or `cancelled` says so.
StreamFacts ReadStreamFacts(FileView& view, const std::string& path, const FirstFrame& first,
                            const ScanNeeds& needs, const TagSizeSource::CancelCheck& cancelled);

} // namespace quaverly::mpeg
