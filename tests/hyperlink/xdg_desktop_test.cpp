// The XDG desktop against a desktop tree that the test makes: its own config and data
// directories, desktop entries whose programs are scripts recording their arguments, and a
// two-line MIME database. The environment points GIO and the class lookup at it before anything
// reads it, so no real browser or desktop takes part.
#include "hyperlink/link_launcher.h"
#include "platform/desktop/documents_folder.h"
#include "platform/desktop/xdg_desktop.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quaverly::platform {
namespace {

namespace fs = std::filesystem;
namespace show = show_command;
using Words = std::vector<std::string>;

fs::path g_root;

void WriteFile(const fs::path& path, const std::string& text, bool executable = false) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    if (executable) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    }
}

// A program that writes its arguments, one a line, to records/<name> and then exits. The
// rename makes the record appear whole.
void WriteRecorder(const fs::path& path, const std::string& name) {
    const std::string record = (g_root / "records" / name).string();
    WriteFile(path,
              "#!/bin/sh\n"
              "printf '%s\\n' \"$@\" > '" +
                  record +
                  ".part'\n"
                  "mv '" +
                  record + ".part' '" + record + "'\n",
              true);
}

class DesktopTree : public testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/quaverly-xdg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        g_root = pattern;
        const fs::path sysData = g_root / "sys-data";

        WriteRecorder(g_root / "bin/record-opened", "opened");
        WriteRecorder(g_root / "handlers dir/record-html", "html");
        WriteFile(g_root / "bin/not-executable", "#!/bin/sh\n");

        // What GIO opens: one URL scheme and one document type with a handler.
        WriteFile(g_root / "sys-config/mimeapps.list",
                  "[Default Applications]\n"
                  "x-scheme-handler/x-quaverly-test=opener.desktop\n"
                  "application/x-quaverly-notes=opener.desktop\n");
        WriteFile(sysData / "applications/opener.desktop",
                  "[Desktop Entry]\nType=Application\nName=Opener\nExec=" +
                      (g_root / "bin/record-opened").string() + " %u\n");
        WriteFile(sysData / "mime/globs2", "50:application/x-quaverly-notes:*.qnotes\n");

        // What the class lookup finds for text/html, below a vendor directory.
        WriteFile(sysData / "applications/vendor/browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Browser\n"
                  "Exec=\"" +
                      (g_root / "handlers dir/record-html").string() +
                      "\" --new-window %u --private\n");
        WriteFile(sysData / "applications/plain.desktop",
                  "[Desktop Entry]\nType=Application\nName=Plain\nExec=plain %i %U\n");
        WriteFile(sysData / "applications/noexec.desktop",
                  "[Desktop Entry]\nType=Application\nName=No Exec\n");

        setenv("HOME", (g_root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (g_root / "sys-config").c_str(), 1);
        setenv("XDG_DATA_HOME", (g_root / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", sysData.c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "Quaverly:Test", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("GIO_USE_VFS", "local", 1);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(g_root, ignored);
    }
};

const auto* const g_tree = testing::AddGlobalTestEnvironment(new DesktopTree);

// The arguments a recorder was started with, once it has written them. The wait is bounded so
// that a recorder that never runs fails the test instead of hanging it.
std::optional<Words> WaitForRecord(const std::string& name) {
    const fs::path path = g_root / "records" / name;
    for (int i = 0; i < 1000 && !fs::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    Words words;
    for (std::string line; std::getline(in, line);) {
        words.push_back(line);
    }
    return words;
}

// Children of this process that have ended and not been waited for.
int ZombieChildren() {
    int zombies = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text)) {
            continue;
        }
        // pid (comm) state ppid: the command may hold blanks and parentheses.
        std::istringstream rest(text.substr(text.rfind(')') + 1));
        char state = 0;
        long ppid = 0;
        if (rest >> state >> ppid && state == 'Z' && ppid == getpid()) {
            ++zombies;
        }
    }
    return zombies;
}

class XdgDesktopTest : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(g_root / "records");
        fs::create_directories(g_root / "records");
        fs::remove_all(g_root / "config");
        fs::remove_all(g_root / "data");
    }

    static void SetUserMimeApps(const std::string& name, const std::string& text) {
        WriteFile(g_root / "config" / name, text);
    }

    XdgDesktop desktop;
};

TEST_F(XdgDesktopTest, UrlOpensWithTheDesktopsHandler) {
    const std::string url = "x-quaverly-test://page?a=1&b='2'";
    EXPECT_GT(OpenLinkTarget(url, show::Show, desktop), 32);
    EXPECT_EQ(WaitForRecord("opened"), Words{url});
}

TEST_F(XdgDesktopTest, DocumentNameOpensAsAFile) {
    WriteFile(g_root / "work/list.qnotes", "notes\n");
    const fs::path before = fs::current_path();
    fs::current_path(g_root / "work");
    const int result = desktop.OpenTarget("list.qnotes", show::Show);
    fs::current_path(before);

    EXPECT_GT(result, 32);
    EXPECT_EQ(WaitForRecord("opened"), Words{(g_root / "work/list.qnotes").string()});
}

TEST_F(XdgDesktopTest, MissingDocumentIsFileNotFound) {
    EXPECT_EQ(desktop.OpenTarget((g_root / "no such.qnotes").string(), show::Show), 2);
    EXPECT_EQ(desktop.OpenTarget("", show::Show), 2);
}

TEST_F(XdgDesktopTest, UrlWithoutHandlerIsNoAssociation) {
    EXPECT_EQ(desktop.OpenTarget("x-quaverly-nobody://page", show::Show), 31);
}

