#include "mpeg/mp3_analyzer.h"

#include "mpeg/file_view.h"
#include "mpeg/frame_header.h"
#include "mpeg/vbri_header.h"
#include "support/fake_file_system.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <id3/tag.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quaverly {
namespace {

namespace fs = std::filesystem;
using platform::FileError;
using platform::FileErrorCause;
using FakeFileSystem = quaverly::testing::FakeFileSystem;
using Bytes = std::vector<unsigned char>;

constexpr std::int64_t kBlock = static_cast<std::int64_t>(mpeg::FileView::kBlockSize);

const fs::path kDataDir = QUAVERLY_TEST_DATA_DIR;

// A directory of its own for each test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() : m_path(testing::MakeUniqueFolder("quaverly-mpeg")) {}
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const fs::path path = m_path / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    // Writes `bytes` at `offset` of an existing file, leaving a hole before them.
    static void WriteAt(const std::string& path, std::int64_t offset, const Bytes& bytes) {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(offset);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    fs::path Path() const { return m_path; }

private:
    fs::path m_path;
};

Bytes WordBytes(std::uint32_t word) {
    return {static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
            static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
}

void Put(Bytes& data, std::size_t offset, const Bytes& bytes) {
    if (data.size() < offset + bytes.size()) {
        data.resize(offset + bytes.size());
    }
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A "Xing" header as the probe reads it: tag, flags, frame count.
Bytes XingBytes(std::int32_t frames, std::uint32_t flags = 0x0F) {
    Bytes bytes = {'X', 'i', 'n', 'g'};
    const Bytes flagBytes = WordBytes(flags);
    const Bytes count = WordBytes(static_cast<std::uint32_t>(frames));
    bytes.insert(bytes.end(), flagBytes.begin(), flagBytes.end());
    bytes.insert(bytes.end(), count.begin(), count.end());
    return bytes;
}

// `count` frames headed by `word`, with silent (zero) bodies.
Bytes Frames(std::uint32_t word, int count) {
    const auto length = static_cast<std::size_t>(mpeg::FrameLength(word));
    Bytes data(length * static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        Put(data, length * static_cast<std::size_t>(i), WordBytes(word));
    }
    return data;
}

// The per-file calling sequence of the listing.
void Analyse(CMp3Analyzer& analyzer, const std::string& path) {
    analyzer.m_strPath = path;
    analyzer.m_bVbr = 0;
    analyzer.FindFirstFrame(analyzer.m_strPath);
}

std::int64_t LibraryPrependedBytes(const std::string& path) {
    ID3_Tag tag;
    tag.Link(path.c_str(), ID3TT_ALL);
    const auto bytes = static_cast<std::int64_t>(tag.GetPrependedBytes());
    tag.Clear();
    return bytes;
}

// The scan as a position-by-position model, without blocks or skipping, for comparison.
struct ModelScan {
    std::int64_t offset;
    std::uint32_t lastWord;
};
ModelScan ScanModel(const Bytes& data, std::int64_t start, std::uint32_t lastWord) {
    const auto size = static_cast<std::int64_t>(data.size());
    const auto wordAt = [&](std::int64_t at) {
        std::array<unsigned char, 4> word{};
        for (std::int64_t i = 0; i < 4 && at + i < size; ++i) {
            word[static_cast<std::size_t>(i)] = data[static_cast<std::size_t>(at + i)];
        }
        return mpeg::ReadBigEndian32(word.data());
    };
    for (std::int64_t at = start; at < size; ++at) {
        const std::uint32_t word = wordAt(at);
        lastWord = word;
        if (!mpeg::IsValidHeaderWord(word)) {
            continue;
        }
        const std::int64_t next = at + mpeg::FrameLength(word);
        if (next >= size) {
            return {-1, lastWord};
        }
        lastWord = wordAt(next);
        if (mpeg::IsValidHeaderWord(lastWord)) {
            return {at, word};
        }
    }
    return {-1, lastWord};
}

constexpr std::uint32_t kMpeg1Layer3 = 0xFFFB9000;      // 128 kbit/s, 44.1 kHz, 417 bytes
constexpr std::uint32_t kMpeg1Layer3Mono = 0xFFFB90C0;  // the same, single channel
constexpr std::uint32_t kMpeg2Layer3 = 0xFFF39000;      // 80 kbit/s, 22.05 kHz, 261 bytes
constexpr std::uint32_t kMpeg25Layer3Mono = 0xFFE390C0; // 80 kbit/s, 11.025 kHz, 522 bytes
constexpr std::uint32_t kMpeg1Layer1 = 0xFFFF1400;      // 32 kbit/s, 48 kHz, 32 bytes
constexpr std::uint32_t kMpeg1Layer2 = 0xFFFD9000;      // 160 kbit/s, 44.1 kHz, 522 bytes

// Files made by real encoders (tests/data/make-test-files).
struct EncodedFile {
    const char* name;
    std::int64_t frameOffset;
    std::int32_t vbr;
    std::int32_t bitrate;
};

// Sizes and counts of the VBR files, by hand: vbr_xing_44100.mp3 holds 5082 bytes from its first
// frame and counts 17 frames: 5082 / 17 * 44100 / 144000 = 91.5. MPEG 2.5 at 8 kHz: 3168 / 15 *
// 8000 / 72000 = 23.5.
TEST(EncodedFiles, FirstFrameAndBitrate) {
    constexpr std::array<EncodedFile, 15> expected = {{
        {"cbr_128k_44100_info_frame.mp3", 0, 0, 128}, // "Info" is no "Xing"
        {"cbr_128k_44100_no_info_frame.mp3", 0, 0, 128},
        {"cbr_64k_44100_mono.mp3", 0, 0, 64},
        {"cbr_64k_mpeg2_22050.mp3", 0, 0, 64},
        {"cbr_16k_mpeg25_8000_mono.mp3", 0, 0, 16},
        {"layer2_192k_48000.mp3", 0, 0, 192},
        {"vbr_xing_44100.mp3", 0, 1, 91},
        {"abr_96k_xing_32000.mp3", 0, 1, 68},
        {"vbr_xing_44100_mono.mp3", 0, 1, 56},
        {"vbr_xing_mpeg2_22050.mp3", 0, 1, 52},
        {"vbr_xing_mpeg25_8000_mono.mp3", 0, 1, 23},
        {"cbr_128k_id3v23_text.mp3", 670, 0, 128},
        {"cbr_128k_id3v2_padded.mp3", 406, 0, 128},
        {"vbr_xing_id3v23_picture.mp3", 1984, 1, 91},
        {"vbr_xing_id3v1_and_id3v2.mp3", 1062, 1, 93},
    }};
    // One analyser for all, as in a listing run: nothing of one file may leak into the next.
    CMp3Analyzer analyzer;
    for (const EncodedFile& file : expected) {
        SCOPED_TRACE(file.name);
        Analyse(analyzer, (kDataDir / file.name).string());
        EXPECT_EQ(analyzer.m_nFrameOffset, file.frameOffset);
        EXPECT_EQ(analyzer.m_bVbr, file.vbr);
        EXPECT_EQ(analyzer.GetBitrate(), file.bitrate);
        EXPECT_FALSE(analyzer.OpenFailure());
    }
}

TEST(EncodedFiles, XingFrameCountsAndProbeBytes) {
    CMp3Analyzer analyzer;
    Analyse(analyzer, (kDataDir / "vbr_xing_mpeg25_8000_mono.mp3").string());
    EXPECT_EQ(analyzer.GetFrameCount(), 15);
    EXPECT_EQ(std::memcmp(analyzer.m_abProbe.data(), "Xing", 4), 0);
    Analyse(analyzer, (kDataDir / "cbr_128k_44100_info_frame.mp3").string());
    EXPECT_EQ(analyzer.m_nXingFrames, -1);
    EXPECT_EQ(std::memcmp(analyzer.m_abProbe.data(), "Info", 4), 0);
}

// The tag size comes from the library through our reader over the analyser's view; it must be
// what the library says when it opens the path itself, damaged and odd tags included.
TEST(TagSize, MatchesTheLibraryReadingThePath) {
    const ScratchDir dir;
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(kDataDir)) {
        if (entry.path().extension() == ".mp3") {
            paths.push_back(entry.path().string());
        }
    }
    const Bytes audio = Frames(kMpeg1Layer3, 3);
    const auto tagHeader = [](unsigned char major, std::uint32_t size) {
        Bytes header = {'I', 'D', '3', major, 0, 0};
        for (const int shift : {21, 14, 7, 0}) {
            header.push_back(static_cast<unsigned char>((size >> shift) & 0x7F)); // synchsafe
        }
        return header;
    };
    const auto withAudio = [&](Bytes front) {
        front.insert(front.end(), audio.begin(), audio.end());
        return front;
    };
    const auto tagged = [&](const char* file) {
        std::ifstream in(kDataDir / file, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    Bytes padded = tagHeader(3, 20);
    padded.resize(30, 0);
    Bytes oversized = tagged("cbr_128k_id3v23_text.mp3");
    oversized[8] = 0x7F; // claims far more than the file holds
    Bytes twoTags = tagged("cbr_128k_id3v23_text.mp3");
    const Bytes secondTag(twoTags.begin(), twoTags.begin() + 670);
    twoTags.insert(twoTags.begin(), secondTag.begin(), secondTag.end());
    Bytes truncatedTag = tagged("vbr_xing_id3v23_picture.mp3");
    truncatedTag.resize(1500);

    paths.push_back(dir.Write("leading_zeros.mp3", withAudio(Bytes(100, 0))));
    paths.push_back(dir.Write("tag_then_zeros.mp3", withAudio(padded)));
    paths.push_back(dir.Write("tag_then_sync_and_zeros.mp3", withAudio([&] {
                                  Bytes front = padded;
                                  Put(front, front.size(), {0xFF, 0, 0, 0, 0, 0});
                                  return front;
                              }())));
    paths.push_back(dir.Write("unknown_version.mp3", withAudio(tagHeader(5, 20))));
    paths.push_back(dir.Write("oversized_tag.mp3", oversized));
    paths.push_back(dir.Write("two_tags.mp3", twoTags));
    paths.push_back(dir.Write("truncated_tag.mp3", truncatedTag));
    paths.push_back(dir.Write("tag_header_only.mp3", tagHeader(3, 0)));
    paths.push_back(dir.Write("empty.mp3", {}));
    paths.push_back(dir.Write("zeros_only.mp3", Bytes(5000, 0)));
    paths.push_back(dir.Write("riff.mp3", withAudio({'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W'})));

    CMp3Analyzer analyzer;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(analyzer.GetId3v2Size(path), LibraryPrependedBytes(path));
    }
    EXPECT_EQ(analyzer.GetId3v2Size((dir.Path() / "leading_zeros.mp3").string()), 100);
    EXPECT_EQ(analyzer.GetId3v2Size((dir.Path() / "tag_then_zeros.mp3").string()), 30);
    // Not compared: a file shorter than a tag header that starts with "ID3", for which the
    // library decides on bytes it never read (uninitialised memory). The scan ends the same.
}

class StreamScan : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes) { return m_dir.Write("scan.mp3", bytes); }
    void AnalyseBytes(const Bytes& bytes) { Analyse(m_analyzer, Write(bytes)); }

    ScratchDir m_dir;
    CMp3Analyzer m_analyzer;
};

TEST_F(StreamScan, FrameAtStartConfirmedByItsFollower) {
    AnalyseBytes(Frames(kMpeg1Layer3, 2));
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 0);
    EXPECT_EQ(m_analyzer.m_dwHeader, kMpeg1Layer3);
    EXPECT_EQ(m_analyzer.m_bVbr, 0);
    EXPECT_EQ(m_analyzer.GetBitrate(), 128);
}

