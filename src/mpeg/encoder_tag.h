#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quaverly::mpeg {

// The extension an encoder writes behind the "Xing"/"Info" fields of the first frame (at
// XingHeader::length): 36 bytes, big-endian.
//
//   offset  0  the encoder's version, 9 bytes ("LAME3.100", "Lavc59.37")
//           9  revision (high 4 bits) and method (low 4 bits): 1 and 8 constant, 2 and 9
//              average, 3 to 6 variable bitrate, 0 unknown
//          10  lowpass filter, in 100 Hz
//          11  peak amplitude (4 bytes), two replay gains (2 bytes each)
//          19  encoding flags (high 4 bits) and ATH type (low 4 bits)
//          20  the average bitrate asked for, or the least bitrate, in kbit/s (255: 255 or more)
//          21  delay (12 bits) and padding (12 bits), in samples: what the decoder drops at
//              the start and at the end
//          24  misc (noise shaping, stereo mode, source sample rate), then the gain (1 byte)
//          26  surround (high 5 bits) and preset (low 11 bits)
//          28  the bytes of the stream from the tag's frame on (4 bytes)
//          32  the CRC of the stream behind the tag's frame (2 bytes)
//          34  the CRC of the tag's frame up to here (2 bytes)
struct EncoderTag {
    std::string encoder; // its 9 bytes, trimmed of spaces and zeros
    int revision = 0;
    int method = 0;
    std::int32_t lowpassHz = 0;
    std::int32_t bitrateKbps = 0; // the byte at 20
    std::int32_t delay = 0;
    std::int32_t padding = 0;
    std::int32_t preset = 0;
    std::uint32_t musicBytes = 0;
    std::uint16_t musicCrc = 0;
    // Whether the CRC at 34 is that of the frame's bytes before it.
    bool tagCrcHolds = false;
    // Whether the fields behind the version are the ones above: the CRC holds, or the version
    // is of an encoder that writes them. Older encoders wrote free text there instead.
    bool fieldsKnown = false;
};

inline constexpr std::size_t kEncoderTagBytes = 36;

// The tag in the first frame, whose bytes from its header on are `frame` (`count` of them, no
// more than the frame holds), with the extension at `at`; nullopt when the bytes there do not
// name an encoder in printable characters.
std::optional<EncoderTag> DecodeEncoderTag(const unsigned char* frame, std::size_t count,
                                           std::size_t at);

// "CBR", "ABR" or "VBR" by the tag's method; nullptr when it does not say.
const char* BitrateModeOf(const EncoderTag& tag);

// The settings as a person gives them to the encoder, "-V 2", "-b 320", "--abr 160",
// "--preset extreme", from the tag's method and preset, and the "Xing" quality where the preset
// is not stored; `frameBitrate` is the audio's rate in kbit/s, for a constant rate above 255.
// Empty where the tag cannot say: below 44.1 kHz the encoder stores the quality it chose for
// that rate, not the one it was given, so a variable rate's "-V" is said at 44.1 and 48 kHz
// alone.
std::string EncoderSettings(const EncoderTag& tag, std::optional<std::uint32_t> xingQuality,
                            std::int32_t frameBitrate, std::int32_t sampleRate);

} // namespace quaverly::mpeg
