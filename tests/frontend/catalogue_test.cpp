#include "frontend/catalogue_place.h"
#include "frontend/catalogue_run.h"
#include "frontend/given_folder.h"
#include "listing/catalogue_format.h"
#include "listing/catalogue_page.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/system_errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quaverly::frontend {
namespace {

using listing::CatalogueHead;
using testing::FakeFileSystem;
using testing::TempDir;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A full path of this system from a POSIX one: on Windows, on drive C.
std::string FullPath(std::string path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
    return "C:" + path;
#else
    return path;
#endif
}

TEST(CatalogueFileName, IsTheFoldersLastNameMadeSafeForBothSystems) {
    const char s = platform::kPathSeparator;
    const std::string m = std::string(1, s) + "m" + s;
    EXPECT_EQ(CatalogueFileName(m + "Music" + s), "Music.html");
    EXPECT_EQ(CatalogueFileName(m + "Music", 3), "Music (3).html");
    EXPECT_EQ(CatalogueFileName(std::string(1, s)), "root.html");
    EXPECT_EQ(CatalogueFileName(m + "a<b>c:d\"e|f?g*h\x01i\x7f"), "a_b_c_d_e_f_g_h_i_.html");
    // A trailing dot or space Windows drops; a leading dot would hide the file.
    EXPECT_EQ(CatalogueFileName(m + " .hidden. ."), "hidden.html");
    EXPECT_EQ(CatalogueFileName(m + "..."), "folder.html");
    // Device names, in any case and before any dot, but not inside longer names.
    EXPECT_EQ(CatalogueFileName(m + "CON"), "CON_.html");
    EXPECT_EQ(CatalogueFileName(m + "nul .tar"), "nul_ .tar.html");
    EXPECT_EQ(CatalogueFileName(m + "Com7"), "Com7_.html");
    EXPECT_EQ(CatalogueFileName(m + "Console"), "Console.html");
    EXPECT_EQ(CatalogueFileName(m + "COM"), "COM.html");
    // A long name is cut between characters, never inside one.
    std::string longName;
    for (int i = 0; i < 100; ++i) {
        longName += "\xC3\xA9"; // é
    }
    const std::string cut = CatalogueFileName(m + "a" + longName);
    EXPECT_EQ(cut, "a" + longName.substr(0, 118) + ".html");
#ifdef _WIN32
    EXPECT_EQ(CatalogueFileName("C:\\"), "C.html");
    EXPECT_EQ(CatalogueFileName("C:\\Music/Pop"), "Pop.html");
#else
    EXPECT_EQ(CatalogueFileName("/m/a\\b"), "a_b.html");
#endif
}

TEST(CatalogueCommandLine, TakesOneFolderAfterTheOptionAndNamesWhatElseItWasGiven) {
    EXPECT_FALSE(CatalogueFromCommandLine({}));
    EXPECT_FALSE(CatalogueFromCommandLine({"music"}));
    EXPECT_FALSE(CatalogueFromCommandLine({"music", "--catalogue"}));
    const auto given = CatalogueFromCommandLine({"--catalogue", "-music"});
    ASSERT_TRUE(given);
    EXPECT_EQ(given->folder, (std::filesystem::current_path() / "-music").string());
    for (const std::vector<std::string>& odd : std::vector<std::vector<std::string>>{
             {"--catalogue"}, {"--catalogue", ""}, {"--catalogue", "a", "b"}}) {
        const auto request = CatalogueFromCommandLine(odd);
        ASSERT_TRUE(request);
        EXPECT_FALSE(request->folder);
        ASSERT_TRUE(request->problem);
        EXPECT_EQ(
            request->problem->text.rfind("The command line was not understood:\n--catalogue", 0),
            0U);
        EXPECT_TRUE(request->problem->text.ends_with(
            "\n\nGive --catalogue one folder to make the catalogue of."));
    }
}

// The Quaverly folder in a documents folder of the test's own.
class CataloguePlacing : public ::testing::Test {
protected:
    std::string Place(const std::string& folder) {
        const CataloguePlace place = PlaceCatalogue(m_fileSystem, m_documents.Path(), folder);
        EXPECT_FALSE(place.problem) << place.problem->text;
        return place.path;
    }
    std::string InQuaverly(const std::string& name) const {
        return m_documents / ("Quaverly/" + name);
    }