TEST_F(StreamScan, StartsBehindTheTagAndNeverLooksInside) {
    // A tag whose padding holds a pair of frames; the audio behind it starts with other frames.
    Bytes data = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x08, 0x00}; // 1024 bytes of tag body
    data.resize(10 + 1024, 0);
    Put(data, 10 + 100, Frames(kMpeg1Layer1, 2));
    Put(data, data.size(), Frames(kMpeg2Layer3, 2));
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 1034);
    EXPECT_EQ(m_analyzer.GetBitrate(), 80);
}

TEST_F(StreamScan, UnconfirmedCandidateResumesOneByteLater) {
    // 0 fails its follower at 417; the pair at 5 and 422 is found, not the candidate at 422
    // (whose follower at 839 is missing) nor nothing.
    Bytes data(1000, 0x11);
    Put(data, 0, WordBytes(kMpeg1Layer3));
    Put(data, 5, WordBytes(kMpeg1Layer3));
    Put(data, 422, WordBytes(kMpeg1Layer3));
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 5);
}

TEST_F(StreamScan, CandidateWhoseFollowerLiesPastTheEndEndsTheScan) {
    // The pair of short frames at 100 would qualify, but the first candidate's follower at 417
    // lies beyond the 400-byte file.
    Bytes data(400, 0x22);
    Put(data, 0, WordBytes(kMpeg1Layer3));
    Put(data, 100, Frames(kMpeg1Layer1, 2));
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(m_analyzer.m_dwHeader, kMpeg1Layer3);
    EXPECT_EQ(m_analyzer.GetBitrate(), 0);
}

