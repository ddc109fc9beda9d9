// Folders nobody curated: every byte a name may hold, a crowded folder, a deep tree, a sparse
// download left unfinished, a folder that goes away during the walk, and megabytes of zeros.

#include "listing/listing_run.h"
#include "mpeg/tag_worker_pool.h"

#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::ReadWholeFile;
using testing::TempDir;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

// Each tree is listed with and without reading ahead.
class HostileTree : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override { std::filesystem::current_path(m_start); }

    RunResult List(const std::string& folder, RunObserver* observer = nullptr,
                   std::unique_ptr<mpeg::TagWorkerPool> workers = nullptr) {
        platform::FileSystem& fileSystem = platform::SystemFileSystem();
        ListingSession session(fileSystem, std::move(workers));
        if (!GetParam()) {
            session.readAhead.threads = 0;
        }
        ListingServices services{fileSystem, observer};
        services.listingFileName = m_out / "page.html";
        RunResult result = MakeListing(session, folder, services);
        const bool written = std::filesystem::is_regular_file(m_out / "page.html");
        m_page = written ? ReadWholeFile(m_out / "page.html") : std::string();
        return result;
    }

    TempDir m_root;
    TempDir m_out;
    std::string m_page;

private:
    std::filesystem::path m_start = std::filesystem::current_path();
};

TEST_P(HostileTree, NamesWithEveryByteAFileNameMayHold) {
    std::string everything;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        if (byte == '/') {
            continue;
        }
        everything.push_back(static_cast<char>(byte));
        m_root.Write("names/" + std::string(1, static_cast<char>(byte)) + ".mp3", CbrFrames(2));
    }
    // 254 bytes: one short of the longest name.
    m_root.Write("names/" + everything, CbrFrames(2));

    const RunResult result = List(m_root / "names");

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(result.fileCount, 255U);
    for (int byte = 1; byte <= 0xFF; ++byte) {
        const std::string escaped = byte == '&'   ? "&amp;"
                                    : byte == '<' ? "&lt;"
                                    : byte == '>' ? "&gt;"
                                    : byte == '"' ? "&quot;"
                                                  : std::string(1, static_cast<char>(byte));
        if (byte != '/') {
            EXPECT_EQ(Count(m_page, "\r\n" + escaped + ".mp3</td><td> 128 Kbs"), 1U) << byte;
        }
    }
    // The long name has no ".mp3" ending: a row of its own, empty.
    EXPECT_EQ(Count(m_page, "<tr><td"), 255U + 1U);
}

TEST_P(HostileTree, TenThousandFilesInOneFolder) {
    const std::string crowd = m_root.MakeFolder("crowd");
    const std::string mp3 = CbrFrames(2);
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/%05d.%s", i, i % 10 == 0 ? "mp3" : "txt");
        std::ofstream(crowd + name, std::ios::binary) << (i % 10 == 0 ? mp3 : "");
    }

    const RunResult result = List(m_root / "crowd");

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(result.fileCount, 10000U);
    EXPECT_EQ(Count(m_page, " 128 Kbs"), 1000U);
    // In name order from first to last.
    EXPECT_LT(m_page.find("00000.mp3"), m_page.find("05000.mp3"));
    EXPECT_LT(m_page.find("05000.mp3"), m_page.find("09990.mp3"));
}

TEST_P(HostileTree, FoldersTwoHundredLevelsDeep) {
    std::string deep = "deep";
    for (int level = 0; level < 200; ++level) {
        deep += "/d";
    }
    m_root.Write(deep + "/bottom.mp3", CbrFrames(2));

    const RunResult result = List(m_root / "deep");

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(Count(m_page, "<tr><td bgcolor=red>"), 201U);
    // Post-order: the deepest folder's header comes first, the chosen folder's last.
    const std::string deepest = "<tr><td bgcolor=red>\r\n\r\n" + (m_root / deep) + "</td>";
    EXPECT_EQ(m_page.find("<tr><td bgcolor=red>"), m_page.find(deepest));
    EXPECT_NE(m_page.find("bottom.mp3</td><td> 128 Kbs"), std::string::npos);
}

TEST_P(HostileTree, SparseFiveGigabyteDownloadLeftUnfinished) {
    const std::string path = m_root.Write("downloads/unfinished.mp3", "");
    std::filesystem::resize_file(path, 5ULL << 30);
    mpeg::TagWorkerPool::Options options;
    options.program = QUAVERLY_TAG_WORKER;
    options.workers = 1;
    // The tag library counts the zeros one by one; the limit cuts that short.
    options.timeLimit = std::chrono::milliseconds(300);

    const RunResult result =
        List(m_root / "downloads", nullptr, std::make_unique<mpeg::TagWorkerPool>(options));

    EXPECT_NE(m_page.find("unfinished.mp3</td><td> 0 Kbs"), std::string::npos);
    ASSERT_EQ(result.failureCount, 1U);
    // Cut short in one round or over several, as the machine's speed has it.
    EXPECT_TRUE(result.failures[0].reason == "the ID3 tag library took too long over this file" ||
                result.failures[0].reason == "the ID3 tag library failed on this file")
        << result.failures[0].reason;
}

