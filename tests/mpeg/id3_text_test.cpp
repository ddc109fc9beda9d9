// The text of ID3v2 frames in each of its four encodings, decoded to valid UTF-8.

#include "mpeg/id3_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly::mpeg {
namespace {

using Strings = std::vector<std::string>;

Strings Decode(Id3TextEncoding encoding, std::string_view bytes, std::size_t most = 16) {
    return DecodeId3Strings(
        encoding, {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, most);
}

std::optional<std::size_t> Terminated(Id3TextEncoding encoding, std::string_view bytes) {
    return TerminatedLength(encoding,
                            {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
}

constexpr auto kLatin1 = Id3TextEncoding::Latin1;
constexpr auto kUtf16 = Id3TextEncoding::Utf16;
constexpr auto kUtf16Be = Id3TextEncoding::Utf16BigEndian;
constexpr auto kUtf8 = Id3TextEncoding::Utf8;

TEST(Id3Text, EachEncodingBecomesUtf8) {
    EXPECT_EQ(Decode(kLatin1, "Caf\xE9 \xFF"), Strings{"Caf\u00E9 \u00FF"});
    EXPECT_EQ(Decode(kUtf16, std::string("\xFF\xFE"
                                         "C\0\xE9\0",
                                         6)),
              Strings{"C\u00E9"});
    EXPECT_EQ(Decode(kUtf16, std::string("\xFE\xFF\0C\0\xE9", 6)), Strings{"C\u00E9"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("\0C\x20\xAC", 4)), Strings{"C\u20AC"});
    EXPECT_EQ(Decode(kUtf8, "Caf\xC3\xA9"), Strings{"Caf\u00E9"});
    // Without a byte order mark UTF-16 is read as Windows writes it, little-endian.
    EXPECT_EQ(Decode(kUtf16, std::string("C\0\xE9\0", 4)), Strings{"C\u00E9"});
    EXPECT_EQ(Id3TextEncodingOf(3), kUtf8);
    EXPECT_FALSE(Id3TextEncodingOf(4));
}

TEST(Id3Text, WhatIsNoTextBecomesTheReplacementCharacter) {
    // A pair of surrogates is one character; either half alone is none.
    EXPECT_EQ(Decode(kUtf16Be, std::string("\xD8\x3C\xDF\xB5", 4)), Strings{"\U0001F3B5"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("\xD8\x3C\0A", 4)), Strings{"\uFFFDA"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("\0A\xD8\x3C", 4)), Strings{"A\uFFFD"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("\xDF\xB5\xD8\x3C\xD8\x3C\xDF\xB5", 8)),
              Strings{"\uFFFD\uFFFD\U0001F3B5"});
    EXPECT_EQ(Decode(kUtf8, "a\xC3(\xED\xA0\x80\xF0\x9F\x8E"),
              Strings{"a\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"});
    // A mark that opens UTF-8 is left out; an odd byte closing UTF-16 is dropped.
    EXPECT_EQ(Decode(kUtf8, "\xEF\xBB\xBFTitle"), Strings{"Title"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("\0A\0", 3)), Strings{"A"});
}

TEST(Id3Text, StringsEndAtTheirTerminators) {
    EXPECT_EQ(Decode(kLatin1, std::string("One\0Two\0", 8), 1), Strings{"One"});
    EXPECT_EQ(Decode(kLatin1, std::string("One  \0\0Two \0", 12)), (Strings{"One", "Two"}));
    // An empty first string is the first string.
    EXPECT_EQ(Decode(kLatin1, std::string("\0Two", 4), 1), Strings{});
    EXPECT_EQ(Decode(kUtf8, std::string("a\0b\0c", 5), 2), (Strings{"a", "b"}));
    // Each UTF-16 string may bring its mark; one without keeps the order before it.
    EXPECT_EQ(Decode(kUtf16, std::string("\xFE\xFF\0A\0\0\xFF\xFE"
                                         "B\0\0\0C\0",
                                         14)),
              (Strings{"A", "B", "C"}));
    EXPECT_EQ(Decode(kUtf16, std::string("\xFE\xFF\0A\0\0\0B", 8)), (Strings{"A", "B"}));
    // Two zero bytes end UTF-16 only at an even offset: "\u4100" is a character.
    EXPECT_EQ(Decode(kUtf16Be, std::string("\0A\0\0", 4)), Strings{"A"});
    EXPECT_EQ(Decode(kUtf16Be, std::string("A\0\0B", 4)), Strings{"\u4100\u0042"});

    EXPECT_EQ(Terminated(kLatin1, std::string("image/png\0\x03", 11)), 10U);
    EXPECT_EQ(Terminated(kUtf8, "no end"), std::nullopt);
    EXPECT_EQ(Terminated(kUtf16, std::string("A\0\0\0", 4)), 4U);
    EXPECT_EQ(Terminated(kUtf16Be, std::string("\0A\0\0", 4)), 4U);
    EXPECT_EQ(Terminated(kUtf16Be, std::string("A\0\0B", 4)), std::nullopt);
}

} // namespace
} // namespace quaverly::mpeg
