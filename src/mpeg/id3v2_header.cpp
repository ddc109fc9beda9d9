#include "mpeg/id3v2_header.h"

#include <cstring>

namespace quaverly::mpeg {

namespace {

std::optional<Id3v2Header> Decode(const char* magic, const unsigned char* bytes,
                                  std::size_t count) {
    if (count < Id3v2Header::kBytes || std::memcmp(bytes, magic, 3) != 0) {
        return std::nullopt;
    }
    Id3v2Header header;
    header.version = bytes[3];
    header.revision = bytes[4];
    header.flags = bytes[5];
    for (std::size_t i = 6; i < Id3v2Header::kBytes; ++i) {
        header.tagSize = (header.tagSize << 7) | (bytes[i] & 0x7FU);
        header.syncsafe = header.syncsafe && bytes[i] < 0x80;
    }
    return header;
}

} // namespace

std::optional<Id3v2Header> DecodeId3v2Header(const unsigned char* bytes, std::size_t count) {
    return Decode("ID3", bytes, count);
}

std::optional<Id3v2Header> DecodeId3v2Footer(const unsigned char* bytes, std::size_t count) {
    return Decode("3DI", bytes, count);
}

} // namespace quaverly::mpeg