// A frame header and then nothing but a hole, as large as the file system takes (7 EiB on
// tmpfs, 16 TiB at most on ext4): the scan skips the hole instead of reading its zeros.
TEST_P(HostileTree, HeaderAndAHoleAsLargeAsTheFileSystemTakes) {
    const std::string path = m_root.Write("holes/endless.mp3", CbrFrames(1).substr(0, 4));
    bool made = false;
    for (const std::uintmax_t size : {7ULL << 60, 15ULL << 40, 1ULL << 40}) {
        std::error_code error;
        std::filesystem::resize_file(path, size, error);
        if (!error) {
            made = true;
            break;
        }
    }
    ASSERT_TRUE(made);
    mpeg::TagWorkerPool::Options options;
    options.program = QUAVERLY_TAG_WORKER;
    options.workers = 1;
    options.timeLimit = std::chrono::milliseconds(300);

    List(m_root / "holes", nullptr, std::make_unique<mpeg::TagWorkerPool>(options));

    EXPECT_NE(m_page.find("endless.mp3</td><td> 0 Kbs"), std::string::npos);
    EXPECT_TRUE(m_page.ends_with("</body></html>"));
}

// Says "cancel" from the given question on, as a user who pressed Cancel or Ctrl-C.
class CancelFromQuestion final : public RunObserver {
public:
    explicit CancelFromQuestion(int question) : m_question(question) {}
    bool CancelRequested() override { return ++m_asked >= m_question; }
    int Asked() const { return m_asked; }

private:
    int m_question;
    int m_asked = 0;
};

TEST_P(HostileTree, CancelIsHeardInATreeOfEmptyFolders) {
    for (int i = 0; i < 300; ++i) {
        m_root.MakeFolder("empty/" + std::to_string(i));
    }
    CancelFromQuestion observer(5);

    const RunResult result = List(m_root / "empty", &observer);

    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_LT(Count(m_page, "<tr><td bgcolor=red>"), 10U);
    EXPECT_TRUE(m_page.ends_with("</body></html>"));
}

TEST_P(HostileTree, CancelIsHeardDuringALongScan) {
    // Forty megabytes without a header's first byte: read through to the end.
    m_root.Write("long/junk.mp3", std::string(40 * 1000 * 1000, '\x11'));
    // The first question is the folder's; the second comes from inside the scan.
    CancelFromQuestion observer(2);

    const RunResult result = List(m_root / "long", &observer);

    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(observer.Asked(), 2);
    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].reason, "Cancelled before it was read to its end");
    EXPECT_TRUE(m_page.ends_with("</body></html>"));
}

// Every level holds two links to the next: 2^levels ways down, one folder per level.
TEST_P(HostileTree, LinksThatShareTargetsListEachFolderOnce) {
    constexpr int kLevels = 14;
    for (int level = 0; level < kLevels; ++level) {
        m_root.Write("links/" + std::to_string(level) + "/song.mp3", CbrFrames(2));
    }
    for (int level = 0; level + 1 < kLevels; ++level) {
        for (const char* name : {"a", "b"}) {
            std::filesystem::create_directory_symlink(
                m_root / ("links/" + std::to_string(level + 1)),
                m_root / ("links/" + std::to_string(level) + "/" + name));
        }
    }

    const RunResult result = List(m_root / "links/0");

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    EXPECT_EQ(Count(m_page, "song.mp3</td><td> 128 Kbs"), static_cast<std::size_t>(kLevels));
    // The second way to each folder below the first is named, and not followed.
    EXPECT_EQ(result.failureCount, static_cast<std::size_t>(kLevels - 1));
    for (const Failure& failure : result.failures) {
        EXPECT_EQ(failure.reason, "Folder already listed through another path");
    }
}

TEST_P(HostileTree, LinkAtTheListingsNameIsReplacedNotFollowed) {
    m_root.Write("music/song.mp3", CbrFrames(2));
    const std::string precious = m_out.Write("precious.txt", "a file of the user's");
    std::filesystem::create_symlink(precious, m_out / "page.html");

    const RunResult result = List(m_root / "music");

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(ReadWholeFile(precious), "a file of the user's");
    EXPECT_FALSE(std::filesystem::is_symlink(m_out / "page.html"));
    EXPECT_NE(m_page.find("song.mp3</td><td> 128 Kbs"), std::string::npos);
}

