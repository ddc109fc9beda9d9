// The tag size from the tag headers: what it settles and what it leaves to the ID3 tag library.
// That the settled counts are the library's is tested against the library itself
// (TagWorkers.HeadersGiveTheLibrarysCountWhereverTheySettleIt, and tag_size_fuzzer).

#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"

#include "support/memory_file_system.h"
#include "support/mp3_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quaverly::mpeg {
namespace {

using testing::CbrFrames;
using testing::Id3v23Tag;
using testing::TitleFrame;

std::optional<std::int64_t> FromHeaders(const std::string& bytes) {
    testing::MemoryFileSystem files;
    files.Serve("/song.mp3", {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
    const auto file = files.OpenForReading("/song.mp3");
    FileView view;
    view.Attach(*file, static_cast<std::int64_t>(bytes.size()));
    const std::optional<std::int64_t> count = PrependedBytesFromHeaders(view);
    view.Detach();
    return count;
}

std::string Versioned(std::string tag, char version, char flags) {
    tag[3] = version;
    tag[5] = flags;
    return tag;
}

// `count` empty tags, one behind the other.
std::string Chain(int count) {
    std::string chain;
    for (int i = 0; i < count; ++i) {
        chain += Id3v23Tag("");
    }
    return chain;
}

TEST(TagHeaders, SettleChainsOfTagsAndTheZerosBehindThem) {
    const std::string tag = Id3v23Tag(TitleFrame("Song"), 64);
    const auto size = static_cast<std::int64_t>(tag.size());
    EXPECT_EQ(FromHeaders(CbrFrames(3)), 0);
    EXPECT_EQ(FromHeaders(tag + CbrFrames(3)), size);
    EXPECT_EQ(FromHeaders(tag + Versioned(tag, 4, 0) + Versioned(tag, 2, 0) + CbrFrames(3)),
              3 * size);
    EXPECT_EQ(FromHeaders(tag + std::string(5000, '\0') + CbrFrames(3)), size + 5000);
    // A 0xFF and three zeros count with the zeros behind them; a 0xFF alone does not.
    EXPECT_EQ(FromHeaders(tag + std::string("\xFF\0\0\0\0", 5) + CbrFrames(3)), size + 5);
    EXPECT_EQ(FromHeaders(tag + std::string("\xFF\0\0\x01", 4) + CbrFrames(3)), size);
}

TEST(TagHeaders, LeaveToTheLibraryWhatTheHeadersDoNotSettle) {
    const std::string tag = Id3v23Tag(TitleFrame("Song"), 64);
    for (const std::string& bytes : {
             testing::Id3v23TagWithExtendedHeader(TitleFrame("Song")) + CbrFrames(3),
             Versioned(tag, 3, '\x40') + CbrFrames(3), // the flag alone
             Versioned(tag, 5, 0) + CbrFrames(3),      // a version the library does not know
             Versioned(tag, 3, 0).replace(4, 1, 1, '\x01') + CbrFrames(3),
             tag,                                      // the tag ends with the file
             tag.substr(0, 40),                        // and beyond it
             tag + std::string(100, '\0'),             // zeros to the end
             Chain(17) + CbrFrames(3),
             tag + std::string(1024 * 1024 + 1, '\0') + CbrFrames(3),
         }) {
        EXPECT_EQ(FromHeaders(bytes), std::nullopt) << bytes.size();
    }
    EXPECT_EQ(FromHeaders(Chain(16) + CbrFrames(3)), 160); // sixteen still settle
}

} // namespace
} // namespace quaverly::mpeg
