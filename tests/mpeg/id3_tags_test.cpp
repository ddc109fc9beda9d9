// The fields of ID3v2 and ID3v1 tags, from tags built here byte by byte: each version, the
// unsynchronisation and frame flags, the pictures (whose images must not be read) and hostile
// sizes. That the text frames are the ID3 tag library's is tested against the library itself
// (id3lib_differential.py).

#include "mpeg/id3_tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quaverly::mpeg {
namespace {

std::string Word(std::uint32_t value) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    return bytes;
}

std::string Syncsafe(std::uint32_t value) {
    std::string bytes;
    for (int shift = 21; shift >= 0; shift -= 7) {
        bytes.push_back(static_cast<char>((value >> shift) & 0x7F));
    }
    return bytes;
}

// A frame of `version` 2, 3 or 4: its header, with `format` as the second flags byte, and `body`.
// `plainSize` writes a v2.4 size as v2.3 does, as some writers did.
std::string Frame(int version, std::string_view id, std::string_view body, unsigned char format = 0,
                  bool plainSize = false) {
    const auto size = static_cast<std::uint32_t>(body.size());
    std::string frame(id);
    if (version == 2) {
        frame += Word(size).substr(1);
    } else {
        frame += version == 4 && !plainSize ? Syncsafe(size) : Word(size);
        frame += '\0';
        frame += static_cast<char>(format);
    }
    return frame.append(body);
}

// A tag of `version` around `frames`, with `padding` zeros inside its size.
std::string Tag(int version, std::string_view frames, std::size_t padding = 0,
                unsigned char flags = 0) {
    std::string tag = "ID3";
    tag += static_cast<char>(version);
    tag += '\0';
    tag += static_cast<char>(flags);
    tag += Syncsafe(static_cast<std::uint32_t>(frames.size() + padding));
    return tag.append(frames).append(padding, '\0');
}

// The body of a text frame in ISO-8859-1.
std::string Latin1(std::string_view text) {
    return std::string(1, '\0').append(text);
}

// The body of a picture frame (v2.3 and v2.4) in ISO-8859-1.
std::string Picture(int type, std::string_view mime, std::string_view description,
                    std::string_view image) {
    std::string body(1, '\0');
    body.append(mime).append(1, '\0');
    body += static_cast<char>(type);
    return body.append(description).append(1, '\0').append(image);
}

// `bytes` unsynchronised: a zero behind each 0xFF that a zero or a byte of 0b111x'xxxx follows.
std::string Unsynchronised(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        const bool last = i + 1 == bytes.size();
        if (bytes[i] == '\xFF' && (last || bytes[i + 1] == 0 || (bytes[i + 1] & 0xE0) == 0xE0)) {
            out += '\0';
        }
    }
    return out;
}

// The 128 bytes of an ID3v1 tag; `track` 0 writes v1.0.
std::string V1Tag(std::string_view title, std::string_view artist, int track, int genre) {
    std::string tag = "TAG";
    const auto field = [&](std::string_view text, std::size_t size) {
        tag.append(text).append(size - text.size(), '\0');
    };
    field(title, 30);
    field(artist, 30);
    field("Album  ", 30);
    field("1999", 4);
    field("A comment", 28);
    tag += '\0';
    tag += static_cast<char>(track);
    tag += static_cast<char>(genre);
    return tag;
}

// Bytes in memory that may say they are more (the rest reads as zeros), and that note every
// copy made of them, failing any that touches bytes marked as not to be read.
class WatchedSource final : public ByteSource {
public:
    explicit WatchedSource(std::string bytes, std::int64_t statedSize = -1)
        : m_bytes(std::move(bytes)),
          m_size(statedSize < 0 ? static_cast<std::int64_t>(m_bytes.size()) : statedSize) {}

    std::int64_t Size() const override { return m_size; }