TEST_F(StreamScan, SingleFrameFileHasNoFrame) {
    AnalyseBytes(Frames(kMpeg1Layer3, 1));
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(m_analyzer.GetBitrate(), 0);
}

TEST_F(StreamScan, BytesPastTheEndReadAsZero) {
    // Three bytes of a header at the very end pass with a zero fourth byte; the last word
    // tested is theirs.
    Bytes data(50, 0x33);
    Put(data, 47, {0xFF, 0xFB, 0x90});
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(m_analyzer.m_dwHeader, kMpeg1Layer3);
    // Cut one byte shorter, the candidate fails, and the last position's word is tested last.
    data.resize(49);
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_dwHeader, 0xFB000000U);
}

TEST_F(StreamScan, EmptyFileTestsNoWord) {
    AnalyseBytes(Frames(kMpeg2Layer3, 2));
    AnalyseBytes({});
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(m_analyzer.m_dwHeader, kMpeg2Layer3);
    EXPECT_EQ(m_analyzer.GetBitrate(), 0);
}

TEST_F(StreamScan, TagCoveringTheWholeFileLeavesNothingToScan) {
    Bytes data = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x10, 0x00}; // claims 2048 bytes
    Put(data, 10, Frames(kMpeg1Layer3, 2));
    data.resize(1500);
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
}

