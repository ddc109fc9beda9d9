#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly::platform {
namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(Utf8, EachLengthDecodesFromItsSmallestToItsLargestCodePoint) {
    const std::vector<std::pair<std::string, std::uint32_t>> valid = {
        {Bytes({0x00}), 0x00},
        {Bytes({0x7F}), 0x7F},
        {Bytes({0xC2, 0x80}), 0x80},
        {Bytes({0xDF, 0xBF}), 0x7FF},
        {Bytes({0xE0, 0xA0, 0x80}), 0x800},
        {Bytes({0xED, 0x9F, 0xBF}), 0xD7FF},
        {Bytes({0xEE, 0x80, 0x80}), 0xE000},
        {Bytes({0xEF, 0xBF, 0xBF}), 0xFFFF},
        {Bytes({0xF0, 0x90, 0x80, 0x80}), 0x10000},
        {Bytes({0xF4, 0x8F, 0xBF, 0xBF}), 0x10FFFF},
    };
    for (const auto& [bytes, code] : valid) {
        const Utf8Character decoded = DecodeUtf8(bytes + "tail");
        EXPECT_EQ(decoded.length, bytes.size()) << code;
        EXPECT_EQ(decoded.code, code);
    }
}

TEST(Utf8, OverlongSurrogateTooLargeCutShortOrStrayIsNoCharacter) {
    const std::vector<std::string> invalid = {
        Bytes({0xC0, 0xAF}),             // '/' overlong
        Bytes({0xC1, 0xBF}),             // U+007F overlong
        Bytes({0xE0, 0x9F, 0xBF}),       // U+07FF overlong
        Bytes({0xF0, 0x8F, 0xBF, 0xBF}), // U+FFFF overlong
        Bytes({0xED, 0xA0, 0x80}),       // U+D800
        Bytes({0xED, 0xBF, 0xBF}),       // U+DFFF
        Bytes({0xF4, 0x90, 0x80, 0x80}), // U+110000
        Bytes({0xF5, 0x80, 0x80, 0x80}),
        Bytes({0xE2, 0x82}),       // cut short
        Bytes({0xE2, 0x82, 0x41}), // a continuation byte missing
        Bytes({0x80}),             // a continuation byte alone
        Bytes({0xF8, 0x88, 0x80, 0x80, 0x80}),
        Bytes({0xFF}),
        std::string(),
    };
    for (const std::string& bytes : invalid) {
        EXPECT_EQ(DecodeUtf8(bytes).length, 0U) << testing::PrintToString(bytes);
    }
}

TEST(Utf8, EveryByteOutsideAValidSequenceBecomesOneReplacement) {
    const std::string kReplacement = "\xEF\xBF\xBD";
    EXPECT_EQ(ValidUtf8("caf\xC3\xA9 \xF0\x9F\x8E\xB5"), "caf\xC3\xA9 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(ValidUtf8("caf\xE9"), "caf" + kReplacement);
    // A cut sequence is each of its bytes; the byte that cut it starts afresh.
    EXPECT_EQ(ValidUtf8("\xE2\x82"
                        "A\xE2\x82\xAC"),
              kReplacement + kReplacement + "A\xE2\x82\xAC");
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(ValidUtf8(""), "");
}

} // namespace
} // namespace quaverly::platform