    void Copy(std::int64_t offset, unsigned char* out, std::size_t count) override {
        const auto end = offset + static_cast<std::int64_t>(count);
        EXPECT_TRUE(end <= m_forbiddenFrom || offset >= m_forbiddenTo)
            << "read " << offset << " to " << end;
        ++copies;
        copied += static_cast<std::int64_t>(count);
        largestCopy = std::max(largestCopy, count);
        MemorySource({reinterpret_cast<const unsigned char*>(m_bytes.data()), m_bytes.size()})
            .Copy(offset, out, count);
    }

    void Forbid(std::size_t from, std::size_t to) {
        m_forbiddenFrom = static_cast<std::int64_t>(from);
        m_forbiddenTo = static_cast<std::int64_t>(to);
    }

    int copies = 0;
    std::int64_t copied = 0;
    std::size_t largestCopy = 0;

private:
    std::string m_bytes;
    std::int64_t m_size;
    std::int64_t m_forbiddenFrom = 0;
    std::int64_t m_forbiddenTo = 0;
};

TagFields FieldsOf(const std::string& file) {
    WatchedSource source(file);
    return ReadTagFields(source, source.Size());
}

std::string Frames(int version) {
    const bool v22 = version == 2;
    return Frame(version, v22 ? "TT2" : "TIT2", Latin1("Title")) +
           Frame(version, v22 ? "TP1" : "TPE1", Latin1("Artist")) +
           Frame(version, v22 ? "TAL" : "TALB", Latin1("Album")) +
           Frame(version, v22 ? "TRK" : "TRCK", Latin1("3/12")) +
           Frame(version, v22 ? "TYE" : "TYER", Latin1("1999")) +
           Frame(version, v22 ? "TCO" : "TCON", Latin1("(17)"));
}

void ExpectFrames(const TagFields& fields, std::string_view source) {
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.artist, "Artist");
    EXPECT_EQ(fields.album, "Album");
    EXPECT_EQ(fields.track, "3/12");
    EXPECT_EQ(fields.year, "1999");
    EXPECT_EQ(fields.genre, "Rock");
    EXPECT_EQ(fields.source, source);
}

TEST(Id3Tags, EachVersionGivesItsFields) {
    ExpectFrames(FieldsOf(Tag(2, Frames(2), 100)), "ID3v2.2");
    ExpectFrames(FieldsOf(Tag(3, Frames(3), 100)), "ID3v2.3");
    ExpectFrames(FieldsOf(Tag(4, Frames(4), 100)), "ID3v2.4");
    EXPECT_TRUE(FieldsOf(Tag(5, Frames(4))).Empty());
    // v2.2's compression flag: no way was ever given to read such a tag.
    EXPECT_TRUE(FieldsOf(Tag(2, Frames(2), 0, 0x40)).Empty());

    // The band stands in for a missing lead artist; the first of two frames counts.
    TagFields fields =
        FieldsOf(Tag(3, Frame(3, "TPE2", Latin1("Band")) + Frame(3, "TIT2", Latin1("First")) +
                            Frame(3, "TIT2", Latin1("Second"))));
    EXPECT_EQ(fields.artist, "Band");
    EXPECT_EQ(fields.title, "First");
    EXPECT_EQ(FieldsOf(Tag(3, Frame(3, "TPE2", Latin1("Band")) + Frame(3, "TPE1", Latin1("Lead"))))
                  .artist,
              "Lead");

    // v2.4's recording time gives the year when it starts with one, and the release time
    // where there is no other.
    const std::string year = Frame(4, "TYER", Latin1("1999"));
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TDRC", Latin1("2019-05-01T10:00")) + year)).year, "2019");
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TDRC", Latin1("spring")) + year)).year, "1999");
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TDRC", Latin1("201")))).year, "");
    const std::string release = Frame(4, "TDRL", Latin1("2021-03"));
    EXPECT_EQ(FieldsOf(Tag(4, release + year)).year, "1999");
    EXPECT_EQ(FieldsOf(Tag(4, release)).year, "2021");
}