    TempDir m_documents;
    FakeFileSystem m_fileSystem;
    const std::string m_music = FullPath("/a/Music");
};

TEST_F(CataloguePlacing, ReplacesItsOwnCatalogueAndPassesOverEveryOtherFile) {
    // The folder is made on the first run.
    EXPECT_EQ(Place(m_music), InQuaverly("Music.html"));
    EXPECT_TRUE(std::filesystem::is_directory(m_documents / "Quaverly"));
    m_documents.Write("Quaverly/Music.html", "<html>" + CatalogueHead(m_music) + ",\"separator\"");
    EXPECT_EQ(Place(m_music), InQuaverly("Music.html"));

    // Another folder's catalogue of the same name, a page that is no catalogue, and one that
    // cannot be read are kept.
    const std::string other = FullPath("/b/Music");
    EXPECT_EQ(Place(other), InQuaverly("Music (2).html"));
    m_documents.Write("Quaverly/Music (2).html", "<html>no catalogue");
    m_documents.Write("Quaverly/Music (3).html", CatalogueHead(other));
    m_fileSystem.onOpenForReading = [&](const std::string& path) {
        if (path == InQuaverly("Music (3).html")) {
            throw testing::ErrnoError(testing::kAccessDenied, "open", path);
        }
    };
    EXPECT_EQ(Place(other), InQuaverly("Music (4).html"));
    // The closing quote is in the head: the folder's name is not read as part of a longer one.
    EXPECT_EQ(Place(FullPath("/b/Musi")), InQuaverly("Musi.html"));
    m_documents.Write("Quaverly/Musi.html", CatalogueHead(other));
    EXPECT_EQ(Place(FullPath("/b/Musi")), InQuaverly("Musi (2).html"));
}

TEST_F(CataloguePlacing, AQuaverlyFolderThatCannotBeMadeIsNamedWithTheReason) {
    m_fileSystem.onCreateFolder = [](const std::string&) { return testing::kAccessDenied; };
    const CataloguePlace denied = PlaceCatalogue(m_fileSystem, m_documents.Path(), m_music);
    ASSERT_TRUE(denied.problem);
    EXPECT_EQ(denied.problem->text, "Cannot make the folder for the catalogue\n" +
                                        m_documents / "Quaverly" + "\nPermission denied");
    EXPECT_EQ(denied.problem->icon, MessageIcon::Exclamation);

    m_fileSystem.onCreateFolder = nullptr;
    m_documents.Write("Quaverly", "a file");
    const CataloguePlace inTheWay = PlaceCatalogue(m_fileSystem, m_documents.Path(), m_music);
    ASSERT_TRUE(inTheWay.problem);
    EXPECT_TRUE(inTheWay.problem->text.ends_with("\nSomething that is not a folder has its name"));
}

struct Box {
    std::string text;
    MessageIcon icon;
};

class RecordingBoxes final : public MessageBoxService {
public:
    std::vector<Box> shown;
    void Show(const std::string& text, MessageIcon icon) override { shown.push_back({text, icon}); }
};

// Opens what it is asked to, or fails as a desktop without a browser does.
class RecordingDesktop final : public platform::Desktop {
public:
    std::vector<std::string> opened;
    bool browser = true;
    int OpenTarget(const std::string& target, int) override {
        opened.push_back(target);
        return browser ? platform::launch_code::Succeeded : platform::launch_code::NoAssociation;
    }
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 0; }
};

class CancellingObserver final : public listing::RunObserver {
public:
    bool CancelRequested() override { return true; }
};

// A catalogue run as the file manager's verb starts it, into a documents folder of its own.
class CatalogueRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        m_music.Write("Pop/a.mp3", testing::CbrFrames(3));
        m_services.fileSystem = &m_fileSystem;
        m_services.session = &m_session;
        m_services.desktop = &m_desktop;
        m_services.documentsFolder = m_documents.Path();
    }
    // The run leaves the listed folder current, which the folders' removal needs it not to be.
    void TearDown() override { std::filesystem::current_path(m_previous); }

    listing::RunResult Run(const FolderRequest& request) {
        return MakeCatalogueFromDesktop(m_services, request, m_boxes, [this] {
            EXPECT_TRUE(m_boxes.shown.empty());
            return m_cancel ? std::make_unique<CancellingObserver>()
                            : std::make_unique<listing::RunObserver>();
        });
    }
    std::string Page() const { return m_documents / "Quaverly/Pop.html"; }

    TempDir m_music;
    TempDir m_documents;
    FakeFileSystem m_fileSystem;
    listing::ListingSession m_session{m_fileSystem};
    RecordingDesktop m_desktop;
    DialogServices m_services;
    RecordingBoxes m_boxes;
    bool m_cancel = false;
    const std::string m_pop = m_music / "Pop";

