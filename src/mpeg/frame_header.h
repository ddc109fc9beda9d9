#pragma once

#include <array>
#include <cstdint>

// Decoding of the 4-byte header that starts every MPEG audio frame. Pure functions of the header
// word; the analyser wraps them around the word it last tested.
//
// Layout of the word (bit 31 first):
//
//   AAAAAAAA AAABBCCD EEEEFFGH IIJJKLMM
//
//   A sync (all ones)     B version          C layer            D protection (unused)
//   E bitrate index       F sample-rate index G padding          H private (unused)
//   I channel mode        J mode extension   K, L flags (unused) M emphasis
namespace quaverly::mpeg {

inline constexpr std::uint32_t kSyncMask = 0xFFE0'0000;       // 11111111 11100000 ........ ........
inline constexpr std::uint32_t kVersionMask = 0x0018'0000;    // ........ ...11... ........ ........
inline constexpr std::uint32_t kVersionLowBit = 0x0008'0000;  // ........ ....1... ........ ........
inline constexpr std::uint32_t kLayerMask = 0x0006'0000;      // ........ .....11. ........ ........
inline constexpr std::uint32_t kBitrateMask = 0x0000'F000;    // ........ ........ 1111.... ........
inline constexpr std::uint32_t kSampleRateMask = 0x0000'0C00; // ........ ........ ....11.. ........
inline constexpr std::uint32_t kPaddingMask = 0x0000'0200;    // ........ ........ ......1. ........
inline constexpr std::uint32_t kChannelMask = 0x0000'00C0;    // ........ ........ ........ 11......
inline constexpr std::uint32_t kEmphasisMask = 0x0000'0003;   // ........ ........ ........ ......11

inline constexpr int kVersionShift = 19;
inline constexpr int kLayerShift = 17;
inline constexpr int kBitrateShift = 12;
inline constexpr int kSampleRateShift = 10;
inline constexpr int kChannelShift = 6;

// Field values.
inline constexpr std::uint32_t kVersionReserved = 1; // 01
inline constexpr std::uint32_t kVersion1 = 3;        // 11; 10 is MPEG 2, 00 MPEG 2.5
inline constexpr std::uint32_t kLayerReserved = 0;   // 00
inline constexpr std::uint32_t kLayer3 = 1;          // 01
inline constexpr std::uint32_t kLayer2 = 2;          // 10
inline constexpr std::uint32_t kLayer1 = 3;          // 11
inline constexpr std::uint32_t kFreeFormatBitrate = 0;
inline constexpr std::uint32_t kBadBitrate = 15;
inline constexpr std::uint32_t kReservedSampleRate = 3;
inline constexpr std::uint32_t kSingleChannel = 3;    // 11
inline constexpr std::uint32_t kReservedEmphasis = 2; // 10

// Version value by version field.
inline constexpr std::array<float, 4> kVersionValues = {
    2.5F, // 00 MPEG 2.5
    0.0F, // 01 reserved
    2.0F, // 10 MPEG 2
    1.0F, // 11 MPEG 1
};

// Sample rate in Hz by 3 * version field + sample-rate index.
inline constexpr std::array<std::int32_t, 12> kSampleRates = {
    11025, 12000, 8000,  // 00 MPEG 2.5
    0,     0,     0,     // 01 reserved
    22050, 24000, 16000, // 10 MPEG 2
    44100, 48000, 32000, // 11 MPEG 1
};

// Bitrate in kbit/s by row (3 * version bit 19 + layer field) and bitrate index. Because only bit
// 19 picks the row, the reserved version 01 reads the MPEG 1 rows.
inline constexpr std::array<std::array<std::int32_t, 16>, 7> kBitrates = {{
    // bit 19 clear, layer 00: no such layer
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // bit 19 clear, layer III (MPEG 2 and 2.5)
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    // bit 19 clear, layer II (MPEG 2 and 2.5)
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    // bit 19 clear, layer I (MPEG 2 and 2.5); also bit 19 set with layer 00
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    // bit 19 set, layer III (MPEG 1)
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    // bit 19 set, layer II (MPEG 1)
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    // bit 19 set, layer I (MPEG 1)
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
}};

constexpr std::uint32_t ReadBigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

constexpr std::uint32_t VersionField(std::uint32_t word) {
    return (word & kVersionMask) >> kVersionShift;
}
constexpr std::uint32_t LayerField(std::uint32_t word) {
    return (word & kLayerMask) >> kLayerShift;
}
constexpr std::uint32_t BitrateIndex(std::uint32_t word) {
    return (word & kBitrateMask) >> kBitrateShift;
}
constexpr std::uint32_t SampleRateIndex(std::uint32_t word) {
    return (word & kSampleRateMask) >> kSampleRateShift;
}
constexpr std::uint32_t PaddingBit(std::uint32_t word) {
    return (word & kPaddingMask) != 0 ? 1 : 0;
}
constexpr std::uint32_t ChannelMode(std::uint32_t word) {
    return (word & kChannelMask) >> kChannelShift;
}

// Whether the word heads a frame this program can measure: the sync is complete and no field
// holds a reserved or unusable value. Nothing else is checked.
constexpr bool IsValidHeaderWord(std::uint32_t word) {
    return (word & kSyncMask) == kSyncMask && VersionField(word) != kVersionReserved &&
           LayerField(word) != kLayerReserved && BitrateIndex(word) != kFreeFormatBitrate &&
           BitrateIndex(word) != kBadBitrate && SampleRateIndex(word) != kReservedSampleRate &&
           (word & kEmphasisMask) != kReservedEmphasis;
}

constexpr float MpegVersion(std::uint32_t word) {
    return kVersionValues[VersionField(word)];
}

// 0 for the reserved version, and for the reserved sample-rate index, which has no table entry.
constexpr std::int32_t SampleRate(std::uint32_t word) {
    const std::uint32_t index = SampleRateIndex(word);
    if (index == kReservedSampleRate) {
        return 0;
    }
    return kSampleRates[3 * VersionField(word) + index];
}

constexpr std::int32_t HeaderBitrate(std::uint32_t word) {
    const std::uint32_t row = 3 * ((word & kVersionLowBit) >> kVersionShift) + LayerField(word);
    return kBitrates[row][BitrateIndex(word)];
}

// Length in bytes of the frame the word heads, padding included, as ISO/IEC 11172-3 and 13818-3
// define it: Layer I counts 4-byte slots, the other layers single bytes, and MPEG 2 and 2.5
// Layer III frames hold half as many samples. The numerator is an exact integer in double
// precision, so a length that is a whole number comes out whole. 0 when the sample rate is.
constexpr std::int32_t FrameLength(std::uint32_t word) {
    const std::int32_t rate = SampleRate(word);
    if (rate == 0) {
        return 0;
    }
    const double bitsPerSecond = 1000.0 * HeaderBitrate(word);
    const auto padding = static_cast<std::int32_t>(PaddingBit(word));
    switch (LayerField(word)) {
    case kLayer1:
        return (static_cast<std::int32_t>(12.0 * bitsPerSecond / rate) + padding) * 4;
    case kLayer2:
        return static_cast<std::int32_t>(144.0 * bitsPerSecond / rate) + padding;
    default: {
        const double samplesOver8 = VersionField(word) == kVersion1 ? 144.0 : 72.0;
        return static_cast<std::int32_t>(samplesOver8 * bitsPerSecond / rate) + padding;
    }
    }
}

// A frame's samples divided by 8: bytes per frame = this * bitrate / sample rate.
constexpr double SamplesPerFrameOver8(std::uint32_t word) {
    switch (LayerField(word)) {
    case kLayer1:
        return 48.0; // 384 samples
    case kLayer2:
        return 144.0; // 1152 samples
    default:
        return VersionField(word) == kVersion1 ? 144.0 : 72.0; // 1152 or 576 samples
    }
}

// Where a "Xing" header would start, counted from the frame's first byte: behind the header and
// the Layer III side information, whose size depends on the version and the channel count.
constexpr std::int64_t XingProbeOffset(std::uint32_t word) {
    const bool mono = ChannelMode(word) == kSingleChannel;
    if (VersionField(word) == kVersion1) {
        return mono ? 21 : 36;
    }
    return mono ? 13 : 21;
}

} // namespace quaverly::mpeg