TEST(Id3Tags, TextInEachEncoding) {
    const auto title = [](int version, std::string_view body) {
        return FieldsOf(Tag(version, Frame(version, version == 2 ? "TT2" : "TIT2", body))).title;
    };
    EXPECT_EQ(title(3, Latin1("Caf\xE9  ")), "Caf\u00E9");
    EXPECT_EQ(title(2, std::string("\x01\xFF\xFE"
                                   "C\0\xE9\0\0\0",
                                   9)),
              "C\u00E9");
    EXPECT_EQ(title(3, std::string("\x01\xFE\xFF\xD8\x3C\xDF\xB5\xDC\x00", 9)), "\U0001F3B5\uFFFD");
    EXPECT_EQ(title(4, std::string("\x02\0C\0\xE9", 5)), "C\u00E9");
    EXPECT_EQ(title(4, "\x03"
                       "Caf\xC3\xA9 \xC3"),
              "Caf\u00E9 \uFFFD");
    EXPECT_EQ(title(4, "\x04Title"), ""); // no such encoding

    // v2.4 joins its several values; before it a text ends at its terminator.
    EXPECT_EQ(title(4, std::string("\x03One\0Two\0", 9)), "One / Two");
    EXPECT_EQ(title(3, std::string("\0One\0Two", 8)), "One");
    const std::string genres = std::string("\0(13)\0Rock\0(RX)", 15);
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TCON", genres))).genre, "Pop / Rock / Remix");
    EXPECT_EQ(FieldsOf(Tag(3, Frame(3, "TCON", genres))).genre, "Pop");
    EXPECT_EQ(FieldsOf(Tag(3, Frame(3, "TCON", Latin1("(13)Britpop")))).genre, "Britpop");
}

TEST(Id3Tags, V23TagUnsynchronisedAsAWhole) {
    // Frame sizes count the bytes before unsynchronisation. The skipped frame between the two
    // text frames holds pairs that unsynchronisation changed, across the pieces it is read in.
    std::string skipped(20000, '\xFF');
    for (std::size_t i = 1; i < skipped.size(); i += 3) {
        skipped[i] = static_cast<char>(i % 2 == 0 ? 0x00 : 0xE7);
    }
    const std::string frames = Frame(3, "TIT2", Latin1("\xFF\xE0 \xFF")) +
                               Frame(3, "PRIV", skipped) + Frame(3, "TALB", Latin1("Album\xFF"));
    const std::string stored = Unsynchronised(frames);
    ASSERT_GT(stored.size(), frames.size() + 6000);
    TagFields fields = FieldsOf(Tag(3, stored, 0, 0x80));
    EXPECT_EQ(fields.title, "\u00FF\u00E0 \u00FF");
    EXPECT_EQ(fields.album, "Album\u00FF");
    // Without the flag the zeros put in are read as the text's own.
    EXPECT_EQ(FieldsOf(Tag(3, stored)).title, "\u00FF");

    // The extended header is unsynchronised with the rest.
    const std::string extended = Word(6) + std::string("\xFF\xFF\0\0\0\0", 6);
    fields = FieldsOf(Tag(3, Unsynchronised(extended + frames), 0, 0x80 | 0x40));
    EXPECT_EQ(fields.album, "Album\u00FF");
}

TEST(Id3Tags, V24FramesUnsynchronisedOneByOne) {
    const std::string text = Latin1("\xFF\xE0\xFF");
    const std::string stored = Unsynchronised(text);
    ASSERT_EQ(stored.size(), text.size() + 2);
    const std::string album = Frame(4, "TALB", Latin1("Album"));
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", stored, 0x02) + album)).title, "\u00FF\u00E0\u00FF");
    // With the length of the data first, and by the tag's flag for every frame.
    const std::string withLength = Syncsafe(static_cast<std::uint32_t>(text.size())) + stored;
    TagFields fields = FieldsOf(Tag(4, Frame(4, "TIT2", withLength, 0x03) + album));
    EXPECT_EQ(fields.title, "\u00FF\u00E0\u00FF");
    EXPECT_EQ(fields.album, "Album");
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", stored) + album, 0, 0x80)).title,
              "\u00FF\u00E0\u00FF");
    // Without either flag the zeros put in are the text's own: they separate values.
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", stored))).title, "\u00FF / \u00E0\u00FF");
}