TEST_F(StreamScan, AgreesWithAPositionByPositionScanAcrossBlocks) {
    // Random bytes rich in sync bytes, with headers planted around the block boundaries: the
    // block-wise scan with its skipping must find the same frame and leave the same last word.
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Bytes data(static_cast<std::size_t>(3 * kBlock + 5000));
        for (unsigned char& byte : data) {
            byte = (random() % 4 == 0) ? 0xFF : static_cast<unsigned char>(random() % 255);
        }
        data[0] = 'R'; // neither a tag, nor padding
        std::uniform_int_distribution<std::int64_t> near(-1800, 8);
        for (std::int64_t block = 1; block <= 3; ++block) {
            for (int i = 0; i < 40; ++i) {
                const auto at = static_cast<std::size_t>(block * kBlock + near(random));
                Put(data, at, WordBytes(i % 2 == 0 ? kMpeg1Layer2 : kMpeg1Layer3));
            }
        }
        if (seed % 3 == 0) {
            // A confirmed pair straddling a boundary.
            Put(data, static_cast<std::size_t>(2 * kBlock - 200), Frames(kMpeg1Layer3, 2));
        }
        const std::string path = Write(data);
        const ModelScan model = ScanModel(data, LibraryPrependedBytes(path), m_analyzer.m_dwHeader);
        Analyse(m_analyzer, path);
        EXPECT_EQ(m_analyzer.m_nFrameOffset, model.offset);
        EXPECT_EQ(m_analyzer.m_dwHeader, model.lastWord);
    }
}

class XingProbe : public StreamScan {};

TEST_F(XingProbe, PositionDependsOnVersionAndChannels) {
    struct Case {
        std::uint32_t word;
        std::size_t frameOffset;
        std::size_t probe;
    };
    const std::array<Case, 4> cases = {{
        {kMpeg1Layer3, 417, 453},
        {kMpeg1Layer3Mono, 0, 21},
        {kMpeg2Layer3, 0, 21},
        {kMpeg25Layer3Mono, 0, 13},
    }};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.probe);
        for (const std::size_t shift : {std::size_t{0}, std::size_t{1}}) {
            Bytes data(c.frameOffset, 'a');
            Put(data, c.frameOffset, Frames(c.word, 3));
            Put(data, c.probe + shift, XingBytes(1234));
            AnalyseBytes(data);
            EXPECT_EQ(m_analyzer.m_nFrameOffset, static_cast<std::int64_t>(c.frameOffset));
            EXPECT_EQ(m_analyzer.m_bVbr, shift == 0 ? 1 : 0);
            EXPECT_EQ(m_analyzer.m_nXingFrames, shift == 0 ? 1234 : -1);
        }
    }
}

TEST_F(XingProbe, OnlyTheExactTagCountsAndItsFlagsAreIgnored) {
    Bytes data = Frames(kMpeg1Layer3, 3);
    Put(data, 36, XingBytes(2, 0)); // flags say: no frame count
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_bVbr, 1);
    EXPECT_EQ(m_analyzer.GetFrameCount(), 2);
    Put(data, 36, {'x', 'i', 'n', 'g'});
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_bVbr, 0);
    EXPECT_EQ(m_analyzer.GetBitrate(), 128);
}

TEST_F(XingProbe, FrameCountOfZeroOrBelowGivesTheHeaderBitrate) {
    for (const std::int32_t count : {0, -5}) {
        Bytes data = Frames(kMpeg1Layer3, 3);
        Put(data, 36, XingBytes(count));
        AnalyseBytes(data);
        EXPECT_EQ(m_analyzer.m_bVbr, 1);
        EXPECT_EQ(m_analyzer.GetBitrate(), 128);
    }
}

TEST_F(XingProbe, IsClearedBeforeItsReadNearTheEnd) {
    // Layer I frames of 32 bytes: the probe at 36 runs past the end of this 40-byte file, and
    // the count it would hold is zero, never an earlier file's.
    Bytes earlier = Frames(kMpeg1Layer3, 3);
    Put(earlier, 36, XingBytes(777));
    AnalyseBytes(earlier);
    Bytes data = Frames(kMpeg1Layer1, 1);
    Put(data, 32, WordBytes(kMpeg1Layer1));
    Put(data, 36, {'X', 'i', 'n', 'g'});
    AnalyseBytes(data);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 0);
    EXPECT_EQ(m_analyzer.m_bVbr, 1);
    EXPECT_EQ(m_analyzer.m_nXingFrames, 0);
    EXPECT_EQ(m_analyzer.GetBitrate(), 32);
}

class AverageBitrate : public StreamScan {
protected:
    // Frames and a "Xing" count at `offset`, the file then stretched to `size` with a hole.
    void AnalyseSparse(std::uint32_t word, std::size_t offset, std::int32_t count,
                       std::int64_t size) {
        Bytes data(offset, 'a');
        Put(data, offset, Frames(word, 2));
        Put(data, offset + static_cast<std::size_t>(mpeg::XingProbeOffset(word)), XingBytes(count));
        const std::string path = Write(data);
        fs::resize_file(path, static_cast<std::uintmax_t>(size));
        Analyse(m_analyzer, path);
    }
};

