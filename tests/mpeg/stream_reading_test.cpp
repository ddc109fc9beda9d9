// The encoder's tag, the CRCs, the walk of the frames and the tags that close a file, from
// bytes built here. What real encoders write is tested on their files (tests/encoded).

#include "mpeg/crc16.h"
#include "mpeg/encoder_tag.h"
#include "mpeg/file_view.h"
#include "mpeg/frame_walk.h"
#include "mpeg/stream_facts.h"
#include "platform/file_error.h"

#include "support/memory_file_system.h"
#include "support/mp3_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly::mpeg {
namespace {

using testing::CbrFrames;

constexpr std::uint32_t kCbr128 = 0xFFFB9000; // MPEG 1 Layer III, 128 kbit/s, 44.1 kHz
constexpr std::int64_t kFrame = 417;

// A frame of the first frame's stream at another rate: 160 kbit/s, 522 bytes.
std::string Frame160() {
    std::string frame(522, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\xA0';
    return frame;
}

// Serves `bytes` to a view for the length of one call.
template <typename Use> auto WithView(const std::string& bytes, Use use) {
    testing::MemoryFileSystem files;
    files.Serve("/song.mp3", {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
    const auto file = files.OpenForReading("/song.mp3");
    FileView view;
    view.Attach(*file, static_cast<std::int64_t>(bytes.size()));
    auto result = use(view);
    view.Detach();
    return result;
}

FrameRun Walk(const std::string& bytes, WalkOptions options = {}) {
    return WithView(bytes, [&](FileView& view) {
        return WalkFrames(view, "/song.mp3", kCbr128, 0, static_cast<std::int64_t>(bytes.size()),
                          options, {});
    });
}

std::uint16_t BitwiseTagCrc(const std::string& bytes) {
    std::uint16_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
    }
    return crc;
}

TEST(Crc16, TheTagsCrcIsTheReflectedOneInPiecesOfAnyLengthOnEveryPath) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes.push_back(static_cast<char>(i * 37 + (i >> 3)));
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    EXPECT_EQ(TagCrc16(reinterpret_cast<const unsigned char*>("123456789"), 9), 0xBB3D);
    EXPECT_EQ(TagCrc16(data, bytes.size()), BitwiseTagCrc(bytes));
    for (const std::size_t split : {1UL, 7UL, 8UL, 9UL, 64UL, 333UL}) {
        EXPECT_EQ(TagCrc16(data + split, bytes.size() - split, TagCrc16(data, split)),
                  BitwiseTagCrc(bytes));
    }
    // Every length through the steps of 16, 64 and 256 bytes, from every alignment, on each
    // path this processor has.
    for (const auto path : {CrcPath::kTables, CrcPath::kFolded, CrcPath::kWideFolded}) {
        if (!CanUse(path)) {
            continue;
        }
        for (std::size_t from = 0; from < 17; ++from) {
            for (std::size_t length = 0; from + length <= 600; ++length) {
                ASSERT_EQ(TagCrc16On(path, data + from, length, 0x1234),
                          TagCrc16On(path, data + from + length / 2, length - length / 2,
                                     TagCrc16On(path, data + from, length / 2, 0x1234)))
                    << static_cast<int>(path) << ' ' << from << ' ' << length;
                ASSERT_EQ(TagCrc16On(path, data + from, length, 0),
                          BitwiseTagCrc(bytes.substr(from, length)))
                    << static_cast<int>(path) << ' ' << from << ' ' << length;
            }
        }
    }
    // The frames' CRC: not reflected, from 0xFFFF ("123456789" gives 0xAEE7).
    EXPECT_EQ(FrameCrc16(reinterpret_cast<const unsigned char*>("123456789"), 72, 0xFFFF), 0xAEE7);
}

// A first frame of 417 bytes with an "Info" header of every field at 36 and the encoder's tag
// behind it, its CRC made right.
std::string FrameWithTag(std::string_view version, int method, int preset, int bitrate) {
    std::string frame = CbrFrames(1);
    std::string tag = "Info";
    testing::PutBigEndian32(tag, 0x0F);
    testing::PutBigEndian32(tag, 100);
    testing::PutBigEndian32(tag, 41700);
    tag.append(100, '\0');
    testing::PutBigEndian32(tag, 78);
    std::string extension(36, '\0');
    extension.replace(0, version.size(), version);
    extension[9] = static_cast<char>(0x10 | method);
    extension[10] = static_cast<char>(185); // 18,500 Hz
    extension[20] = static_cast<char>(bitrate);
    extension[21] = '\x24'; // delay 576 (0x240) and padding 1,008 (0x3F0)
    extension[22] = '\x03';
    extension[23] = '\xF0';
    extension[26] = static_cast<char>((preset >> 8) & 7);
    extension[27] = static_cast<char>(preset & 0xFF);
    frame.replace(36, tag.size() + extension.size(), tag + extension);
    const auto crc = TagCrc16(reinterpret_cast<const unsigned char*>(frame.data()), 36 + 120 + 34);
    frame[36 + 120 + 34] = static_cast<char>(crc >> 8);
    frame[36 + 120 + 35] = static_cast<char>(crc & 0xFF);
    return frame;
}

std::optional<EncoderTag> Decode(const std::string& frame) {
    return DecodeEncoderTag(reinterpret_cast<const unsigned char*>(frame.data()), frame.size(),
                            36 + 120);
}

TEST(EncoderTag, FieldsSettingsAndModesAsTheTagStatesThem) {
    const auto vbr = Decode(FrameWithTag("LAME3.100", 4, 480, 32));
    ASSERT_TRUE(vbr);
    EXPECT_EQ(vbr->encoder, "LAME3.100");
    EXPECT_EQ(vbr->revision, 1);
    EXPECT_EQ(vbr->lowpassHz, 18500);
    EXPECT_EQ(vbr->delay, 576);
    EXPECT_EQ(vbr->padding, 1008);
    EXPECT_TRUE(vbr->tagCrcHolds);
    EXPECT_STREQ(BitrateModeOf(*vbr), "VBR");
    EXPECT_EQ(EncoderSettings(*vbr, 78, 128, 44100), "-V 2");
    // Below 44.1 kHz the stored quality is the encoder's own choice for the rate.
    EXPECT_EQ(EncoderSettings(*vbr, 78, 128, 22050), "");
    struct Case {
        int method, preset, bitrate;
        const char* mode;
        const char* settings;
    };
    for (const Case& c :
         {Case{1, 320, 255, "CBR", "-b 320"}, Case{1, 128, 128, "CBR", "-b 128"},
          Case{2, 160, 160, "ABR", "--abr 160"}, Case{4, 1002, 0, "VBR", "--preset extreme"},
          Case{4, 500, 0, "VBR", "-V 0"}, Case{3, 0, 0, "VBR", "-V 2"}}) {
        const auto tag = Decode(FrameWithTag("LAME3.99r", c.method, c.preset, c.bitrate));
        ASSERT_TRUE(tag);
        EXPECT_STREQ(BitrateModeOf(*tag), c.mode);
        EXPECT_EQ(EncoderSettings(*tag, 78, 320, 48000), c.settings) << c.method << ' ' << c.preset;
    }
    // An unknown method says nothing, as the tags of some libraries do.
    const auto unknown = Decode(FrameWithTag("Lavc59.37", 0, 0, 0));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(BitrateModeOf(*unknown), nullptr);
    EXPECT_EQ(EncoderSettings(*unknown, 78, 128, 44100), "");
}

TEST(EncoderTag, ABrokenCrcFreeTextAndShortBytesAreToldApart) {
    std::string broken = FrameWithTag("LAME3.100", 4, 480, 32);
    broken[36 + 120 + 10] ^= 1; // the lowpass byte
    const auto tag = Decode(broken);
    ASSERT_TRUE(tag);
    EXPECT_FALSE(tag->tagCrcHolds);
    EXPECT_TRUE(tag->fieldsKnown);
    // An older encoder wrote its version as free text: no fields behind it.
    std::string old = FrameWithTag("LAME3.88 ", 0, 0, 0);
    old.replace(36 + 120 + 9, 6, "(beta)");
    const auto text = Decode(old);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->encoder, "LAME3.88");
    EXPECT_FALSE(text->fieldsKnown);
    // No name, or fewer bytes than the tag takes.
    EXPECT_FALSE(Decode(CbrFrames(1)));
    const std::string whole = FrameWithTag("LAME3.100", 4, 480, 32);
    EXPECT_FALSE(DecodeEncoderTag(reinterpret_cast<const unsigned char*>(whole.data()),
                                  36 + 120 + 35, 36 + 120));
}

TEST(FrameWalk, CountsRatesCutsPaddingAndJunk) {
    const FrameRun whole = Walk(CbrFrames(10));
    EXPECT_EQ(whole.frames, 10);
    EXPECT_EQ(whole.bytes, 10 * kFrame);
    EXPECT_FALSE(whole.lastFrameCut || whole.ratesDiffer || whole.junkAt);
    // Zeros to the end are padding; a frame cut, or a header's first bytes, is a cut.
    EXPECT_FALSE(Walk(CbrFrames(3) + std::string(300, '\0')).lastFrameCut);
    const FrameRun cut = Walk(CbrFrames(4).substr(0, 3 * kFrame + 200));
    EXPECT_TRUE(cut.lastFrameCut);
    EXPECT_EQ(cut.frames, 3);
    EXPECT_TRUE(Walk(CbrFrames(3) + "\xFF\xFB").lastFrameCut);
    // Rates that differ.
    EXPECT_TRUE(Walk(CbrFrames(2) + Frame160() + CbrFrames(2)).ratesDiffer);
    // Junk inside: found again, and where it was lost; junk at the end is not inside.
    const FrameRun junk = Walk(CbrFrames(3) + std::string(100, 'j') + CbrFrames(3));
    EXPECT_EQ(junk.frames, 6);
    EXPECT_EQ(junk.junkAt, 3 * kFrame);
    EXPECT_FALSE(Walk(CbrFrames(3) + std::string(100, 'j')).junkAt);
    // A frame of another stream (MPEG 2) is junk here.
    std::string other = CbrFrames(3);
    other[kFrame + 1] = '\xF3';
    EXPECT_TRUE(Walk(other).junkAt);
    // At most the frames asked for.
    EXPECT_EQ(Walk(CbrFrames(10), {.maxFrames = 4}).frames, 4);
}

TEST(FrameWalk, JunkAndZerosFarBeyondTheFramesAskTheCancelCheck) {
    for (const char filler : {'j', '\0'}) {
        const std::string bytes = CbrFrames(2) + std::string(2 * kCancelCheckBytes, filler) + "x";
        int asked = 0;
        const TagSizeSource::CancelCheck cancelled = [&asked] { return ++asked > 0; };
        EXPECT_THROW(WithView(bytes,
                              [&](FileView& view) {
                                  return WalkFrames(view, "/song.mp3", kCbr128, 0,
                                                    static_cast<std::int64_t>(bytes.size()), {},
                                                    cancelled);
                              }),
                     platform::FileError)
            << int(filler);
        EXPECT_EQ(asked, 1);
    }
}

TEST(FrameWalk, VerifyingChecksProtectedFramesAndTheAudiosCrc) {
    // Protected frames (the protection bit clear) whose CRC is made right.
    std::string frames = CbrFrames(4);
    for (int i = 0; i < 4; ++i) {
        char* frame = frames.data() + i * kFrame;
        frame[1] = '\xFA';
        frame[6 + 5] = static_cast<char>(i + 1); // some side information
        const auto* bytes = reinterpret_cast<const unsigned char*>(frame);
        const std::uint16_t crc = FrameCrc16(bytes + 6, 32 * 8, FrameCrc16(bytes + 2, 16, 0xFFFF));
        frame[4] = static_cast<char>(crc >> 8);
        frame[5] = static_cast<char>(crc & 0xFF);
    }
    const auto walk = [&](const std::string& bytes) {
        return WithView(bytes, [&](FileView& view) {
            return WalkFrames(view, "/song.mp3", 0xFFFA9000, 0,
                              static_cast<std::int64_t>(bytes.size()),
                              {.verify = true, .musicBytes = 3 * kFrame}, {});
        });
    };
    const FrameRun sound = walk(frames);
    EXPECT_EQ(sound.crcFailures, 0);
    EXPECT_EQ(sound.musicCrc,
              TagCrc16(reinterpret_cast<const unsigned char*>(frames.data()), 3 * kFrame));
    // Junk between the frames is not the audio the encoder wrote.
    const std::string junk = frames.substr(0, kFrame) + "junk" + frames.substr(kFrame);
    EXPECT_EQ(walk(junk).musicCrc, sound.musicCrc);
    std::string damaged = frames;
    damaged[2 * kFrame + 6 + 3] ^= 0x10;
    const FrameRun failed = walk(damaged);
    EXPECT_EQ(failed.crcFailures, 1);
    EXPECT_EQ(failed.firstCrcFailure, 2 * kFrame);
    EXPECT_NE(failed.musicCrc, sound.musicCrc);
}

TEST(AudioEnd, ClosingTagsInAnyOrderAreLeftOut) {
    const std::string audio = CbrFrames(5);
    const auto end = [](const std::string& bytes) {
        return WithView(bytes, [](FileView& view) { return AudioEnd(view, 0); });
    };
    std::string id3v1 = "TAG" + std::string(125, ' ');
    std::string ape(32, '\0');
    ape.replace(0, 8, "APETAGEX");
    ape[12] = 32 + 40; // the items and the footer
    const std::string apeTag = std::string(40, 'a') + ape;
    const std::string lyrics = "LYRICSBEGIN" + std::string(20, 'l') + "000031LYRICS200";
    const auto size = static_cast<std::int64_t>(audio.size());
    EXPECT_EQ(end(audio), size);
    EXPECT_EQ(end(audio + id3v1), size);
    EXPECT_EQ(end(audio + apeTag + id3v1), size);
    EXPECT_EQ(end(audio + lyrics + id3v1), size);
    EXPECT_EQ(end(audio + id3v1 + apeTag), size);
    // A size that claims more than the file holds is no tag.
    std::string lying = apeTag;
    lying[40 + 13] = '\x7F';
    EXPECT_EQ(end(audio + lying), size + static_cast<std::int64_t>(lying.size()));
}

} // namespace
} // namespace quaverly::mpeg