private:
    std::filesystem::path m_previous;
};

TEST_F(CatalogueRun, IsOpenedInTheBrowserWithoutABoxAndLinksToTheFolder) {
    EXPECT_EQ(Run({m_pop, std::nullopt}).outcome, listing::RunOutcome::Complete);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(m_desktop.opened, std::vector<std::string>{listing::FileUrl(Page())});
    // The head it is found again by is the one the page writes.
    const std::string page = ReadWhole(Page());
    EXPECT_NE(page.find(CatalogueHead(m_pop)), std::string::npos);
    EXPECT_NE(page.find("\"base\":\"" + listing::LinkBase(Page(), m_pop) + "\""),
              std::string::npos);
}

TEST_F(CatalogueRun, BrowserThatDoesNotOpenItIsSaidWithWhereThePageIs) {
    m_desktop.browser = false;
    EXPECT_EQ(Run({m_pop, std::nullopt}).outcome, listing::RunOutcome::Complete);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text,
              "MP3 catalogue made\n\nWritten to\n" + Page() +
                  "\n\nIt could not be opened in the browser:\nThere is no application "
                  "associated\nwith the given filename extension.");
    EXPECT_EQ(m_boxes.shown[0].icon, MessageIcon::Exclamation);
}

TEST_F(CatalogueRun, IncompleteRunIsOpenedAndSaysWhatCouldNotBeRead) {
    const std::string song = m_pop + platform::kPathSeparator + "a.mp3";
    m_fileSystem.onOpenForReading = [&](const std::string& path) {
        if (path == song) {
            throw testing::ErrnoError(testing::kAccessDenied, "open", path);
        }
    };
    EXPECT_EQ(Run({m_pop, std::nullopt}).outcome, listing::RunOutcome::Incomplete);
    EXPECT_EQ(m_desktop.opened.size(), 1U);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text.rfind("MP3 catalogue made\n\nWritten to\n" + Page() +
                                              "\n\nSome folders or files could not be read:\n" +
                                              song + ": ",
                                          0),
              0U);
}

TEST_F(CatalogueRun, CancelledRunIsWholeButNotOpened) {
    m_cancel = true;
    EXPECT_EQ(Run({m_pop, std::nullopt}).outcome, listing::RunOutcome::Cancelled);
    EXPECT_TRUE(m_desktop.opened.empty());
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text, "The catalogue was cancelled. The MP3 catalogue in\n" +
                                         Page() + "\nis incomplete, and was not opened.");
    EXPECT_TRUE(ReadWhole(Page()).ends_with(listing::CataloguePageTail()));
}

TEST_F(CatalogueRun, ProblemsBeforeTheRunAreBoxesAndNothingIsWritten) {
    Run({std::nullopt, RunMessage{"not understood", MessageIcon::Exclamation, {}}});
    Run({m_pop + platform::kPathSeparator + "a.mp3", std::nullopt});
    m_fileSystem.onCreateFolder = [](const std::string&) { return testing::kAccessDenied; };
    Run({m_pop, std::nullopt});
    ASSERT_EQ(m_boxes.shown.size(), 3U);
    EXPECT_EQ(m_boxes.shown[0].text, "not understood");
    EXPECT_EQ(m_boxes.shown[1].text, "Cannot make the catalogue of\n" + m_pop +
                                         platform::kPathSeparator + "a.mp3\nNot a folder");
    EXPECT_EQ(m_boxes.shown[2].text.rfind("Cannot make the folder for the catalogue\n", 0), 0U);
    EXPECT_EQ(m_fileSystem.createdFiles, 0);
    EXPECT_TRUE(m_desktop.opened.empty());
}

} // namespace
} // namespace quaverly::frontend
