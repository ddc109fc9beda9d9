#pragma once

// MP3 files built in memory for tests: frames, ID3v2.3 tags, and tags that the ID3 tag
// library cannot survive.

#include <cstdint>
#include <string>
#include <string_view>
#include <zlib.h>

namespace quaverly::testing {

// `count` MPEG-1 Layer III frames at 128 kbit/s, 44.1 kHz: 417 bytes each.
inline std::string CbrFrames(int count) {
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        bytes += frame;
    }
    return bytes;
}

inline void PutBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// An ID3v2.3 tag around `frames`, followed by `padding` zero bytes inside the tag.
inline std::string Id3v23Tag(std::string_view frames, std::size_t padding = 0) {
    const std::size_t size = frames.size() + padding;
    std::string tag = "ID3";
    tag.append({'\x03', '\0', '\0'});
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag.push_back(static_cast<char>((size >> shift) & 0x7F));
    }
    tag.append(frames);
    tag.append(padding, '\0');
    return tag;
}

// The same with an extended header of ten bytes (counted in the tag's size): a tag whose
// size its headers do not settle, so that the ID3 tag library is asked.
constexpr std::size_t kExtendedHeaderBytes = 10;
inline std::string Id3v23TagWithExtendedHeader(std::string_view frames, std::size_t padding = 0) {
    std::string extended(kExtendedHeaderBytes, '\0');
    extended[3] = 6; // its size, without the size field
    std::string tag = Id3v23Tag(extended.append(frames), padding);
    tag[5] = 0x40;
    return tag;
}

// A title frame with the compression flag: its data is the uncompressed length and zlib data.
// `valid` false replaces the zlib data with bytes that do not inflate.
inline std::string CompressedTitleFrame(bool valid) {
    const std::string text = std::string(1, '\0') + "A compressed title";
    std::string deflated;
    if (valid) {
        uLongf length = compressBound(static_cast<uLong>(text.size()));
        deflated.resize(length);
        compress(reinterpret_cast<Bytef*>(deflated.data()), &length,
                 reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
        deflated.resize(length);
    } else {
        deflated = "\x78\x9c\xde\xad\xbe\xef\xde\xad\xbe\xef\xde\xad\xbe\xef";
    }
    std::string frame = "TIT2";
    PutBigEndian32(frame, static_cast<std::uint32_t>(4 + deflated.size()));
    frame.append({'\0', '\x80'});
    PutBigEndian32(frame, static_cast<std::uint32_t>(text.size()));
    return frame + deflated;
}

inline std::string TitleFrame(std::string_view title) {
    std::string frame = "TIT2";
    PutBigEndian32(frame, static_cast<std::uint32_t>(title.size() + 1));
    frame.append({'\0', '\0', '\0'});
    return frame.append(title);
}

} // namespace quaverly::testing
