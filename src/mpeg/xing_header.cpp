#include "mpeg/xing_header.h"

#include "mpeg/frame_header.h"

#include <algorithm>
#include <cstring>

namespace quaverly::mpeg {

std::optional<XingHeader> DecodeXingHeader(const unsigned char* bytes, std::size_t count) {
    if (count < 8) {
        return std::nullopt;
    }
    const bool xing = std::memcmp(bytes, "Xing", 4) == 0;
    if (!xing && std::memcmp(bytes, "Info", 4) != 0) {
        return std::nullopt;
    }
    XingHeader header;
    header.info = !xing;
    header.flags = ReadBigEndian32(bytes + 4);
    if (count >= 12) {
        header.wordAfterFlags = ReadBigEndian32(bytes + 8);
    }
    std::size_t at = 8;
    const auto field = [&](std::uint32_t flag, std::size_t size) {
        if ((header.flags & flag) == 0) {
            return false;
        }
        const bool held = at + size <= count;
        at += size;
        return held;
    };
    if (field(kXingFramesFlag, 4)) {
        header.frames = ReadBigEndian32(bytes + at - 4);
    }
    if (field(kXingBytesFlag, 4)) {
        header.bytes = ReadBigEndian32(bytes + at - 4);
    }
    if (field(kXingTableFlag, 100)) {
        std::array<unsigned char, 100> table{};
        std::copy_n(bytes + at - 100, table.size(), table.begin());
        header.tableOfContents = table;
    }
    if (field(kXingQualityFlag, 4)) {
        header.quality = ReadBigEndian32(bytes + at - 4);
    }
    header.length = at;
    return header;
}

} // namespace quaverly::mpeg
