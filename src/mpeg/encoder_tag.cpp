#include "mpeg/encoder_tag.h"

#include "mpeg/crc16.h"
#include "mpeg/frame_header.h"

#include <array>
#include <string_view>

namespace quaverly::mpeg {

namespace {

constexpr std::size_t kVersionBytes = 9;
constexpr std::size_t kTagCrcAt = 34;

bool Printable(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

// The named presets of the encoder's own numbering.
constexpr std::array<std::pair<std::int32_t, std::string_view>, 8> kNamedPresets{{
    {1000, "r3mix"},
    {1001, "standard"},
    {1002, "extreme"},
    {1003, "insane"},
    {1004, "fast standard"},
    {1005, "fast extreme"},
    {1006, "medium"},
    {1007, "fast medium"},
}};

// Whether the encoder of this version writes the fields: from 3.90 on, and the encoders of the
// libraries that write its layout ("Lavc", "Lavf").
bool WritesFields(std::string_view version) {
    if (version.starts_with("Lav")) {
        return true;
    }
    if (!version.starts_with("LAME") || version.size() < 8 || version[5] != '.') {
        return false;
    }
    const char major = version[4];
    const char minor = version[6];
    return (major == '3' && minor == '9') || (major == '3' && minor == '1') || major > '3';
}

enum class Mode { Unknown, Constant, Average, Variable };

Mode ModeOf(int method) {
    switch (method) {
    case 1:
    case 8:
        return Mode::Constant;
    case 2:
    case 9:
        return Mode::Average;
    case 3:
    case 4:
    case 5:
    case 6:
        return Mode::Variable;
    default:
        return Mode::Unknown;
    }
}

} // namespace

std::optional<EncoderTag> DecodeEncoderTag(const unsigned char* frame, std::size_t count,
                                           std::size_t at) {
    if (at > count || count - at < kEncoderTagBytes) {
        return std::nullopt;
    }
    const unsigned char* bytes = frame + at;
    // The version: printable characters, then spaces or zeros to its 9 bytes.
    std::size_t length = 0;
    while (length < kVersionBytes && Printable(bytes[length])) {
        ++length;
    }
    for (std::size_t i = length; i < kVersionBytes; ++i) {
        if (bytes[i] != 0 && bytes[i] != ' ') {
            return std::nullopt;
        }
    }
    std::string_view version(reinterpret_cast<const char*>(bytes), length);
    while (!version.empty() && version.back() == ' ') {
        version.remove_suffix(1);
    }
    if (version.size() < 4) {
        return std::nullopt;
    }
    EncoderTag tag;
    tag.encoder = std::string(version);
    const auto stored = static_cast<std::uint16_t>((bytes[kTagCrcAt] << 8) | bytes[kTagCrcAt + 1]);
    tag.tagCrcHolds = TagCrc16(frame, at + kTagCrcAt) == stored;
    tag.fieldsKnown = tag.tagCrcHolds || WritesFields(version);
    if (!tag.fieldsKnown) {
        return tag;
    }
    tag.revision = bytes[9] >> 4;
    tag.method = bytes[9] & 0x0F;
    tag.lowpassHz = bytes[10] * 100;
    tag.bitrateKbps = bytes[20];
    tag.delay = (bytes[21] << 4) | (bytes[22] >> 4);
    tag.padding = ((bytes[22] & 0x0F) << 8) | bytes[23];
    tag.preset = ((bytes[26] & 0x07) << 8) | bytes[27];
    tag.musicBytes = ReadBigEndian32(bytes + 28);
    tag.musicCrc = static_cast<std::uint16_t>((bytes[32] << 8) | bytes[33]);
    return tag;
}

const char* BitrateModeOf(const EncoderTag& tag) {
    switch (ModeOf(tag.method)) {
    case Mode::Constant:
        return "CBR";
    case Mode::Average:
        return "ABR";
    case Mode::Variable:
        return "VBR";
    case Mode::Unknown:
        break;
    }
    return nullptr;
}

std::string EncoderSettings(const EncoderTag& tag, std::optional<std::uint32_t> xingQuality,
                            std::int32_t frameBitrate, std::int32_t sampleRate) {
    for (const auto& [number, name] : kNamedPresets) {
        if (tag.preset == number) {
            return "--preset " + std::string(name);
        }
    }
    switch (ModeOf(tag.method)) {
    case Mode::Constant: {
        // The byte holds the rate up to 255; the frames say a higher one.
        const std::int32_t rate = tag.bitrateKbps < 255 ? tag.bitrateKbps : frameBitrate;
        return rate > 0 ? "-b " + std::to_string(rate) : std::string();
    }
    case Mode::Average: {
        const std::int32_t rate =
            tag.preset >= 8 && tag.preset <= 320 ? tag.preset : tag.bitrateKbps;
        return rate > 0 ? "--abr " + std::to_string(rate) : std::string();
    }
    case Mode::Variable:
        if (sampleRate != 44100 && sampleRate != 48000) {
            return {};
        }
        // -V n is stored as preset 500 - 10 n; before presets were stored, the quality was
        // 100 - 10 n - q, q from 0 to 9.
        if (tag.preset >= 410 && tag.preset <= 500 && tag.preset % 10 == 0) {
            return "-V " + std::to_string((500 - tag.preset) / 10);
        }
        if (tag.preset == 0 && xingQuality && *xingQuality <= 100) {
            return "-V " + std::to_string((100 - *xingQuality) / 10);
        }
        return {};
    case Mode::Unknown:
        break;
    }
    return {};
}

} // namespace quaverly::mpeg
