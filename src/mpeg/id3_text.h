#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::mpeg {

// How the text of an ID3v2 frame is written: the byte that opens a text or a picture frame.
// v2.2 and v2.3 know the first two; writers use the others there too, so every version takes
// all four.
enum class Id3TextEncoding : std::uint8_t {
    Latin1 = 0,         // ISO-8859-1, a string ended by a zero byte
    Utf16 = 1,          // UTF-16 behind a byte order mark, a string ended by two zero bytes
    Utf16BigEndian = 2, // the same without the mark (v2.4)
    Utf8 = 3,           // (v2.4)
};

// The encoding that a frame's first byte names; nullopt for any other byte.
std::optional<Id3TextEncoding> Id3TextEncodingOf(unsigned char byte);

// ISO-8859-1 as UTF-8: each byte is the code point of its number.
std::string Latin1ToUtf8(std::string_view bytes);

// The bytes that the first string of `bytes` takes with its terminator: a zero byte, in UTF-16
// two at an even offset. nullopt when they do not hold the terminator.
std::optional<std::size_t> TerminatedLength(Id3TextEncoding encoding,
                                            std::span<const unsigned char> bytes);

// The strings of `bytes`, one behind the other, each ended by its terminator or by the end of
// the bytes, as valid UTF-8 with the trailing spaces cut: the first `most` of them, less the
// empty ones.
//
// A UTF-16 string may open with its byte order mark (in either encoding, as some writers put
// one there); one without takes the order of the string before it, and the first without any is
// read little-endian: the writers that leave the mark out are Windows programs, which write
// that order. A byte order mark that opens a UTF-8 string is left out too. A half of a
// surrogate pair without its other half, and a byte that belongs to no valid UTF-8, each become
// U+FFFD; an odd byte at the end of UTF-16 is dropped.
std::vector<std::string> DecodeId3Strings(Id3TextEncoding encoding,
                                          std::span<const unsigned char> bytes, std::size_t most);
// The same, appended to `strings`.
void DecodeId3Strings(Id3TextEncoding encoding, std::span<const unsigned char> bytes,
                      std::size_t most, std::vector<std::string>& strings);

} // namespace quaverly::mpeg
