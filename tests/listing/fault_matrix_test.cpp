// Every service the listing asks of the file system, failing with every error that a real
// disk or network share gives, at the first call and at a later one. Whatever fails, the run
// either makes the whole page or says why not; it never crashes, never hangs, always closes
// the listing file and never touches a file of the tree it lists.

#include "listing/listing_run.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <tuple>
#include <vector>

namespace quaverly::listing {
namespace {

using testing::CbrFrames;
using testing::FakeFileSystem;
using testing::Id3v23Tag;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::TitleFrame;

enum class Service {
    Status,
    Open,
    Read,
    Seek, // a positioned read past the first block of a file
    FindFirst,
    FindNext,
    Create,
    Write,
    Close,
    SetCurrentDirectory,
    CurrentDirectory,
};

const char* Name(Service service) {
    switch (service) {
    case Service::Status:
        return "Status";
    case Service::Open:
        return "Open";
    case Service::Read:
        return "Read";
    case Service::Seek:
        return "Seek";
    case Service::FindFirst:
        return "FindFirst";
    case Service::FindNext:
        return "FindNext";
    case Service::Create:
        return "Create";
    case Service::Write:
        return "Write";
    case Service::Close:
        return "Close";
    case Service::SetCurrentDirectory:
        return "SetCurrentDirectory";
    case Service::CurrentDirectory:
        return "CurrentDirectory";
    }
    return "?";
}

// access denied, I/O error, no space, vanished, interrupted
constexpr std::array kErrors{testing::kAccessDenied, testing::kIoFailure, testing::kDiskFull,
                             testing::kNotFound, testing::kInterrupted};

// service, errno, and whether the first call fails or a later one. The page's own services are
// asked once a run, so each cell runs two listings in one session and their later call is the
// second run's; the tree's are asked for each folder and file, and their later call is the
// third. Each cell runs with and without reading ahead.
using Cell = std::tuple<Service, int, bool, bool>;

int FailingCall(Service service, bool later) {
    if (!later) {
        return 1;
    }
    switch (service) {
    case Service::Create:
    case Service::Write:
    case Service::Close:
    case Service::SetCurrentDirectory:
    case Service::CurrentDirectory:
        return 2;
    default:
        return 3;
    }
}

// Path, size and modification time of everything below a folder.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>>
Snapshot(const std::string& root) {
    std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        files[entry.path().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                        entry.last_write_time()};
    }
    return files;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
protected:
    void SetUp() override {
        m_start = std::filesystem::current_path();
        const std::string tag = Id3v23Tag(TitleFrame("Song"), 32);
        m_tree.Write("tree/a/one.mp3", tag + CbrFrames(4));
        m_tree.Write("tree/a/two.mp3", CbrFrames(4));
        m_tree.Write("tree/b/notes.txt", "notes");
        // Past the first block of the file, so that the scan reads at a later position.
        m_tree.Write("tree/b/late.mp3", std::string(300 * 1024, '\x11') + CbrFrames(4));
        m_tree.Write("tree/three.MP3", CbrFrames(4));
        // Today's pages, read without reading ahead and without faults.
        FakeFileSystem plain;
        m_reference = List(plain, false);
    }
    void TearDown() override { std::filesystem::current_path(m_start); }

    // Lists the tree twice in one session, each time into a folder of its own.
    std::vector<std::pair<RunResult, std::string>> List(FakeFileSystem& fileSystem,
                                                        bool readAhead) {
        ListingSession session(fileSystem);
        if (!readAhead) {
            session.readAhead.threads = 0;
        }
        std::vector<std::pair<RunResult, std::string>> runs;
        for (const TempDir* out : {&m_firstOut, &m_secondOut}) {
            std::filesystem::current_path(out->Path());
            ListingServices services{fileSystem};
            RunResult result = MakeListing(session, m_tree / "tree", services);
            runs.emplace_back(std::move(result), ReadWholeFile(*out / "mp3_listing.html"));
            EXPECT_EQ(fileSystem.openOutputs, 0);
            EXPECT_EQ(fileSystem.openSearches, 0);
        }
        return runs;
    }