TEST(Id3Tags, FrameFlagsAddBytesOrHideTheData) {
    const std::string album = Frame(4, "TALB", Latin1("Album"));
    // v2.4: a group byte, then the data length; compressed or encrypted data is left out.
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", "\x81" + Latin1("Grouped"), 0x40))).title,
              "Grouped");
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", "\x81" + Syncsafe(7) + Latin1("Both"), 0x41))).title,
              "Both");
    for (const int hidden : {0x09, 0x04, 0x05}) {
        const TagFields fields = FieldsOf(Tag(4, Frame(4, "TIT2", Syncsafe(30) + "x\x9c\x01\x02",
                                                       static_cast<unsigned char>(hidden)) +
                                                     album));
        EXPECT_EQ(fields.title, "") << hidden;
        EXPECT_EQ(fields.album, "Album") << hidden;
    }
    // v2.3: compression (the size uncompressed, then zlib data) and encryption are left out;
    // a group byte is skipped.
    const std::string v23Album = Frame(3, "TALB", Latin1("Album"));
    for (const int hidden : {0x80, 0x40, 0xE0}) {
        const TagFields fields = FieldsOf(Tag(
            3, Frame(3, "TIT2", Word(30) + "x\x9c\x01\x02", static_cast<unsigned char>(hidden)) +
                   v23Album));
        EXPECT_EQ(fields.title, "") << hidden;
        EXPECT_EQ(fields.album, "Album") << hidden;
    }
    EXPECT_EQ(FieldsOf(Tag(3, Frame(3, "TIT2", "\x81" + Latin1("Grouped"), 0x20))).title,
              "Grouped");
    // A frame too small for what its flags announce gives nothing.
    EXPECT_EQ(FieldsOf(Tag(4, Frame(4, "TIT2", "\x81\0", 0x41) + album)).album, "Album");
}

TEST(Id3Tags, ExtendedHeadersAreSkipped) {
    // v2.3 counts its extended header without the size; v2.4 with it, syncsafe.
    const std::string v23 = Word(6) + std::string(6, '\0') + Frames(3);
    ExpectFrames(FieldsOf(Tag(3, v23, 0, 0x40)), "ID3v2.3");
    const std::string v24 = Syncsafe(6) + std::string("\x01\0", 2) + Frames(4);
    ExpectFrames(FieldsOf(Tag(4, v24, 0, 0x40)), "ID3v2.4");
    EXPECT_TRUE(FieldsOf(Tag(4, Syncsafe(3) + Frames(4), 0, 0x40)).Empty());
    // One that claims more than the tag holds leaves nothing to read.
    EXPECT_TRUE(FieldsOf(Tag(3, Word(1000) + Frames(3), 0, 0x40)).Empty());
}

TEST(Id3Tags, V24SizesWrittenAsPlainNumbersAreTolerated) {
    // 300 bytes: syncsafe the size bytes 00 00 01 2C would be 172, and land inside the text.
    const std::string title = Latin1(std::string(298, 'a') + "z");
    const std::string album = Frame(4, "TALB", Latin1("Album"), 0, true);
    TagFields fields = FieldsOf(Tag(4, Frame(4, "TIT2", title, 0, true) + album, 50));
    EXPECT_EQ(fields.title.size(), 299U);
    EXPECT_EQ(fields.album, "Album");
    // 200 bytes: the byte 0xC8 cannot be syncsafe. The tag is read so from there on.
    const std::string artist = Latin1(std::string(199, 'b'));
    fields = FieldsOf(
        Tag(4, Frame(4, "TPE1", artist, 0, true) + Frame(4, "TIT2", title, 0, true) + album));
    EXPECT_EQ(fields.artist.size(), 199U);
    EXPECT_EQ(fields.title.size(), 299U);
    EXPECT_EQ(fields.album, "Album");
    // A syncsafe size that lands on the next frame is taken as it stands.
    fields = FieldsOf(Tag(4, Frame(4, "TIT2", title) + Frame(4, "TALB", Latin1("Album"))));
    EXPECT_EQ(fields.title.size(), 299U);
    EXPECT_EQ(fields.album, "Album");
}

