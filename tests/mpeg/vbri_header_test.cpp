#include "mpeg/vbri_header.h"

#include <gtest/gtest.h>

#include <array>

namespace quaverly::mpeg {
namespace {

// A header as an encoder writes it: version 1, delay 0x0240, quality 75, 1,234,567 bytes and
// 0x00012345 frames, then the start of its seek table.
constexpr std::array<unsigned char, 26> kHeader = {
    'V',  'B',  'R',  'I',  0x00, 0x01, 0x02, 0x40, 0x00, 0x4B, 0x00, 0x12, 0xD6,
    0x87, 0x00, 0x01, 0x23, 0x45, 0x00, 0x64, 0x00, 0x01, 0x00, 0x02, 0x00, 0x1A};

TEST(VbriHeader, FieldsAreReadBigEndian) {
    const std::optional<VbriHeader> header = DecodeVbriHeader(kHeader.data(), kHeader.size());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->version, 1);
    EXPECT_EQ(header->delay, 0x0240);
    EXPECT_EQ(header->quality, 75);
    EXPECT_EQ(header->bytes, 1'234'567U);
    EXPECT_EQ(header->frames, 0x00012345U);
}

TEST(VbriHeader, OtherBytesOrTooFewAreNoHeader) {
    EXPECT_FALSE(DecodeVbriHeader(kHeader.data(), kVbriFieldBytes - 1));
    std::array<unsigned char, 26> xing = kHeader;
    xing[0] = 'X';
    EXPECT_FALSE(DecodeVbriHeader(xing.data(), xing.size()));
    // The largest counts are read whole, with no sign.
    std::array<unsigned char, 26> largest = kHeader;
    for (std::size_t i = 10; i < kVbriFieldBytes; ++i) {
        largest[i] = 0xFF;
    }
    const std::optional<VbriHeader> header = DecodeVbriHeader(largest.data(), largest.size());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->bytes, 0xFFFFFFFFU);
    EXPECT_EQ(header->frames, 0xFFFFFFFFU);
}

} // namespace
} // namespace quaverly::mpeg
