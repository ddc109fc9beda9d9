#include "frontend/dialog_run.h"
#include "frontend/given_folder.h"
#include "frontend/progress_pacing.h"
#include "frontend/run_messages.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quaverly::frontend {
namespace {

using testing::FakeFileSystem;
using testing::TempDir;

struct Box {
    std::string caption;
    std::string text;
    MessageIcon icon;
};

class RecordingBoxes final : public MessageBoxService {
public:
    std::vector<Box> shown;
    void Show(const std::string& text, MessageIcon icon) override { ShowCaptioned({}, text, icon); }
    void ShowCaptioned(const std::string& caption, const std::string& text,
                       MessageIcon icon) override {
        shown.push_back({caption, text, icon});
    }
};

// The browser the dialog would open: it records that it was asked.
class Browser final : public FolderChooser {
public:
    std::optional<std::string> answer;
    int asked = 0;
    std::string title;
    std::optional<std::string> ChooseFolder(const std::string& askedTitle) override {
        ++asked;
        title = askedTitle;
        return answer;
    }
};

// A run from a dialog over the real file system, from a start folder of the test's own.
class DialogRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_start.Path());
        m_music.Write("a.mp3", testing::CbrFrames(3));
        m_services.fileSystem = &m_fileSystem;
        m_services.session = &m_session;
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }

    listing::RunResult Run(const FolderRequest& request) {
        return RunFromDialog(m_services, request, m_browser, m_boxes, [this] {
            ++m_progressMade;
            // A box shown while the progress display is up would sit under it.
            EXPECT_TRUE(m_boxes.shown.empty());
            return std::make_unique<listing::RunObserver>();
        });
    }
    std::string PagePath() const {
        return m_start / "mp3_listing.html";
    }

    TempDir m_start;
    TempDir m_music;
    FakeFileSystem m_fileSystem;
    listing::ListingSession m_session{m_fileSystem};
    DialogServices m_services;
    Browser m_browser;
    RecordingBoxes m_boxes;
    int m_progressMade = 0;

private:
    std::filesystem::path m_previous;
};

TEST_F(DialogRun, GivenFolderIsListedWithoutTheBrowserAndItsBoxSaysWhere) {
    const listing::RunResult result = Run({m_music.Path(), std::nullopt});
    EXPECT_EQ(result.outcome, listing::RunOutcome::Complete);
    EXPECT_EQ(m_browser.asked, 0);
    EXPECT_EQ(m_progressMade, 1);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text, "MP3 File list made\n\nWritten to\n" + PagePath());
    EXPECT_EQ(m_boxes.shown[0].caption, "Quaverly");
    EXPECT_EQ(m_boxes.shown[0].icon, MessageIcon::None);
    EXPECT_TRUE(std::filesystem::exists(PagePath()));
}

TEST_F(DialogRun, BrowserRunKeepsItsOwnBoxAndACancelledChoiceShowsNothing) {
    m_browser.answer = m_music.Path();
    Run({});
    EXPECT_EQ(m_browser.title, "Select Folder");
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text, "MP3 File list made");

    m_boxes.shown.clear();
    std::filesystem::remove(PagePath());
    m_browser.answer.reset();
    EXPECT_EQ(Run({}).outcome, listing::RunOutcome::FolderNotChosen);
    m_browser.answer = "";
    EXPECT_EQ(Run({}).outcome, listing::RunOutcome::FolderNotChosen);
    EXPECT_EQ(m_browser.asked, 3);
    EXPECT_EQ(m_progressMade, 3);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(m_fileSystem.createdFiles, 1);
    EXPECT_FALSE(std::filesystem::exists(PagePath()));
}