TEST(Id3Tags, Id3v1AndV11) {
    WatchedSource v11(std::string(500, '\x55') + V1Tag("Title  ", "Art\xEDst", 7, 13));
    TagFields fields = ReadId3v1Fields(v11, v11.Size());
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.artist, "Art\u00EDst");
    EXPECT_EQ(fields.album, "Album");
    EXPECT_EQ(fields.year, "1999");
    EXPECT_EQ(fields.track, "7");
    EXPECT_EQ(fields.genre, "Pop");
    EXPECT_EQ(fields.source, "ID3v1.1");
    EXPECT_EQ(v11.copied, 128);

    WatchedSource v10(V1Tag("Title", "", 0, 255));
    fields = ReadId3v1Fields(v10, v10.Size());
    EXPECT_EQ(fields.track, "");
    EXPECT_EQ(fields.genre, "");
    EXPECT_EQ(fields.source, "ID3v1");
    // Another end than the source's; no "TAG"; too few bytes.
    WatchedSource before(V1Tag("Title", "", 0, 255) + "APETAGEX");
    EXPECT_EQ(ReadId3v1Fields(before, 128).title, "Title");
    EXPECT_TRUE(ReadId3v1Fields(before, before.Size()).Empty());
    EXPECT_TRUE(ReadId3v1Fields(before, 127).Empty());
}

TEST(Id3Tags, LaterTagsFillWhatTheFirstLeavesEmpty) {
    const std::string v1 = V1Tag("A title cut at thirty bytes, s", "V1 Artist", 4, 0);
    const std::string audio(1000, '\x55');
    TagFields fields = FieldsOf(Tag(3, Frame(3, "TIT2", Latin1("Title"))) + audio + v1);
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.artist, "V1 Artist");
    EXPECT_EQ(fields.track, "4");
    EXPECT_EQ(fields.genre, "Blues");
    EXPECT_EQ(fields.source, "ID3v2.3+ID3v1.1");

    // A tag put in front of another: the first gives what it has.
    fields = FieldsOf(Tag(4, Frame(4, "TIT2", Latin1("New"))) + Tag(3, Frames(3)) + audio);
    EXPECT_EQ(fields.title, "New");
    EXPECT_EQ(fields.album, "Album");
    EXPECT_EQ(fields.source, "ID3v2.4+ID3v2.3");
    // A tag that gives nothing is not named.
    EXPECT_EQ(FieldsOf(Tag(3, "", 100) + audio + v1).source, "ID3v1.1");
    EXPECT_TRUE(FieldsOf(audio).Empty());
}