    TempDir m_tree;
    TempDir m_firstOut;
    TempDir m_secondOut;
    std::vector<std::pair<RunResult, std::string>> m_reference;

private:
    std::filesystem::path m_start;
};

TEST_P(FaultMatrix, PageIsWholeOrTheRunSaysWhy) {
    const Service service = std::get<0>(GetParam());
    const int error = std::get<1>(GetParam());
    const int failingCall = FailingCall(service, std::get<2>(GetParam()));
    FakeFileSystem fake;
    std::map<Service, int> calls;
    // Counts a call of `which`; true when it is the one to fail.
    auto hit = [&](Service which) { return which == service && ++calls[which] == failingCall; };
    auto failure = [error](const char* operation, const std::string& path) {
        return platform::FileError::FromErrno(error, operation, path);
    };
    fake.onStatus = [&](const std::string&) -> std::optional<platform::StatusResult> {
        if (hit(Service::Status)) {
            return platform::StatusResult{error, {}};
        }
        return std::nullopt;
    };
    fake.onOpenForReading = [&](const std::string& path) {
        if (hit(Service::Open)) {
            throw failure("open", path);
        }
    };
    fake.onRead = [&](const std::string& path, std::uint64_t offset, std::size_t&) {
        if (hit(offset == 0 ? Service::Read : Service::Seek)) {
            throw failure("read", path);
        }
    };
    const auto code = error == testing::kNotFound ? platform::kErrorPathNotFound
                                                  : platform::ErrorCodeFromSystemError(error);
    fake.onFindFirst = [&](const std::string&, platform::ErrorCode& out) {
        if (hit(Service::FindFirst)) {
            out = code;
            return true;
        }
        return false;
    };
    fake.onFindNext = [&](const std::string&, platform::ErrorCode& out) {
        if (hit(Service::FindNext)) {
            out = code;
            return true;
        }
        return false;
    };
    fake.onCreate = [&](const std::string& path) {
        if (hit(Service::Create)) {
            throw failure("create", path);
        }
    };
    fake.onWrite = [&](const std::string& path, std::size_t) {
        if (hit(Service::Write)) {
            throw failure("write", path);
        }
    };
    fake.onClose = [&](const std::string& path) {
        if (hit(Service::Close)) {
            throw failure("close", path);
        }
    };
    fake.onSetCurrentDirectory = [&](const std::string&) -> std::optional<int> {
        if (hit(Service::SetCurrentDirectory)) {
            return error;
        }
        return std::nullopt;
    };
    fake.onCurrentDirectory = [&]() {
        if (hit(Service::CurrentDirectory)) {
            throw failure("get current directory", ".");
        }
    };
    const auto before = Snapshot(m_tree / "tree");

    const auto runs = List(fake, std::get<3>(GetParam()));

    EXPECT_EQ(Snapshot(m_tree / "tree"), before);
    for (std::size_t run = 0; run < runs.size(); ++run) {
        const auto& [result, page] = runs[run];
        SCOPED_TRACE("run " + std::to_string(run + 1));
        // The shading of a second run carries on from the first, so its page is the same only
        // after the same first run.
        const bool sameStart = run == 0 || runs[0].first.outcome == RunOutcome::Complete;
        switch (result.outcome) {
        case RunOutcome::Complete:
            if (sameStart) {
                EXPECT_EQ(page, m_reference[run].second);
                break;
            }
            [[fallthrough]];
        case RunOutcome::Incomplete:
            EXPECT_EQ(result.failureCount == 0, result.outcome == RunOutcome::Complete);
            for (const Failure& failed : result.failures) {
                EXPECT_FALSE(failed.path.empty());
                EXPECT_FALSE(failed.reason.empty());
            }
            EXPECT_EQ(page.rfind("<html><body>\r\n", 0), 0U);
            EXPECT_TRUE(page.ends_with("</body></html>"));
            break;
        case RunOutcome::Failed:
            EXPECT_FALSE(result.failureReason.empty());
            break;
        case RunOutcome::Cancelled:
        case RunOutcome::FolderNotChosen:
            ADD_FAILURE() << "no run can end this way here";
            break;
        }
    }
    // The fault was met at all.
    EXPECT_GE(calls[service], failingCall) << Name(service);
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info) {
    const auto [service, error, later, readAhead] = info.param;
    std::string errorName = error == testing::kAccessDenied ? "AccessDenied"
                            : error == testing::kIoFailure  ? "IoError"
                            : error == testing::kDiskFull   ? "NoSpace"
                            : error == testing::kNotFound   ? "Vanished"
                                                            : "Interrupted";
    return std::string(Name(service)) + "_" + errorName + (later ? "_Later" : "_First") +
           (readAhead ? "" : "_NotAhead");
}

INSTANTIATE_TEST_SUITE_P(
    EveryService, FaultMatrix,
    ::testing::Combine(::testing::Values(Service::Status, Service::Open, Service::Read,
                                         Service::Seek, Service::FindFirst, Service::FindNext,
                                         Service::Create, Service::Write, Service::Close,
                                         Service::SetCurrentDirectory, Service::CurrentDirectory),
                       ::testing::ValuesIn(kErrors), ::testing::Bool(), ::testing::Bool()),
    CellName);

} // namespace
} // namespace quaverly::listing