TEST_F(XdgDesktopTest, FallbackRunsTheHtmlCommandWithTheTarget) {
    SetUserMimeApps("mimeapps.list", "[Default Applications]\ntext/html=vendor-browser.desktop\n");
    const std::string url = "x-quaverly-nobody://page";

    EXPECT_GT(OpenLinkTarget(url, show::Show, desktop), 32);
    // Cut at the placeholder: the trailing option is gone.
    EXPECT_EQ(WaitForRecord("html"), (Words{"--new-window", url}));
}

TEST_F(XdgDesktopTest, FallbackChildIsReaped) {
    SetUserMimeApps("mimeapps.list", "[Default Applications]\ntext/html=vendor-browser.desktop\n");
    ASSERT_GT(desktop.RunCommandLine(desktop
                                         .ReadClassDefault("vendor-browser.desktop\\shell\\open"
                                                           "\\command")
                                         .value,
                                     show::Show),
              32);
    ASSERT_TRUE(WaitForRecord("html"));
    int zombies = ZombieChildren();
    for (int i = 0; i < 1000 && zombies != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        zombies = ZombieChildren();
    }
    EXPECT_EQ(zombies, 0);
}

TEST_F(XdgDesktopTest, MissingHtmlAssociationKeepsTheDesktopFailure) {
    SetUserMimeApps("mimeapps.list", "[Default Applications]\ntext/plain=plain.desktop\n");
    EXPECT_EQ(desktop.ReadClassDefault(".htm").status, 2);
    EXPECT_EQ(OpenLinkTarget("x-quaverly-nobody://page", show::Show, desktop), 31);
}

TEST_F(XdgDesktopTest, MissingDesktopEntryKeepsTheDesktopFailure) {
    SetUserMimeApps("mimeapps.list", "[Default Applications]\ntext/html=ghost.desktop\n");
    EXPECT_EQ(desktop.ReadClassDefault(".htm").status, 2);
    EXPECT_EQ(desktop.ReadClassDefault("ghost.desktop\\shell\\open\\command").status, 2);
    EXPECT_EQ(desktop.ReadClassDefault("noexec.desktop\\shell\\open\\command").status, 2);
    EXPECT_EQ(OpenLinkTarget("x-quaverly-nobody://page", show::Show, desktop), 31);
}

TEST_F(XdgDesktopTest, HtmlClassFollowsTheMimeAppsOrder) {
    // The desktop's own list beats the plain one; an entry that is not installed is passed over.
    SetUserMimeApps("test-mimeapps.list",
                    "[Default Applications]\ntext/html=ghost.desktop;plain.desktop\n");
    SetUserMimeApps("mimeapps.list", "[Default Applications]\ntext/html=vendor-browser.desktop\n");
    EXPECT_EQ(desktop.ReadClassDefault(".HTM").value, "plain.desktop");

    // Added associations and the old defaults.list count only when no default is installed.
    fs::remove(g_root / "config/test-mimeapps.list");
    SetUserMimeApps("mimeapps.list", "[Added Associations]\ntext/html=plain.desktop\n");
    WriteFile(g_root / "data/applications/defaults.list",
              "[Default Applications]\ntext/html=vendor-browser.desktop\n");
    EXPECT_EQ(desktop.ReadClassDefault(".htm").value, "plain.desktop");
    fs::remove(g_root / "config/mimeapps.list");
    EXPECT_EQ(desktop.ReadClassDefault(".htm").value, "vendor-browser.desktop");

    // A user's hidden entry deletes the system one.
    WriteFile(g_root / "data/applications/vendor-browser.desktop",
              "[Desktop Entry]\nHidden=true\n");
    EXPECT_EQ(desktop.ReadClassDefault(".htm").status, 2);
}

TEST_F(XdgDesktopTest, OpenCommandKeyHoldsTheExecLineWithThePlaceholder) {
    const ClassValue value = desktop.ReadClassDefault("plain.desktop\\Shell\\Open\\Command");
    EXPECT_EQ(value.status, 0);
    EXPECT_EQ(value.value, "plain  %1");
    EXPECT_EQ(desktop.ReadClassDefault("plain.desktop").status, 2);
    EXPECT_EQ(desktop.ReadClassDefault("..\\shell\\open\\command").status, 2);
}

TEST_F(XdgDesktopTest, CommandLineFailures) {
    EXPECT_EQ(desktop.RunCommandLine("quaverly-no-such-program --x", show::Show), 2);
    EXPECT_EQ(desktop.RunCommandLine((g_root / "bin/missing").string(), show::Show), 2);
    EXPECT_EQ(desktop.RunCommandLine((g_root / "bin/not-executable").string(), show::Show), 11);
    EXPECT_EQ(desktop.RunCommandLine("   ", show::Show), 2);
}

// The tree's home has no user-dirs.dirs and no Documents at first.
TEST_F(XdgDesktopTest, DocumentsFolderIsTheUserDirsOneElseDocumentsElseTheHome) {
    const fs::path home = g_root / "home";
    fs::create_directories(home);
    EXPECT_EQ(DocumentsFolder(SystemFileSystem()), home.string());
    fs::create_directories(home / "Documents");
    EXPECT_EQ(DocumentsFolder(SystemFileSystem()), (home / "Documents").string());
    WriteFile(g_root / "config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(DocumentsFolder(SystemFileSystem()), (home / "Dokumente").string());
    // A relative XDG_CONFIG_HOME is no config home: the default one is read.
    setenv("XDG_CONFIG_HOME", "config", 1);
    EXPECT_EQ(DocumentsFolder(SystemFileSystem()), (home / "Documents").string());
    unsetenv("HOME");
    EXPECT_EQ(DocumentsFolder(SystemFileSystem()), "");
}

} // namespace
} // namespace quaverly::platform
