#include "mpeg/xing_header.h"

#include <gtest/gtest.h>

#include <vector>

namespace quaverly::mpeg {
namespace {

using Bytes = std::vector<unsigned char>;

void PutWord(Bytes& bytes, std::uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<unsigned char>(word >> shift));
    }
}

// A header as an encoder writes it with every field: 0x00012345 frames, 1,234,567 bytes, a
// table whose entry i is i, and quality 57.
Bytes WholeHeader(const char* tag = "Xing") {
    Bytes bytes(tag, tag + 4);
    PutWord(bytes, 0x0F);
    PutWord(bytes, 0x00012345);
    PutWord(bytes, 1'234'567);
    for (unsigned char i = 0; i < 100; ++i) {
        bytes.push_back(i);
    }
    PutWord(bytes, 57);
    return bytes;
}

TEST(XingHeader, EveryFlaggedFieldIsReadInItsPlace) {
    const Bytes bytes = WholeHeader();
    ASSERT_EQ(bytes.size(), kXingHeaderBytes);
    const auto header = DecodeXingHeader(bytes.data(), bytes.size());
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->info);
    EXPECT_EQ(header->frames, 0x00012345U);
    EXPECT_EQ(header->bytes, 1'234'567U);
    ASSERT_TRUE(header->tableOfContents);
    EXPECT_EQ((*header->tableOfContents)[99], 99);
    EXPECT_EQ(header->quality, 57U);
    EXPECT_EQ(header->length, kXingHeaderBytes);
    EXPECT_TRUE(DecodeXingHeader(WholeHeader("Info").data(), kXingHeaderBytes)->info);
}

TEST(XingHeader, FieldsFollowTheFlagsAndTheBytesHeld) {
    // Bytes and quality only: the bytes come first, where the frames would be.
    Bytes bytes = {'X', 'i', 'n', 'g'};
    PutWord(bytes, 0x0A);
    PutWord(bytes, 5000);
    PutWord(bytes, 99);
    auto header = DecodeXingHeader(bytes.data(), bytes.size());
    ASSERT_TRUE(header);
    EXPECT_FALSE(header->frames);
    EXPECT_EQ(header->bytes, 5000U);
    EXPECT_EQ(header->quality, 99U);
    EXPECT_EQ(header->wordAfterFlags, 5000U); // what the page takes for a count
    EXPECT_EQ(header->length, 16U);

    // A field the bytes do not hold is absent, and so is the table of a header cut short.
    const Bytes whole = WholeHeader();
    header = DecodeXingHeader(whole.data(), 50);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frames, 0x00012345U);
    EXPECT_FALSE(header->tableOfContents);
    EXPECT_FALSE(header->quality);

    EXPECT_FALSE(DecodeXingHeader(whole.data(), 7));
    Bytes other = whole;
    other[0] = 'x';
    EXPECT_FALSE(DecodeXingHeader(other.data(), other.size()));
}

} // namespace
} // namespace quaverly::mpeg
