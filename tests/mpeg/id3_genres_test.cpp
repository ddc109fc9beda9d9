// Genres by number, and the forms of an ID3v2 content type.

#include "mpeg/id3_genres.h"

#include <gtest/gtest.h>

namespace quaverly::mpeg {
namespace {

TEST(Id3Genres, NumbersNameTheListAndItsExtension) {
    EXPECT_EQ(Id3GenreName(0), "Blues");
    EXPECT_EQ(Id3GenreName(13), "Pop");
    EXPECT_EQ(Id3GenreName(79), "Hard Rock");
    EXPECT_EQ(Id3GenreName(80), "Folk");
    EXPECT_EQ(Id3GenreName(147), "Synthpop");
    EXPECT_EQ(Id3GenreName(191), "Psybient");
    EXPECT_EQ(Id3GenreName(192), "");
    EXPECT_EQ(Id3GenreName(255), "");
}

TEST(Id3Genres, ContentTypesReferToTheListOrNameTheirOwn) {
    EXPECT_EQ(GenreFromContentType("(13)"), "Pop");
    EXPECT_EQ(GenreFromContentType("13"), "Pop");
    EXPECT_EQ(GenreFromContentType("(13)Pop"), "Pop");
    EXPECT_EQ(GenreFromContentType("(13)Britpop"), "Britpop");
    EXPECT_EQ(GenreFromContentType("(4)(13)"), "Disco / Pop");
    EXPECT_EQ(GenreFromContentType("(RX)"), "Remix");
    EXPECT_EQ(GenreFromContentType("(CR)"), "Cover");
    EXPECT_EQ(GenreFromContentType("CR"), "Cover");
    EXPECT_EQ(GenreFromContentType("((Live) Rock"), "(Live) Rock");
    // Names of their own, and what only looks like a reference.
    EXPECT_EQ(GenreFromContentType("Chiptune"), "Chiptune");
    EXPECT_EQ(GenreFromContentType("(999)"), "(999)");
    EXPECT_EQ(GenreFromContentType("1999"), "1999");
    EXPECT_EQ(GenreFromContentType("(13"), "(13");
    EXPECT_EQ(GenreFromContentType("(Live)"), "(Live)");
    EXPECT_EQ(GenreFromContentType(""), "");
    // Each genre is named once, and endless references name only the first few.
    EXPECT_EQ(GenreFromContentType("(17)(17)(17)"), "Rock");
    std::string many;
    for (int i = 0; i < 1000; ++i) {
        many += "(" + std::to_string(i % 100) + ")";
    }
    const std::string named = GenreFromContentType(many);
    EXPECT_TRUE(named.starts_with("Blues / Classic Rock / ")) << named;
    EXPECT_TRUE(named.ends_with(" / R&B / Rap")) << named; // genres 0 to 15
}

} // namespace
} // namespace quaverly::mpeg
