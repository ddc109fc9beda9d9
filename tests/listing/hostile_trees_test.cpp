// Folders nobody curated: every byte a name may hold, a crowded folder, a deep tree, a sparse
// download left unfinished, a folder that goes away during the walk, and megabytes of zeros.

#include "listing/listing_run.h"
#include "mpeg/tag_worker_pool.h"

#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
        platform::GivenFolder chooser(folder);
        platform::SilentMessageBox messages;
        platform::FileSystem& fileSystem = platform::SystemFileSystem();
        ListingSession session(fileSystem, std::move(workers));
        if (!GetParam()) {
            session.readAhead.threads = 0;
        }
        ListingServices services{fileSystem, chooser, messages, observer};
        services.listingFileName = m_out / "page.html";
        RunResult result = MakeListing(session, services);
        m_page = ReadWholeFile(m_out / "page.html");
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
    EXPECT_EQ(result.failures[0].reason, "the ID3 tag library failed on this file");
}

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

    const RunResult result =
        List(m_root / "zeros", nullptr, std::make_unique<mpeg::TagWorkerPool>(options));

    EXPECT_EQ(result.outcome, RunOutcome::Complete);
    EXPECT_NE(m_page.find("silence.mp3</td><td> 0 Kbs"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ReadingAhead, HostileTree, ::testing::Bool(),
                         [](const auto& test) { return test.param ? "Ahead" : "NotAhead"; });

} // namespace
} // namespace quaverly::listing
