#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quaverly::mpeg {

// The "VBRI" header that some encoders write into the first frame of a variable-bitrate file,
// in place of a "Xing" header: always 32 bytes behind the frame's 4-byte header, whatever the
// MPEG version and channel mode, with big-endian fields:
//
//   offset  0  "VBRI"
//           4  version                 2 bytes
//           6  delay                   2 bytes
//           8  quality                 2 bytes
//          10  bytes in the stream     4 bytes (the header's frame included)
//          14  frames in the stream    4 bytes (the header's frame included)
//          18  the seek table's size, scale, entry size and frames per entry, then the table
struct VbriHeader {
    std::uint16_t version = 0;
    std::uint16_t delay = 0;
    std::uint16_t quality = 0;
    std::uint32_t bytes = 0;
    std::uint32_t frames = 0;
};

// Where the header starts, from the start of the frame.
inline constexpr std::size_t kVbriOffset = 4 + 32;
// The bytes the fields above take.
inline constexpr std::size_t kVbriFieldBytes = 18;

// The header at `bytes`, which hold `count` bytes; nullopt when they do not start with "VBRI"
// or are too few to hold the fields.
std::optional<VbriHeader> DecodeVbriHeader(const unsigned char* bytes, std::size_t count);

} // namespace quaverly::mpeg
