#include "mpeg/vbri_header.h"

#include "mpeg/frame_header.h"

#include <cstring>

namespace quaverly::mpeg {

namespace {

std::uint16_t ReadBigEndian16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

} // namespace

std::optional<VbriHeader> DecodeVbriHeader(const unsigned char* bytes, std::size_t count) {
    if (count < kVbriFieldBytes || std::memcmp(bytes, "VBRI", 4) != 0) {
        return std::nullopt;
    }
    VbriHeader header;
    header.version = ReadBigEndian16(bytes + 4);
    header.delay = ReadBigEndian16(bytes + 6);
    header.quality = ReadBigEndian16(bytes + 8);
    header.bytes = ReadBigEndian32(bytes + 10);
    header.frames = ReadBigEndian32(bytes + 14);
    return header;
}

} // namespace quaverly::mpeg