TEST_F(AverageBitrate, UsesTheFramesSamplesPerByte) {
    AnalyseSparse(kMpeg1Layer3, 417, 10000, 5000417); // 500 bytes a frame
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 417);
    EXPECT_EQ(m_analyzer.GetBitrate(), 153);
    AnalyseSparse(kMpeg2Layer3, 0, 10000, 4000000); // 400 bytes of 576 samples
    EXPECT_EQ(m_analyzer.GetBitrate(), 122);
    AnalyseSparse(kMpeg1Layer2, 0, 1000, 522500); // 522.5 bytes of 1152 samples
    EXPECT_EQ(m_analyzer.GetBitrate(), 160);
    AnalyseSparse(kMpeg1Layer1, 0, 1000, 32000); // 32 bytes of 384 samples
    EXPECT_EQ(m_analyzer.GetBitrate(), 32);
}

TEST_F(AverageBitrate, RoundsTheByteCountToSinglePrecision) {
    // 16 777 225 bytes become 16 777 224: 5 138 024, where the exact count gives 5 138 025.
    AnalyseSparse(kMpeg1Layer3, 0, 1, 16777225);
    EXPECT_EQ(m_analyzer.GetBitrate(), 5138024);
}

TEST(StateAcrossFiles, NoFrameMeansNoBitrateAndKeepsTheEarlierProbe) {
    const ScratchDir dir;
    CMp3Analyzer analyzer;
    Analyse(analyzer, (kDataDir / "vbr_xing_44100.mp3").string());
    const auto probe = analyzer.m_abProbe;
    Bytes frameless(3000, 0x44);
    Put(frameless, 2000, {0xFF, 0xFB, 0x90, 0x00}); // a word with a bitrate, unconfirmed
    Analyse(analyzer, dir.Write("frameless.mp3", frameless));
    EXPECT_EQ(analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(analyzer.m_bVbr, 0);
    EXPECT_EQ(analyzer.GetBitrate(), 0);
    EXPECT_EQ(analyzer.m_nXingFrames, 17);
    EXPECT_EQ(analyzer.m_abProbe, probe);
    Analyse(analyzer, (kDataDir / "cbr_64k_44100_mono.mp3").string());
    EXPECT_EQ(analyzer.GetBitrate(), 64);
}

TEST(LargeFiles, SizeBeyond4GiBEntersTheAverage) {
    // A sparse 5 GiB file: 5 GiB / 10 000 000 frames * 44 100 / 144 000 = 164; a 32-bit size
    // would give 32.
    const ScratchDir dir;
    Bytes data = Frames(kMpeg1Layer3, 2);
    Put(data, 36, XingBytes(10000000));
    const std::string path = dir.Write("huge.mp3", data);
    fs::resize_file(path, 5ULL << 30);
    CMp3Analyzer analyzer;
    Analyse(analyzer, path);
    EXPECT_EQ(analyzer.m_nFrameOffset, 0);
    EXPECT_EQ(analyzer.GetBitrate(), 164);
}

TEST(LargeFiles, FrameBeyond2GiBIsFound) {
    // The scan crosses 2 GiB of hole to a pair of frames. The file starts with a sync byte and
    // no padding, so the tag library does not walk the hole either. Reads that lie wholly in the
    // hole are answered with nothing, which the analyser takes as zeros, the hole's content:
    // reading 2 GiB of hole from the kernel would only make the test slow.
    const ScratchDir dir;
    const std::string path = dir.Write("far.mp3", {0xFF, 0x01, 0x02, 0x03});
    const std::int64_t offset = (2LL << 30) + 417;
    ScratchDir::WriteAt(path, offset, Frames(kMpeg2Layer3, 2));
    FakeFileSystem fileSystem;
    fileSystem.onRead = [offset](const std::string&, std::uint64_t at, std::size_t& count) {
        if (at >= 4 && at + count <= static_cast<std::uint64_t>(offset)) {
            count = 0;
        }
    };
    CMp3Analyzer analyzer(fileSystem);
    Analyse(analyzer, path);
    EXPECT_EQ(analyzer.m_nFrameOffset, offset);
    EXPECT_EQ(analyzer.GetBitrate(), 80);
}

TEST(Unopenable, FifoDirectoryAndMissingFileHaveNoFrameAndSayWhy) {
    const ScratchDir dir;
    const std::string folder = (dir.Path() / "folder.mp3").string();
    fs::create_directory(folder);
    const std::string missing = (dir.Path() / "missing.mp3").string();
    std::vector<std::pair<std::string, FileErrorCause>> cases{
        {folder, FileErrorCause::NotRegularFile}, {missing, FileErrorCause::NotFound}};
#ifndef _WIN32
    const std::string fifo = (dir.Path() / "pipe.mp3").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cases.emplace_back(fifo, FileErrorCause::NotRegularFile);
#endif

    CMp3Analyzer analyzer;
    for (const auto& [path, cause] : cases) {
        SCOPED_TRACE(path);
        Analyse(analyzer, (kDataDir / "cbr_64k_44100_mono.mp3").string());
        Analyse(analyzer, path);
        EXPECT_EQ(analyzer.m_nFrameOffset, -1);
        ASSERT_TRUE(analyzer.OpenFailure());
        EXPECT_EQ(analyzer.OpenFailure()->Cause(), cause);
        EXPECT_EQ(analyzer.GetBitrate(), 0);
    }
    Analyse(analyzer, (kDataDir / "cbr_64k_44100_mono.mp3").string());
    EXPECT_FALSE(analyzer.OpenFailure());
}

class FailingFileSystem : public ::testing::Test {
protected:
    FailingFileSystem() {
        m_fileSystem.onRead = [this](const std::string&, std::uint64_t offset, std::size_t& count) {
            ++m_reads;
            m_bytesRead += count;
            if (m_readLimit && offset + count > *m_readLimit) {
                count =
                    offset >= *m_readLimit ? 0 : static_cast<std::size_t>(*m_readLimit - offset);
            }
            if (m_failingRead && m_reads >= *m_failingRead &&
                (m_failingReads == 0 || m_reads < *m_failingRead + m_failingReads)) {
                throw FileError(m_cause, 0, "read", "file.mp3");
            }
        };
    }

    // Zeros, then a pair of frames at `frames`, then zeros to `size`.
    std::string WriteFramesAt(std::int64_t frames, std::int64_t size) {
        Bytes data(static_cast<std::size_t>(size), 0);
        data[0] = 'Z';
        Put(data, static_cast<std::size_t>(frames), Frames(kMpeg1Layer3, 2));
        return m_dir.Write("file.mp3", data);
    }
    // Reads from the nth (counted from the fixture's start) fail with `cause`: `times` of them,
    // or all when `times` is 0.
    void FailReadsFrom(int nth, FileErrorCause cause, int times = 0) {
        m_failingRead = nth;
        m_failingReads = times;
        m_cause = cause;
    }
    int ReadsToMeasureTheTag(const std::string& path) {
        const int before = m_reads;
        m_analyzer.GetId3v2Size(path);
        const int reads = m_reads - before;
        return reads;
    }

    ScratchDir m_dir;
    FakeFileSystem m_fileSystem;
    CMp3Analyzer m_analyzer{m_fileSystem};
    int m_reads = 0;
    std::uint64_t m_bytesRead = 0;
    std::optional<int> m_failingRead;
    int m_failingReads = 0;
    FileErrorCause m_cause = FileErrorCause::InputOutput;
    std::optional<std::uint64_t> m_readLimit;
};

TEST_F(FailingFileSystem, UnreadableBytesInsideATagTheHeadersSkipCostNothing) {
    // A cover picture whose middle cannot be read: the row needs none of it, so it is whole.
    std::string tag = "ID3";
    tag.append({'\x03', '\0', '\0', '\0', '\x0C', '\0', '\0'}); // 196,608 bytes
    Bytes data(tag.begin(), tag.end());
    data.resize(data.size() + (std::size_t{0x0C} << 14), 0x42);
    const auto frames = static_cast<std::int64_t>(data.size());
    data.resize(data.size() + 2000, 0);
    Put(data, static_cast<std::size_t>(frames), Frames(kMpeg1Layer3, 2));
    const std::string path = m_dir.Write("file.mp3", data);
    m_fileSystem.onRead = [](const std::string&, std::uint64_t offset, std::size_t& count) {
        if (offset < 150'000 && offset + count > 50'000) {
            throw FileError(FileErrorCause::InputOutput, 0, "read", "file.mp3");
        }
    };
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, frames);
}

