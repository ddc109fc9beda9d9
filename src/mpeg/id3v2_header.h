#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quaverly::mpeg {

// The ten bytes that open an ID3v2 tag, and those of the footer that may close a v2.4 tag:
//
//   "ID3" (a footer: "3DI")  version  revision  flags  size: 4 bytes of 7 bits each, high first
//
// The size counts the tag behind the header (extended header, frames, padding), but neither
// the header nor the footer. Which versions and flags a caller takes is its own rule: the
// decoder gives the fields as they stand.
struct Id3v2Header {
    static constexpr std::size_t kBytes = 10;
    // Flag bits: 0b1000'0000 unsynchronisation, 0b0100'0000 an extended header follows,
    // 0b0010'0000 experimental, 0b0001'0000 a footer follows the tag (v2.4).
    static constexpr std::uint8_t kExtendedHeader = 0x40;
    static constexpr std::uint8_t kFooterPresent = 0x10;

    std::uint8_t version = 0;
    std::uint8_t revision = 0;
    std::uint8_t flags = 0;
    // The size field, the top bit of each byte left out.
    std::uint32_t tagSize = 0;
    // Whether the size bytes kept their top bit clear, as the standard has them.
    bool syncsafe = true;

    // A header as the standard writes it: version and revision below 0xFF, a syncsafe size.
    bool Conforms() const noexcept { return version < 0xFF && revision < 0xFF && syncsafe; }
    bool HasExtendedHeader() const noexcept { return (flags & kExtendedHeader) != 0; }
    // Only a v2.4 tag has a footer; the flag means something else, or nothing, before.
    bool HasFooter() const noexcept { return version == 4 && (flags & kFooterPresent) != 0; }
    // The tag with its header, and with its footer when it has one.
    std::uint64_t TotalSize() const noexcept {
        return kBytes + tagSize + (HasFooter() ? kBytes : 0);
    }
};

// The header that `bytes` start with; nothing when they hold fewer than ten bytes or do not
// start with "ID3".
std::optional<Id3v2Header> DecodeId3v2Header(const unsigned char* bytes, std::size_t count);
// The same for the footer of a v2.4 tag, which starts with "3DI".
std::optional<Id3v2Header> DecodeId3v2Footer(const unsigned char* bytes, std::size_t count);

} // namespace quaverly::mpeg
