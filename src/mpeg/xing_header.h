#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quaverly::mpeg {

// The header that encoders write into the first frame of a file, behind the side information
// (XingProbeOffset): "Xing" for a variable bitrate, "Info" for a constant one, then big-endian
// fields, each present when its flag is set:
//
//   offset  0  "Xing" or "Info"
//           4  flags                   4 bytes: 1 frames, 2 bytes, 4 table of contents, 8 quality
//           8  frames in the stream    4 bytes (the header's frame included)
//              bytes in the stream     4 bytes (the header's frame included)
//              table of contents       100 bytes: where each percent of the time starts, in
//                                      256ths of the bytes
//              quality                 4 bytes: 0 best to 100 worst
//
// An encoder may write its own extension right behind the fields (at `length`).
inline constexpr std::uint32_t kXingFramesFlag = 0b0001;
inline constexpr std::uint32_t kXingBytesFlag = 0b0010;
inline constexpr std::uint32_t kXingTableFlag = 0b0100;
inline constexpr std::uint32_t kXingQualityFlag = 0b1000;

struct XingHeader {
    bool info = false; // "Info" rather than "Xing"
    std::uint32_t flags = 0;
    // Each field its flag announces, when the bytes decoded hold it.
    std::optional<std::uint32_t> frames;
    std::optional<std::uint32_t> bytes;
    std::optional<std::array<unsigned char, 100>> tableOfContents;
    std::optional<std::uint32_t> quality;
    // The 4 bytes behind the flags, whatever the flags say (0 when not held): where the frame
    // count is when its flag is set.
    std::uint32_t wordAfterFlags = 0;
    // The bytes the header takes with the fields its flags announce.
    std::size_t length = 8;
};

// The most bytes a header with every field takes.
inline constexpr std::size_t kXingHeaderBytes = 4 + 4 + 4 + 4 + 100 + 4;

// The header at `bytes`, which hold `count` bytes; nullopt when they do not start with "Xing"
// or "Info" and the flags.
std::optional<XingHeader> DecodeXingHeader(const unsigned char* bytes, std::size_t count);

} // namespace quaverly::mpeg