TEST_F(FailingFileSystem, ScanSaysWhatWentWrongAndDoesOnlyWhatItIsAsked) {
    const std::string path = WriteFramesAt(300, 40'000);
    mpeg::ScanSources sources{m_fileSystem};
    const mpeg::FileScan* scan = m_analyzer.ListFile(path, sources);
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(scan->frameOffset, 300);
    EXPECT_EQ(scan->size, 40'000);
    EXPECT_EQ(scan->bitrate, m_analyzer.GetBitrate());
    EXPECT_FALSE(scan->facts); // the page's scan works out no more than the page shows
    sources.needs.streamFacts = true;
    EXPECT_EQ(m_analyzer.ListFile(path, sources)->facts->frames, (40'000 - 300) / 417);
    EXPECT_EQ(m_analyzer.ListFile(path + ".txt", sources), nullptr);

    // A read that fails leaves no frame and no bitrate, and the scan says why; its size stays.
    FailReadsFrom(m_reads + 1, FileErrorCause::InputOutput);
    scan = m_analyzer.ListFile(path, sources);
    ASSERT_TRUE(scan->readFailure);
    EXPECT_EQ(scan->frameOffset, -1);
    EXPECT_EQ(scan->bitrate, 0);
    EXPECT_FALSE(scan->facts);
    EXPECT_EQ(scan->size, 40'000);
    EXPECT_EQ(scan->Failure(), scan->readFailure->Reason());
    EXPECT_EQ(m_analyzer.GetBitrate(), 0);
    EXPECT_THROW(m_analyzer.FindFirstFrame(path), FileError);
}

TEST_F(FailingFileSystem, FailedOpenIsKeptNotThrown) {
    const std::string path = WriteFramesAt(0, 2000);
    m_fileSystem.onOpenForReading = [](const std::string& name) {
        throw FileError(FileErrorCause::TooManyOpenFiles, EMFILE, "open", name);
    };
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    ASSERT_TRUE(m_analyzer.OpenFailure());
    EXPECT_EQ(m_analyzer.OpenFailure()->Cause(), FileErrorCause::TooManyOpenFiles);
    EXPECT_EQ(m_reads, 0);
}

TEST_F(FailingFileSystem, SizeComesFromTheOpenFileNotAStatusQuery) {
    const std::string path = WriteFramesAt(0, 100'000);
    int statusQueries = 0;
    m_fileSystem.onStatus = [&](const std::string&) {
        ++statusQueries;
        return std::optional<platform::StatusResult>({testing::kAccessDenied, {}});
    };
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, 0);
    EXPECT_EQ(m_analyzer.QueryFileSize(), 100'000);
    EXPECT_FALSE(m_analyzer.OpenFailure());
    EXPECT_EQ(statusQueries, 0);
    // The start of the file, read once.
    EXPECT_EQ(m_reads, 1);
}

TEST_F(FailingFileSystem, ReadErrorsLeaveTheScan) {
    // While the tag is measured, at the scan's first block, and at a later one.
    const std::string path = WriteFramesAt(3 * kBlock, 4 * kBlock);
    const int tagReads = ReadsToMeasureTheTag(path);
    for (const int nth : {1, tagReads + 1, tagReads + 3}) {
        SCOPED_TRACE(nth);
        FailReadsFrom(m_reads + nth, FileErrorCause::InputOutput);
        try {
            Analyse(m_analyzer, path);
            ADD_FAILURE() << "no FileError";
        } catch (const FileError& error) {
            EXPECT_EQ(error.Cause(), FileErrorCause::InputOutput);
        }
        EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
        m_failingRead.reset();
    }
}

TEST_F(FailingFileSystem, EndOfFileAtACandidateEndsTheScanWithoutAFrame) {
    const std::string path = WriteFramesAt(2 * kBlock + 100, 3 * kBlock);
    const int tagReads = ReadsToMeasureTheTag(path);
    FailReadsFrom(m_reads + tagReads + 2, FileErrorCause::EndOfFile);
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    // Reads that end while the tag is measured end the file there too.
    FailReadsFrom(m_reads + 1, FileErrorCause::EndOfFile);
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
}

TEST_F(FailingFileSystem, EndOfFileAtAConfirmationAcceptsTheCandidate) {
    // The candidate sits near the end of the bytes read first, its follower behind them.
    // Without the failure, the pair further on is found.
    Bytes data(static_cast<std::size_t>(2 * kBlock), 0x55);
    const std::size_t candidate = mpeg::PrereadFile::kHeadBytes - 100;
    Put(data, candidate, WordBytes(kMpeg1Layer3));
    Put(data, static_cast<std::size_t>(kBlock + 1000), Frames(kMpeg1Layer3, 2));
    const std::string path = m_dir.Write("file.mp3", data);
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, kBlock + 1000);

    // Every read behind the candidate ends the file.
    m_fileSystem.onRead = [&](const std::string&, std::uint64_t offset, std::size_t&) {
        if (offset > candidate) {
            throw FileError(FileErrorCause::EndOfFile, 0, "read", "file.mp3");
        }
    };
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, static_cast<std::int64_t>(candidate));
    EXPECT_EQ(m_analyzer.m_dwHeader, kMpeg1Layer3);
}

TEST_F(FailingFileSystem, FileThatShrinksReadsAsZeros) {
    const std::string path = WriteFramesAt(kBlock + 10, 2 * kBlock);
    m_readLimit = static_cast<std::uint64_t>(kBlock);
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    EXPECT_EQ(m_analyzer.m_dwHeader, 0U); // the last position read as zero
    m_readLimit.reset();
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, kBlock + 10);
}

TEST_F(FailingFileSystem, ReadsEachBlockOnceWhateverTheSize) {
    // A 20-block file without frames is read once, a block at a time. (Its second byte is a
    // sync byte, where the tag library stops looking for audio on its own.)
    Bytes data(static_cast<std::size_t>(20 * kBlock), 0);
    data[0] = 'Z';
    data[1] = 0xFF;
    const std::string path = m_dir.Write("file.mp3", data);
    Analyse(m_analyzer, path);
    EXPECT_EQ(m_analyzer.m_nFrameOffset, -1);
    // The tag library's look at the head and the tail comes on top.
    EXPECT_LE(m_bytesRead, static_cast<std::uint64_t>(23 * kBlock));
    EXPECT_LE(m_reads, 30);
}

} // namespace
namespace {

// The frames of a file counted one by one from its first frame, each by its own length.
std::int64_t CountFrames(const std::string& bytes, std::int64_t offset) {
    std::int64_t frames = 0;
    while (offset + 4 <= static_cast<std::int64_t>(bytes.size())) {
        const auto word = mpeg::ReadBigEndian32(
            reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
        if (!mpeg::IsValidHeaderWord(word)) {
            break;
        }
        offset += mpeg::FrameLength(word);
        ++frames;
    }
    return frames;
}

// A scan asked for what the records show.
mpeg::FileScan ScanForFacts(const std::string& path) {
    mpeg::FileScanner scanner;
    return scanner.Scan(path, {platform::SystemFileSystem(),
                               nullptr,
                               {},
                               {.streamFacts = true, .playingTime = true, .tags = true}});
}

TEST(StreamFacts, TestFilesCountTheirFramesAndLastAsLongAsTheyHold) {
    for (const auto& entry : std::filesystem::directory_iterator(QUAVERLY_TEST_DATA_DIR)) {
        if (entry.path().extension() != ".mp3") {
            continue;
        }
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const mpeg::FileScan scan = ScanForFacts(path);
        const auto& facts = scan.facts;
        ASSERT_TRUE(facts);
        const std::uint32_t word = scan.lastWord.value();
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        // The encoder's header, wherever it lies in the first frame.
        const std::string first = bytes.substr(static_cast<std::size_t>(scan.frameOffset),
                                               static_cast<std::size_t>(mpeg::FrameLength(word)));
        const std::string expected = first.find("Xing") != std::string::npos   ? "Xing"
                                     : first.find("Info") != std::string::npos ? "Info"
                                                                               : "";
        EXPECT_EQ(facts->vbrHeader, expected);
        // Within one frame of the frames the file holds, and of their duration.
        const std::int64_t counted = CountFrames(bytes, scan.frameOffset);
        EXPECT_LE(std::abs(facts->frames - counted), 1);
        const double frameSeconds = mpeg::SamplesPerFrameOver8(word) * 8.0 / facts->sampleRate;
        // The encoder's tag states what it added at the start and the end.
        const double added = facts->encoderTag
                                 ? (facts->encoderTag->delay + facts->encoderTag->padding) /
                                       static_cast<double>(facts->sampleRate)
                                 : 0.0;
        EXPECT_LE(std::abs(facts->seconds + added - static_cast<double>(counted) * frameSeconds),
                  frameSeconds * 1.000001);
        EXPECT_TRUE(facts->health == 0) << facts->health;
        EXPECT_EQ(facts->tagBytes, CMp3Analyzer().GetId3v2Size(path));
    }
}

TEST(StreamFacts, VbriHeaderGivesFramesAndBytesWhileThePageKeepsTheFirstFrame) {
    // Constant 128 kbit/s frames, the first of which carries a VBRI header for 1,000 frames of
    // 626,000 bytes: 26.1 s at 192 kbit/s.
    Bytes data = Frames(0xFFFB9000, 20);
    const Bytes vbri = {'V', 'B', 'R', 'I', 0, 1, 0, 0, 0, 75, 0, 0x09, 0x8D, 0x50, 0, 0, 0x03, 0xE8};
    Put(data, mpeg::kVbriOffset, vbri);
    const ScratchDir dir;
    const std::string path = dir.Write("vbri.mp3", data);
    mpeg::FileScanner scanner;
    const mpeg::FileScan scan =
        scanner.Scan(path, {platform::SystemFileSystem(), nullptr, {}, {.streamFacts = true}});
    EXPECT_EQ(scan.bitrate, 128); // the page reads "Xing" alone
    const auto& facts = scan.facts;
    ASSERT_TRUE(facts);
    EXPECT_STREQ(facts->vbrHeader, "VBRI");
    EXPECT_EQ(facts->frames, 1000);
    EXPECT_NEAR(facts->seconds, 1000 * 1152 / 44100.0, 1e-9);
    EXPECT_EQ(facts->averageBitrate, 192);
    EXPECT_EQ(facts->layer, 3);
    EXPECT_EQ(facts->mpegVersion, 1.0F);
    EXPECT_EQ(facts->sampleRate, 44100);
    // Read to its end, the file holds 20 frames of the 626,000 bytes: it was cut, and plays
    // the 19 behind the header's frame.
    const auto& whole = ScanForFacts(path).facts;
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->health, mpeg::kCutShort);
    EXPECT_EQ(whole->frames, 19);
    EXPECT_STREQ(whole->durationSource, "frames");
    EXPECT_NEAR(whole->seconds, 19 * 1152 / 44100.0, 1e-9);
    EXPECT_EQ(whole->averageBitrate, 128);

    // A header that counts the frames there but far more bytes: the frames hold, the bytes
    // do not, and the average is of the bytes there, not 4.5 Mbit/s.
    Put(data, mpeg::kVbriOffset + 14, Bytes{0, 0, 0, 19});
    const auto& lying = ScanForFacts(dir.Write("lying.mp3", data)).facts;
    ASSERT_TRUE(lying);
    EXPECT_EQ(lying->frames, 19);
    EXPECT_STREQ(lying->durationSource, "VBRI");
    EXPECT_EQ(lying->averageBitrate, 128);
}

} // namespace
} // namespace quaverly
