// What a file opened for the analysis holds in memory, and what it still reads.

#include "mpeg/preread_file.h"

#include "mpeg/file_view.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace quaverly::mpeg {
namespace {

using testing::FakeFileSystem;
using testing::TempDir;

struct Read {
    std::uint64_t offset;
    std::size_t count;
};

class Preread : public ::testing::Test {
protected:
    Preread() {
        fileSystem.onRead = [this](const std::string&, std::uint64_t offset, std::size_t& count) {
            reads.push_back({offset, count});
        };
    }
    PrereadFile Open(const std::string& bytes) {
        return PrereadFile(fileSystem.OpenForReading(root.Write("file.mp3", bytes)));
    }

    TempDir root;
    FakeFileSystem fileSystem;
    std::vector<Read> reads;
};

TEST_F(Preread, StartIsReadOnceAndServedFromMemory) {
    const std::string bytes = testing::CbrFrames(200); // 83,400 bytes
    PrereadFile file = Open(bytes);
    ASSERT_EQ(reads.size(), 1U);
    EXPECT_EQ(reads[0].offset, 0U);
    EXPECT_EQ(reads[0].count, PrereadFile::kHeadBytes);

    const auto held = file.BufferedAt(1000);
    EXPECT_EQ(held.count, PrereadFile::kHeadBytes - 1000);
    EXPECT_EQ(held.data[0], static_cast<unsigned char>(bytes[1000]));
    // Behind it, the file itself.
    std::vector<unsigned char> out(100);
    EXPECT_EQ(file.ReadAt(bytes.size() - 100, out.data(), 100), 100U);
    EXPECT_EQ(std::string(out.begin(), out.end()), bytes.substr(bytes.size() - 100));
    EXPECT_EQ(reads.size(), 2U);
}

TEST_F(Preread, LargeTagIsSkippedAndTheBytesBehindItRead) {
    const std::string tag = testing::Id3v23Tag(testing::TitleFrame("Song"), 400'000);
    PrereadFile file = Open(tag + testing::CbrFrames(300));
    ASSERT_EQ(reads.size(), 2U);
    EXPECT_EQ(reads[1].offset, tag.size());
    EXPECT_EQ(reads[1].count, PrereadFile::kBehindTag);
    EXPECT_EQ(file.BufferedAt(0).count, PrereadFile::kHeadBytes);
    EXPECT_EQ(file.BufferedAt(tag.size()).count, PrereadFile::kBehindTag);
    EXPECT_EQ(file.HeldBytes(), PrereadFile::kHeadBytes + PrereadFile::kBehindTag + 6);

    // A tag ending just inside the start: one extent, reaching kBehindTag behind it.
    reads.clear();
    const std::string near = testing::Id3v23Tag(testing::TitleFrame("Song"), 15'000);
    PrereadFile adjoined = Open(near + testing::CbrFrames(300));
    ASSERT_EQ(reads.size(), 2U);
    EXPECT_EQ(adjoined.BufferedAt(0).count, near.size() + PrereadFile::kBehindTag);
}

// The kernel copies fastest into memory whose address agrees with the file's offset modulo 64:
// every read of the start, behind a tag and through a view lands so, at any offset.
TEST_F(Preread, ReadsLandInStepWithTheFile) {
    std::vector<std::uint64_t> outOfStep;
    fileSystem.onReadInto = [&](std::uint64_t offset, const unsigned char* buffer) {
        if ((reinterpret_cast<std::uintptr_t>(buffer) - offset) % 64 != 0) {
            outOfStep.push_back(offset);
        }
    };
    const std::string tag = testing::Id3v23Tag(testing::TitleFrame("Song"), 100'003);
    PrereadFile file(
        fileSystem.OpenForReading(root.Write("file.mp3", tag + testing::CbrFrames(900))),
        {.tagEnd = true, .fileEnd = true});
    FileView view;
    view.Attach(file, static_cast<std::int64_t>(file.Size()));
    for (const std::int64_t offset : {40'001, 61'437, 200'000, 333'333}) {
        view.WordAt(offset);
    }
    EXPECT_GE(reads.size(), 5U);
    EXPECT_TRUE(outOfStep.empty()) << outOfStep.size() << " reads out of step";
}

// A file that shrank since it was opened: what it no longer holds reads as zeros, never as
// whatever the memory held before.
TEST_F(Preread, BytesAFileNoLongerHoldsAreZeros) {
    fileSystem.onRead = [](const std::string&, std::uint64_t, std::size_t& count) {
        count = std::min<std::size_t>(count, 1000);
    };
    const std::string bytes(100'000, '\xFF');
    const PrereadFile file = Open(bytes);
    const auto held = file.BufferedAt(0);
    ASSERT_EQ(held.count, PrereadFile::kHeadBytes);
    EXPECT_EQ(held.data[999], 0xFF);
    EXPECT_TRUE(std::all_of(held.data + 1000, held.data + held.count + 3,
                            [](unsigned char byte) { return byte == 0; }));
}

TEST_F(Preread, FailedReadIsThrownByTheFirstReadThatNeedsItsBytes) {
    fileSystem.onRead = [](const std::string& path, std::uint64_t offset, std::size_t&) {
        if (offset == 0) {
            throw testing::ErrnoError(testing::kIoFailure, "read", path);
        }
    };
    PrereadFile file = Open(testing::CbrFrames(200));
    EXPECT_EQ(file.BufferedAt(0).count, 0U);
    std::vector<unsigned char> out(10);
    EXPECT_THROW(file.ReadAt(0, out.data(), out.size()), platform::FileError);
    // Other bytes are read from the file.
    EXPECT_EQ(file.ReadAt(file.Size() - 10, out.data(), out.size()), 10U);
}

#ifndef _WIN32 // holes are known to the POSIX seam
TEST_F(Preread, HoleOfASparseFileIsZerosWithoutARead) {
    const std::string path = root.Write("sparse.mp3", "");
    std::filesystem::resize_file(path, 1 << 20);
    const PrereadFile file(fileSystem.OpenForReading(path));
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(file.BufferedAt(0).count, PrereadFile::kHeadBytes);
    EXPECT_EQ(file.BufferedAt(0).data[100], 0);
}
#endif

} // namespace
} // namespace quaverly::mpeg