TEST_P(HostileTree, FifoOrFolderAtTheListingsNameIsRefusedAtOnce) {
    m_root.Write("music/song.mp3", CbrFrames(2));
    ASSERT_EQ(::mkfifo((m_out / "page.html").c_str(), 0600), 0);

    RunResult result = List(m_root / "music");

    EXPECT_EQ(result.outcome, RunOutcome::Failed);
    EXPECT_EQ(result.failureReason, "create " + (m_out / "page.html") + ": Not a regular file");
    EXPECT_EQ(std::filesystem::status(m_out / "page.html").type(),
              std::filesystem::file_type::fifo);

    std::filesystem::remove(m_out / "page.html");
    m_out.MakeFolder("page.html");
    result = List(m_root / "music");
    EXPECT_EQ(result.outcome, RunOutcome::Failed);
}

TEST_P(HostileTree, LowDescriptorLimitCostsNoRow) {
    for (int i = 0; i < 300; ++i) {
        m_root.Write("many/" + std::to_string(i) + ".mp3", CbrFrames(2));
    }
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);

    const RunResult result = List(m_root / "many");
    ::setrlimit(RLIMIT_NOFILE, &before);

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_EQ(Count(m_page, " 128 Kbs"), 300U);
}

// Under the sanitizers memory is theirs to keep: freed blocks wait in quarantine.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_P(HostileTree, LongPathsCostTheFilesNamesNotTheirPaths) {
    std::string deep = "deep";
    while (deep.size() < 3000) {
        deep += "/" + std::string(200, 'd');
    }
    const std::string folder = m_root.MakeFolder(deep);
    for (int i = 0; i < 10000; ++i) {
        std::ofstream(folder + "/" + std::to_string(100000 + i) + std::string(190, 'n') + ".txt");
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);

    const RunResult result = List(folder);

    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(result.fileCount, 10000U);
    // 10,000 paths of 3,200 bytes are 32 MB, held by each walk; the names are 2 MB.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "KiB";
}
#endif

class RemoveOnEntry final : public RunObserver {
public:
    RemoveOnEntry(std::string entered, std::string removed)
        : m_entered(std::move(entered)), m_removed(std::move(removed)) {}
    void FolderEntered(const std::string& folder) override {
        if (folder == m_entered) {
            std::filesystem::remove_all(m_removed);
        }
    }

private:
    std::string m_entered;
    std::string m_removed;
};

TEST_P(HostileTree, FolderRemovedWhileTheWalkRuns) {
    if (GetParam()) {
        GTEST_SKIP() << "read ahead, the folder may be read before it goes: read_ahead_test.cpp";
    }
    m_root.Write("share/a/one.mp3", CbrFrames(2));
    m_root.Write("share/b/two.mp3", CbrFrames(2));
    m_root.Write("share/c/three.mp3", CbrFrames(2));
    RemoveOnEntry observer(m_root / "share/a", m_root / "share/b");

    const RunResult result = List(m_root / "share", &observer);

    EXPECT_EQ(result.outcome, RunOutcome::Incomplete);
    ASSERT_EQ(result.failureCount, 1U);
    EXPECT_EQ(result.failures[0].path, m_root / "share/b");
    EXPECT_EQ(result.failures[0].reason, "No such folder");
    EXPECT_NE(m_page.find("one.mp3"), std::string::npos);
    EXPECT_NE(m_page.find("three.mp3"), std::string::npos);
    EXPECT_TRUE(m_page.ends_with("</body></html>"));
}

TEST_P(HostileTree, TwentyMegabytesOfZeros) {
    m_root.Write("zeros/silence.mp3", std::string(20 * 1000 * 1000, '\0'));
    mpeg::TagWorkerPool::Options options;
    options.program = QUAVERLY_TAG_WORKER;
    options.workers = 1;
    // The library counts the zeros one by one: 0.5 s in an optimised build, but near the default
    // limit under ThreadSanitizer on a busy machine. What is tested is the page, not the time.
    options.timeLimit = std::chrono::seconds(60);

    const RunResult result =
        List(m_root / "zeros", nullptr, std::make_unique<mpeg::TagWorkerPool>(options));

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_NE(m_page.find("silence.mp3</td><td> 0 Kbs"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ReadingAhead, HostileTree, ::testing::Bool(),
                         [](const auto& test) { return test.param ? "Ahead" : "NotAhead"; });

} // namespace
} // namespace quaverly::listing