TEST_F(DialogRun, ListingFileThatCannotBeCreatedShowsErrorThenWhy) {
    m_fileSystem.onCreate = [](const std::string& path) {
        throw testing::ErrnoError(testing::kAccessDenied, "create", path);
    };
    const std::string start = std::filesystem::current_path().string();
    m_browser.answer = m_music.Path();
    EXPECT_EQ(Run({}).outcome, listing::RunOutcome::Failed);
    ASSERT_EQ(m_boxes.shown.size(), 2U);
    EXPECT_EQ(m_boxes.shown[0].text, "error");
    EXPECT_EQ(m_boxes.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(m_boxes.shown[1].text,
              std::string(kCommandFailureText) + "\n\ncreate mp3_listing.html: Permission denied");
    EXPECT_EQ(std::filesystem::current_path(), start);
}

TEST_F(DialogRun, AFileOrAMissingFolderIsNamedAndNothingIsWritten) {
    const std::string file = m_music / "a.mp3";
    const std::string missing = m_music / "gone";
    Run({file, std::nullopt});
    Run({missing, std::nullopt});
    ASSERT_EQ(m_boxes.shown.size(), 2U);
    EXPECT_EQ(m_boxes.shown[0].text, "Cannot list\n" + file + "\nNot a folder");
    EXPECT_EQ(m_boxes.shown[1].text.rfind("Cannot list\n" + missing + "\n", 0), 0U);
    EXPECT_EQ(m_boxes.shown[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(m_boxes.shown[1].caption, "");
    EXPECT_EQ(m_progressMade, 0);
    EXPECT_EQ(m_fileSystem.createdFiles, 0);
}

TEST_F(DialogRun, FailedPageIsAnExclamationUnderTheApplicationsName) {
    m_fileSystem.onWrite = [](const std::string& path, std::size_t) {
        throw testing::ErrnoError(ENOSPC, "write", path);
    };
    Run({m_music.Path(), std::nullopt});
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text.rfind(std::string(kCommandFailureText) + "\n\n", 0), 0U);
    EXPECT_EQ(m_boxes.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(m_boxes.shown[0].caption, "");
}

TEST(RunMessage, ExactlyTenFailuresNeedNoMoreLine) {
    listing::RunResult result;
    result.outcome = listing::RunOutcome::Incomplete;
    result.listingPath = "/m/mp3_listing.html";
    for (int i = 0; i < 10; ++i) {
        result.failures.push_back({"/m/" + std::to_string(i), 5, "Permission denied"});
    }
    result.failureCount = 10;
    const auto message = MessageForRun(result);
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->text.ends_with("\n/m/9: Permission denied"));
    // The run kept more failures than it counted as shown: the count decides.
    result.failureCount = 1500;
    EXPECT_TRUE(MessageForRun(result)->text.ends_with("\n...and 1490 more."));
    EXPECT_EQ(MessageForRun(result, SayWhere::Yes)->text.rfind(
                  "MP3 File list made\n\nWritten to\n/m/mp3_listing.html\n\nSome folders", 0),
              0U);
}

TEST(GivenFolder, CommandLineTakesOneFolderAndNamesWhatElseItWasGiven) {
    EXPECT_TRUE(FolderFromCommandLine({}).Empty());
    const FolderRequest relative = FolderFromCommandLine({"music/"});
    ASSERT_TRUE(relative.folder);
    EXPECT_EQ(*relative.folder, (std::filesystem::current_path() / "music").string());
    for (const std::vector<std::string>& odd : std::vector<std::vector<std::string>>{
             {"--help"}, {"a", "b"}, {""}, {"-", "x\x1b[2J"}}) {
        const FolderRequest request = FolderFromCommandLine(odd);
        EXPECT_FALSE(request.folder);
        ASSERT_TRUE(request.problem);
        EXPECT_EQ(request.problem->text.rfind("The command line was not understood:\n", 0), 0U);
        // A name's escape sequence reaches no box as it stands.
        EXPECT_EQ(request.problem->text.find('\x1b'), std::string::npos);
    }
    // However much a stranger's script puts on it, the box stays a box.
    const FolderRequest many = FolderFromCommandLine(std::vector<std::string>(9, std::string(5000, 'x')));
    ASSERT_TRUE(many.problem);
    EXPECT_LT(many.problem->text.size(), 2000U);
    EXPECT_NE(many.problem->text.find("...and 4 more"), std::string::npos);
}

TEST(GivenFolder, DropTakesOneItemAndCountsTheRest) {
    EXPECT_TRUE(FolderFromDrop({}).Empty());
    EXPECT_EQ(FolderFromDrop({"/m"}).folder, "/m");
    const FolderRequest two = FolderFromDrop({"/m", "/n"});
    EXPECT_FALSE(two.folder);
    ASSERT_TRUE(two.problem);
    EXPECT_EQ(two.problem->text, "Drop one folder to list it: 2 items were dropped.");
}

TEST(DialogRuns, AFolderGivenDuringARunIsListedAfterItAndOnlyTheLastOne) {
    DialogRuns runs;
    std::vector<std::string> listed;
    const DialogRuns::Run run = [&](const FolderRequest& request) {
        listed.push_back(request.folder.value_or("browser"));
        if (listed.size() == 1) {
            // Drops that the progress window's message loop delivers mid-run.
            runs.List({"/dropped/1", std::nullopt}, run);
            runs.List({"/dropped/2", std::nullopt}, run);
            EXPECT_TRUE(runs.Running());
        }
    };
    runs.List({}, run);
    EXPECT_EQ(listed, (std::vector<std::string>{"browser", "/dropped/2"}));
    EXPECT_FALSE(runs.Running());

    // A run that throws leaves the dialog able to run again.
    EXPECT_THROW(runs.List({}, [](const FolderRequest&) { throw std::runtime_error("x"); }),
                 std::runtime_error);
    runs.List({"/m", std::nullopt}, run);
    EXPECT_EQ(listed.back(), "/m");
}

// A display that counts its drawings, on a clock the test moves.
class CountingProgress final : public PacedProgress {
public:
    explicit CountingProgress(std::chrono::steady_clock::time_point& now,
                              ProgressTiming timing = kDialogProgress)
        : PacedProgress(timing, [&now] { return now; }) {}
    bool CancelRequested() override { return cancelled; }
    void Wipe() { DrawNextAtOnce(); }
    int drawn = 0;
    bool cancelled = false;

private:
    void Draw() override { ++drawn; }
};

TEST(ProgressPacing, ShowsAfterASecondThenAtMostEveryTenthAndNotOnceCancelled) {
    std::chrono::steady_clock::time_point now{};
    CountingProgress progress(now);
    progress.FolderEntered("/m");
    now += std::chrono::milliseconds(999);
    progress.FileListed("/m/a.mp3");
    EXPECT_EQ(progress.drawn, 0);
    now += std::chrono::milliseconds(1);
    progress.FileListed("/m/b.mp3");
    EXPECT_EQ(progress.drawn, 1);
    EXPECT_TRUE(progress.WasShown());
    EXPECT_EQ(progress.Files(), 2U);
    EXPECT_EQ(progress.Folder(), "/m");

    now += std::chrono::milliseconds(99);
    progress.FolderEntered("/m/sub");
    EXPECT_EQ(progress.drawn, 1);
    progress.Wipe();
    progress.FileListed("/m/sub/c.mp3");
    EXPECT_EQ(progress.drawn, 2);
    now += std::chrono::milliseconds(100);
    progress.FileListed("/m/sub/d.mp3");
    EXPECT_EQ(progress.drawn, 3);
    EXPECT_EQ(progress.Folders(), 2U);

    progress.cancelled = true;
    now += std::chrono::seconds(5);
    progress.FileListed("/m/sub/e.mp3");
    EXPECT_EQ(progress.drawn, 3);

    // A terminal's line shows at once.
    CountingProgress line(now, kTerminalProgress);
    line.FolderEntered("/m");
    EXPECT_EQ(line.drawn, 1);
}

TEST(MinimisedIcon, CentredWithTruncationTowardZero) {
    EXPECT_EQ(CentreIconInClient(36, 36, 32, 32).x, 2);
    EXPECT_EQ(CentreIconInClient(36, 36, 32, 32).y, 2);
    EXPECT_EQ(CentreIconInClient(35, 36, 32, 32).x, 2);
    EXPECT_EQ(CentreIconInClient(20, 36, 32, 32).x, -5);
}

} // namespace
} // namespace quaverly::frontend