TEST(Id3Tags, CoverIsDescribedWithoutReadingItsImage) {
    const std::string image(200'000, '\xD8');
    const std::string front = Picture(3, "image/jpeg", "Front", image);
    const std::string frames = Frame(3, "TIT2", Latin1("Title")) +
                               Frame(3, "APIC", Picture(4, "image/png", "", "back")) +
                               Frame(3, "APIC", front) + Frame(3, "TALB", Latin1("Album"));
    const std::string file = Tag(3, frames, 4000) + std::string(5000, '\x55');
    WatchedSource source(file);
    const std::size_t imageAt = file.find(image);
    // The fields in front of the image are read as one piece, up to the bound.
    source.Forbid(imageAt + kPictureFieldsBytes, imageAt + image.size());
    const TagFields fields = ReadTagFields(source, source.Size());
    ASSERT_TRUE(fields.cover);
    EXPECT_EQ(fields.cover->type, 3);
    EXPECT_EQ(fields.cover->typeName, "front cover");
    EXPECT_EQ(fields.cover->mime, "image/jpeg");
    EXPECT_EQ(fields.cover->bytes, 200'000);
    EXPECT_EQ(fields.album, "Album");
    // The header, two text frames, a small picture, the front cover's fields, the header of
    // the padding and the last 128 bytes, where an ID3v1 tag would be.
    EXPECT_LT(source.copied, 1400);
    EXPECT_LE(source.copies, 12);

    // Without a front cover the first picture counts.
    TagFields back = FieldsOf(Tag(3, Frame(3, "APIC", Picture(4, "image/png", "", "back")) +
                                         Frame(3, "APIC", Picture(8, "image/gif", "", "artist"))));
    ASSERT_TRUE(back.cover);
    EXPECT_EQ(back.cover->typeName, "back cover");
    EXPECT_EQ(back.cover->bytes, 4);
    back = FieldsOf(Tag(3, Frame(3, "APIC", Picture(0, "image/png", "", "x")) +
                               Frame(3, "APIC", Picture(99, "image/png", "", "x"))));
    EXPECT_EQ(back.cover->typeName, "other");

    // v2.2: a format of three letters, and a UTF-16 description.
    const std::string pic = std::string("\x01JPG\x03\xFF\xFE"
                                        "D\0\0\0",
                                        11) +
                            "image";
    TagFields v22 = FieldsOf(Tag(2, Frame(2, "PIC", pic)));
    ASSERT_TRUE(v22.cover);
    EXPECT_EQ(v22.cover->mime, "image/jpeg");
    EXPECT_EQ(v22.cover->bytes, 5);
    EXPECT_EQ(FieldsOf(Tag(2, Frame(2, "PIC", std::string("\0PNG\x03\0x", 7)))).cover->mime,
              "image/png");
    EXPECT_EQ(FieldsOf(Tag(2, Frame(2, "PIC", std::string("\0GIF\x03\0x", 7)))).cover->mime,
              "image/gif");
    EXPECT_EQ(FieldsOf(Tag(2, Frame(2, "PIC", std::string("\0\0\0\0\x03\0x", 7)))).cover->mime,
              "image/");
}

TEST(Id3Tags, CoverSizeUnknownWhereTheFieldsDoNotTell) {
    const std::string image(5000, '\xFF');
    // A description that does not end within the bound.
    TagFields fields =
        FieldsOf(Tag(3, Frame(3, "APIC", Picture(3, "image/jpeg", std::string(2000, 'd'), image))));
    ASSERT_TRUE(fields.cover);
    EXPECT_EQ(fields.cover->bytes, -1);
    EXPECT_EQ(fields.cover->typeName, "front cover");
    // One that ends with the frame leaves no image.
    fields = FieldsOf(Tag(3, Frame(3, "APIC",
                                   std::string("\0image/png\0\x03"
                                               "desc",
                                               16))));
    EXPECT_EQ(fields.cover->bytes, 0);

    // An unsynchronised v2.4 picture: only the length of its data tells the image's size,
    // unless the frame is small enough to be read whole.
    const std::string body = Picture(3, "image/jpeg", "", image);
    const std::string stored = Unsynchronised(body);
    ASSERT_GT(stored.size(), body.size() + 2000);
    fields = FieldsOf(Tag(4, Frame(4, "APIC", stored, 0x02)));
    EXPECT_EQ(fields.cover->bytes, -1);
    const std::string length = Syncsafe(static_cast<std::uint32_t>(body.size()));
    fields = FieldsOf(Tag(4, Frame(4, "APIC", length + stored, 0x03)));
    EXPECT_EQ(fields.cover->bytes, 5000);
    const std::string small = Unsynchronised(Picture(3, "image/png", "", "\xFF\xFF\xFF"));
    fields = FieldsOf(Tag(4, Frame(4, "APIC", small, 0x02)));
    EXPECT_EQ(fields.cover->bytes, 3);
    // A v2.3 tag unsynchronised as a whole counts its sizes before it.
    fields = FieldsOf(Tag(3, Unsynchronised(Frame(3, "APIC", body)), 0, 0x80));
    EXPECT_EQ(fields.cover->bytes, 5000);
}

TEST(Id3Tags, HostileSizesCostTheirFieldsOnly) {
    const std::string title = Frame(3, "TIT2", Latin1("Title"));
    // A tag of 256 MiB in a file that says it has 300 MiB, zeros behind its first frame: the
    // zeros are padding.
    constexpr std::uint32_t kLargestTag = (256 << 20) - 1;
    std::string big = Tag(3, title);
    big.replace(6, 4, Syncsafe(kLargestTag));
    WatchedSource hugeTag(big, 300 << 20);
    EXPECT_EQ(ReadTagFields(hugeTag, hugeTag.Size()).title, "Title");
    EXPECT_LT(hugeTag.copied, 300);

    // A text frame of 200 MiB is read up to the bound; so is each of its kind.
    std::string bigText = Tag(3, Frame(3, "TIT2", Latin1("T")));
    bigText.replace(6, 4, Syncsafe(kLargestTag));
    bigText.replace(14, 4, Word(200 << 20));
    WatchedSource hugeFrame(bigText, 300 << 20);
    EXPECT_EQ(ReadTagFields(hugeFrame, hugeFrame.Size()).title, "T");
    EXPECT_LE(hugeFrame.largestCopy, kMostTextBytes + 10);
    EXPECT_LT(hugeFrame.copied, 70'000);

    // Unsynchronised as a whole, such a tag is read in pieces.
    bigText[5] = '\x80';
    bigText.replace(14, 4, Word(900 << 10));
    WatchedSource unsynchronised(bigText, 1 << 20);
    EXPECT_EQ(ReadTagFields(unsynchronised, unsynchronised.Size()).title, "T");
    EXPECT_LE(unsynchronised.largestCopy, 8192U);

    // Sizes of zero, or past the tag's end, end the walk; so do ids that are no ids.
    const std::string album = Frame(3, "TALB", Latin1("Album"));
    EXPECT_EQ(FieldsOf(Tag(3, title + Frame(3, "TPE1", "") + album)).album, "");
    std::string past = Tag(3, title + Frame(3, "TPE1", Latin1("Artist")) + album);
    past.replace(10 + title.size() + 4, 4, Word(1000));
    TagFields fields = FieldsOf(past + std::string(2000, 'x'));
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.artist, "");
    EXPECT_EQ(FieldsOf(Tag(3, title + Frame(3, "T\x01T2", "") + album)).album, "");
    // A tag cut short by the end of the file.
    std::string cut = Tag(3, title + album);
    cut.resize(cut.size() - 3);
    fields = FieldsOf(cut);
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.album, "");

    // A tag inside a frame is the frame's data; endless tags in front of the audio are read
    // only so far.
    fields = FieldsOf(Tag(3, Frame(3, "PRIV", Tag(3, Frame(3, "TALB", Latin1("Inner")))) + title));
    EXPECT_EQ(fields.title, "Title");
    EXPECT_EQ(fields.album, "");
    std::string chain;
    for (int i = 0; i < 100; ++i) {
        chain += Tag(3, "", 10);
    }
    EXPECT_TRUE(FieldsOf(chain + Tag(3, title)).Empty());
    EXPECT_EQ(FieldsOf(chain.substr(0, 20 * 10) + Tag(3, title)).title, "Title");
}

} // namespace
} // namespace quaverly::mpeg
