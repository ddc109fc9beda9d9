// The ID3v2 header and footer, decoded from their ten bytes; and the rules that callers make of
// the fields.

#include "mpeg/id3v2_header.h"
#include "mpeg/preread_file.h"

#include <gtest/gtest.h>

#include <array>

namespace quaverly::mpeg {
namespace {

using Bytes = std::array<unsigned char, 10>;

// A tag of 257 bytes behind its header.
constexpr Bytes kV23{'I', 'D', '3', 3, 0, 0x00, 0x00, 0x00, 0x02, 0x01};

Bytes With(Bytes bytes, std::size_t at, unsigned char value) {
    bytes[at] = value;
    return bytes;
}

TEST(Id3v2Header, DecodesTheFieldsOfAHeader) {
    const std::optional<Id3v2Header> header = DecodeId3v2Header(kV23.data(), kV23.size());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->version, 3);
    EXPECT_EQ(header->revision, 0);
    EXPECT_EQ(header->tagSize, 257U);
    EXPECT_TRUE(header->Conforms());
    EXPECT_FALSE(header->HasExtendedHeader());
    EXPECT_FALSE(header->HasFooter());
    EXPECT_EQ(header->TotalSize(), 267U);

    const Bytes largest{'I', 'D', '3', 4, 0, 0x40, 0x7F, 0x7F, 0x7F, 0x7F};
    const std::optional<Id3v2Header> extended = DecodeId3v2Header(largest.data(), largest.size());
    ASSERT_TRUE(extended);
    EXPECT_EQ(extended->tagSize, 0x0FFF'FFFFU);
    EXPECT_TRUE(extended->HasExtendedHeader());

    // Too short, or not a header at all.
    EXPECT_FALSE(DecodeId3v2Header(kV23.data(), 9));
    EXPECT_FALSE(DecodeId3v2Header(With(kV23, 2, ' ').data(), 10));
    EXPECT_FALSE(DecodeId3v2Footer(kV23.data(), 10));
}

TEST(Id3v2Header, TellsHeadersTheStandardDoesNotWrite) {
    const std::optional<Id3v2Header> notSyncsafe =
        DecodeId3v2Header(With(kV23, 8, 0x82).data(), 10);
    ASSERT_TRUE(notSyncsafe);
    EXPECT_FALSE(notSyncsafe->syncsafe);
    EXPECT_FALSE(notSyncsafe->Conforms());
    EXPECT_EQ(notSyncsafe->tagSize, 257U); // the top bit left out
    for (const std::size_t at : {3U, 4U}) {
        const std::optional<Id3v2Header> header =
            DecodeId3v2Header(With(kV23, at, 0xFF).data(), 10);
        ASSERT_TRUE(header);
        EXPECT_FALSE(header->Conforms()) << at;
    }
}

TEST(Id3v2Header, OnlyAVersion4TagHasAFooter) {
    const Bytes v24 = With(With(kV23, 3, 4), 5, Id3v2Header::kFooterPresent);
    const std::optional<Id3v2Header> header = DecodeId3v2Header(v24.data(), v24.size());
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->HasFooter());
    EXPECT_EQ(header->TotalSize(), 277U);
    EXPECT_FALSE(DecodeId3v2Header(With(kV23, 5, 0x10).data(), 10)->HasFooter());

    // The footer repeats the header under its own mark.
    const Bytes footer = With(With(With(v24, 0, '3'), 1, 'D'), 2, 'I');
    const std::optional<Id3v2Header> closing = DecodeId3v2Footer(footer.data(), footer.size());
    ASSERT_TRUE(closing);
    EXPECT_EQ(closing->tagSize, 257U);
    EXPECT_TRUE(closing->HasFooter());
    EXPECT_FALSE(DecodeId3v2Header(footer.data(), footer.size()));
    EXPECT_FALSE(DecodeId3v2Footer(footer.data(), 9));
}

// Where a tag ends, for reading ahead and for the helpers, takes any header that starts "ID3".
TEST(Id3v2Header, StatedTagEndTakesEveryHeader) {
    const Bytes v24 = With(With(kV23, 3, 4), 5, Id3v2Header::kFooterPresent);
    EXPECT_EQ(StatedTagEnd(v24.data(), 10), 277U);
    EXPECT_EQ(StatedTagEnd(v24.data(), 10, false), 267U);
    EXPECT_EQ(StatedTagEnd(With(With(kV23, 3, 0xFF), 8, 0x82).data(), 10), 267U);
    EXPECT_EQ(StatedTagEnd(kV23.data(), 9), 0U);
}

} // namespace
} // namespace quaverly::mpeg
