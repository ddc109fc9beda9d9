#include "platform/desktop/command_line.h"
#include "platform/desktop/desktop_entry.h"
#include "platform/desktop/key_file.h"
#include "platform/desktop/mime_apps.h"
#include "platform/desktop/user_dirs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace quaverly::platform::xdg {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, PlainWordsAndDoubleQuotes) {
    EXPECT_EQ(SplitCommandLine("  browser\t--new  http://x/?a=1&b='2'  "),
              (Words{"browser", "--new", "http://x/?a=1&b='2'"}));
    EXPECT_EQ(SplitCommandLine("\"/opt/my browser/run\" -a\"b c\"d \"\""),
              (Words{"/opt/my browser/run", "-ab cd", ""}));
    EXPECT_TRUE(SplitCommandLine(" \t\n").empty());
}

TEST(SplitCommandLine, BackslashesFollowTheShell) {
    // In quotes only $ ` " \ are escaped; outside, any character is.
    EXPECT_EQ(SplitCommandLine(R"("a\"b\\c\d\$" e\ f \'g)"), (Words{R"(a"b\c\d$)", "e f", "'g"}));
    EXPECT_EQ(SplitCommandLine("a\\"), Words{"a\\"});
    EXPECT_EQ(SplitCommandLine("\"unclosed  quote"), Words{"unclosed  quote"});
}

TEST(CommandFromExec, FileAndUrlCodesBecomeThePlaceholderOthersAreDropped) {
    EXPECT_EQ(CommandFromExec("browser %U --x"), "browser %1 --x");
    EXPECT_EQ(CommandFromExec("viewer \"%F\" %f"), "viewer \"%1\" %1");
    EXPECT_EQ(CommandFromExec("browser %i %c %k --rate=50%% %u %"), "browser    --rate=50% %1 ");
    EXPECT_EQ(CommandFromExec("old %d%D%n%N%v%m%u"), "old %1");
}

TEST(ParseDesktopEntry, ReadsExecAndHiddenFromItsOwnGroup) {
    const auto entry = ParseDesktopEntry("# comment\n"
                                         "[Desktop Entry]\n"
                                         "Name=Browser\n"
                                         "Exec = \"/opt/a\\sb/run\" %u \n"
                                         "[Desktop Action new]\n"
                                         "Exec=other\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->exec, "\"/opt/a b/run\" %u");
    EXPECT_FALSE(entry->hidden);

    const auto hidden = ParseDesktopEntry("[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(hidden);
    EXPECT_FALSE(hidden->exec);
    EXPECT_TRUE(hidden->hidden);

    EXPECT_FALSE(ParseDesktopEntry("[Something Else]\nExec=x\n"));
    EXPECT_FALSE(ParseDesktopEntry(""));
}

TEST(ParseMimeAppsList, CollectsTheThreeGroupsForOneType) {
    const auto associations = ParseMimeAppsList("[Default Applications]\n"
                                                "text/plain=editor.desktop\n"
                                                "Text/HTML=first.desktop;second.desktop;\n"
                                                "[Added Associations]\n"
                                                "text/html=added.desktop\n"
                                                "[Removed Associations]\n"
                                                "text/html=gone.desktop\n"
                                                "[Unrelated]\n"
                                                "text/html=never.desktop\n",
                                                "text/html");
    EXPECT_EQ(associations.defaults, (Words{"first.desktop", "second.desktop"}));
    EXPECT_EQ(associations.added, Words{"added.desktop"});
    EXPECT_EQ(associations.removed, Words{"gone.desktop"});
}

TEST(ResolveXdgDirectories, FillsInDefaultsAndIgnoresRelativePaths) {
    const auto dirs =
        ResolveXdgDirectories("/home/u/", "", "relative:/etc/xdg2/", "rel", "", "ubuntu:GNOME");
    EXPECT_EQ(dirs.configHome, "/home/u/.config");
    EXPECT_EQ(dirs.configDirs, Words{"/etc/xdg2"});
    EXPECT_EQ(dirs.dataHome, "/home/u/.local/share");
    EXPECT_EQ(dirs.dataDirs, (Words{"/usr/local/share", "/usr/share"}));
    EXPECT_EQ(dirs.desktops, (Words{"ubuntu", "gnome"}));
}

TEST(MimeAppsListFiles, ConfigBeforeDataAndDesktopListsFirst) {
    XdgDirectories dirs;
    dirs.configHome = "/c";
    dirs.configDirs = {"/cd"};
    dirs.dataHome = "/d";
    dirs.dataDirs = {"/dd1", "/dd2"};
    dirs.desktops = {"kde"};
    EXPECT_EQ(MimeAppsListFiles(dirs),
              (Words{"/c/kde-mimeapps.list", "/c/mimeapps.list", "/cd/kde-mimeapps.list",
                     "/cd/mimeapps.list", "/d/applications/kde-mimeapps.list",
                     "/d/applications/mimeapps.list", "/dd1/applications/kde-mimeapps.list",
                     "/dd1/applications/mimeapps.list", "/dd2/applications/kde-mimeapps.list",
                     "/dd2/applications/mimeapps.list"}));
    EXPECT_EQ(DefaultsListFiles(dirs),
              (Words{"/d/applications/defaults.list", "/dd1/applications/defaults.list",
                     "/dd2/applications/defaults.list"}));
}

class ChooseDefault : public testing::Test {
protected:
    std::set<std::string> installed{"a.desktop", "b.desktop", "c.desktop"};

    std::string Choose(const std::vector<MimeAssociations>& lists,
                       const std::vector<MimeAssociations>& legacy = {}) {
        return ChooseDefaultApplication(
            lists, legacy, [this](const std::string& id) { return installed.count(id) != 0; });
    }
};

TEST_F(ChooseDefault, AnyListsDefaultBeatsAddedAssociations) {
    EXPECT_EQ(Choose({{{}, {"a.desktop"}, {}}, {{"c.desktop"}, {}, {}}}), "c.desktop");
}

TEST_F(ChooseDefault, RemovalsHideAddedAssociationsOfTheirOwnAndLowerLists) {
    EXPECT_EQ(Choose({{{}, {"a.desktop"}, {"a.desktop"}}, {{}, {"a.desktop", "b.desktop"}, {}}}),
              "b.desktop");
    // A lower list cannot remove what a higher one added.
    EXPECT_EQ(Choose({{{}, {"a.desktop"}, {}}, {{}, {}, {"a.desktop"}}}), "a.desktop");
}

TEST(UserDir, ReadsTheKeyAsXdgUserDirsWritesIt) {
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";
    const auto read = [&](std::string_view text) { return UserDir(text, kKey, "/home/me"); };
    EXPECT_EQ(read("# written by xdg-user-dirs-update\n"
                   "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                   "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"),
              "/home/me/Dokumente");
    EXPECT_EQ(read("  XDG_DOCUMENTS_DIR = \"/srv/docs/\"  \r\n"), "/srv/docs");
    EXPECT_EQ(read(R"(XDG_DOCUMENTS_DIR="$HOME/a \"b\\c")"), "/home/me/a \"b\\c");
    // A folder turned off is the home itself.
    EXPECT_EQ(read("XDG_DOCUMENTS_DIR=\"$HOME/\""), "/home/me");
    EXPECT_EQ(read("XDG_DOCUMENTS_DIR=\"$HOME\""), "/home/me");
    // The last line that gives it counts; a line that gives it nothing usable does not.
    EXPECT_EQ(read("XDG_DOCUMENTS_DIR=\"/one\"\nXDG_DOCUMENTS_DIR=\"/two\"\n"
                   "XDG_DOCUMENTS_DIR=\"docs\"\nXDG_DOCUMENTS_DIR=\"$HOMEdocs\"\n"
                   "XDG_DOCUMENTS_DIR=/bare\nXDG_DOCUMENTS_DIRS=\"/three\"\n"
                   "#XDG_DOCUMENTS_DIR=\"/four\"\n"),
              "/two");
    EXPECT_FALSE(read("XDG_MUSIC_DIR=\"$HOME/Music\"\n"));
    EXPECT_FALSE(read(""));
}

} // namespace
} // namespace quaverly::platform::xdg
