#include "mpeg/frame_header.h"
#include "mpeg/mp3_analyzer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace quaverly {
namespace {

using Bytes = std::array<unsigned char, 4>;

struct Decoded {
    Bytes bytes;
    float version;
    std::int32_t sampleRate;
    std::int32_t bitrate;
    std::int32_t frameLength;
};

// Words that pass the test, with what the analyser derives from them. Frame lengths follow
// ISO/IEC 11172-3 and 13818-3.
constexpr std::array<Decoded, 12> kValidWords = {{
    {{0xFF, 0xFB, 0x90, 0x00}, 1.0F, 44100, 128, 417}, // MPEG 1 Layer III
    {{0xFF, 0xFB, 0x92, 0x00}, 1.0F, 44100, 128, 418}, // padded
    {{0xFF, 0xF3, 0x90, 0x00}, 2.0F, 22050, 80, 261},  // MPEG 2 Layer III
    {{0xFF, 0xF3, 0x92, 0x00}, 2.0F, 22050, 80, 262},  // padded
    {{0xFF, 0xE3, 0x90, 0x00}, 2.5F, 11025, 80, 522},  // MPEG 2.5 Layer III
    {{0xFF, 0xE3, 0x10, 0x00}, 2.5F, 11025, 8, 52},    //
    {{0xFF, 0xFD, 0x90, 0x00}, 1.0F, 44100, 160, 522}, // MPEG 1 Layer II
    {{0xFF, 0xFF, 0x10, 0x00}, 1.0F, 44100, 32, 32},   // MPEG 1 Layer I: whole 4-byte slots
    {{0xFF, 0xFF, 0x12, 0x00}, 1.0F, 44100, 32, 36},   // padded by one slot
    {{0xFF, 0xF7, 0x10, 0x00}, 2.0F, 22050, 32, 68},   // MPEG 2 Layer I
    {{0xFF, 0xF5, 0xD4, 0x00}, 2.0F, 24000, 144, 864}, // MPEG 2 Layer II keeps 1152 samples
    {{0xFF, 0xFB, 0x94, 0x00}, 1.0F, 48000, 128, 384}, // a whole-number length stays whole
}};

TEST(FrameHeaderValidWords, DecodeVersionRateBitrateAndLength) {
    for (const Decoded& word : kValidWords) {
        CMp3Analyzer analyzer;
        SCOPED_TRACE(::testing::Message() << std::hex << mpeg::ReadBigEndian32(word.bytes.data()));
        EXPECT_EQ(analyzer.IsValidHeader(word.bytes.data()), 1);
        EXPECT_EQ(analyzer.m_dwHeader, mpeg::ReadBigEndian32(word.bytes.data()));
        EXPECT_EQ(analyzer.GetMpegVersion(), word.version);
        EXPECT_EQ(analyzer.GetSampleRate(), word.sampleRate);
        EXPECT_EQ(analyzer.GetHeaderBitrate(), word.bitrate);
        EXPECT_EQ(analyzer.GetFrameLength(), word.frameLength);
    }
}

TEST(FrameHeaderValidWords, IgnoreProtectionPrivateModeAndFlagBits) {
    CMp3Analyzer analyzer;
    const Bytes word = {0xFF, 0xFA, 0x91,
                        0xFD}; // CRC, private, mono, extension, flags, emphasis 01
    EXPECT_EQ(analyzer.IsValidHeader(word.data()), 1);
    EXPECT_EQ(analyzer.GetFrameLength(), 417);
}

TEST(FrameHeaderInvalidWords, FailButStayInHeaderWord) {
    const std::array<Bytes, 7> invalid = {{
        {0xFF, 0xFB, 0x00, 0x00}, // free-format bitrate index 0
        {0xFF, 0xFB, 0xF0, 0x00}, // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x00}, // sample-rate index 3
        {0xFF, 0xFB, 0x90, 0x02}, // emphasis 10
        {0xFF, 0xEB, 0x90, 0x00}, // version 01
        {0xFF, 0xF9, 0x90, 0x00}, // layer 00
        {0xFF, 0xDB, 0x90, 0x00}, // only ten sync bits
    }};
    for (const Bytes& word : invalid) {
        CMp3Analyzer analyzer;
        EXPECT_EQ(analyzer.IsValidHeader(word.data()), 0);
        EXPECT_EQ(analyzer.m_dwHeader, mpeg::ReadBigEndian32(word.data()));
    }
}

TEST(FrameHeaderInvalidWords, LookUpBitrateByVersionBit19Only) {
    CMp3Analyzer analyzer;
    const Bytes layer00 = {0xFF, 0xF9, 0x90, 0x00};
    analyzer.IsValidHeader(layer00.data());
    EXPECT_EQ(analyzer.GetHeaderBitrate(), 144);
    const Bytes version01 = {0xFF, 0xEB, 0x90, 0x00};
    analyzer.IsValidHeader(version01.data());
    EXPECT_EQ(analyzer.GetHeaderBitrate(), 128);
    EXPECT_EQ(analyzer.GetSampleRate(), 0);
    EXPECT_EQ(analyzer.GetFrameLength(), 0);
}

} // namespace
} // namespace quaverly
