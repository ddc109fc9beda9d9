// The Win32 dialog program driven with real messages: its template, system menu and About box,
// the link's colours, capture, keys and clicks, and a run from the button to its box.

#include "resource.h"
#include "winapp/about_box.h"
#include "winapp/listing_dlg.h"

#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace quaverly {
namespace {

class RecordingDesktop final : public platform::Desktop {
public:
    int OpenTarget(const std::string& target, int showCommand) override {
        opened.push_back(target);
        lastShow = showCommand;
        return openResult;
    }
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 2; }

    std::vector<std::string> opened;
    int lastShow = -1;
    int openResult = platform::launch_code::Succeeded;
};

class RecordingBoxes final : public frontend::MessageBoxService {
public:
    void Show(const std::string& text, frontend::MessageIcon) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// The browser's answer, set by each test.
class ScriptedChooser final : public frontend::FolderChooser {
public:
    std::optional<std::string> answer;
    std::optional<std::string> ChooseFolder(const std::string&) override { return answer; }
};

std::string TextOf(HWND window) {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

COLORREF ColourOf(HWND dialog, HWND link) {
    const HDC dc = ::GetDC(link);
    ::SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(link));
    const COLORREF colour = ::GetTextColor(dc);
    ::ReleaseDC(link, dc);
    return colour;
}

LPARAM At(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                      static_cast<WORD>(static_cast<short>(y)));
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_start = std::filesystem::current_path();
        ListingDlgServices services;
        services.desktop = &desktop;
        services.boxes = &boxes;
        services.chooser = &chooser;
        services.session = &session;
        services.fileSystem = &fileSystem;
        dialog = std::make_unique<CListingDlg>(nullptr, services);
        window = dialog->Create();
        ASSERT_NE(window, nullptr);
        link = ::GetDlgItem(window, resource::kHomePageLink);
    }
    void TearDown() override {
        dialog.reset();
        std::filesystem::current_path(m_start);
    }

    RecordingDesktop desktop;
    RecordingBoxes boxes;
    ScriptedChooser chooser;
    testing::FakeFileSystem fileSystem;
    listing::ListingSession session{fileSystem};
    std::unique_ptr<CListingDlg> dialog;
    HWND window = nullptr;
    HWND link = nullptr;

private:
    std::filesystem::path m_start;
};

TEST_F(MainDialog, HasItsTemplateTheAboutItemBothIconsAndTheLink) {
    EXPECT_EQ(TextOf(window), "Quaverly");
    const auto style = static_cast<DWORD>(::GetWindowLongA(window, GWL_STYLE));
    EXPECT_NE(style & WS_MINIMIZEBOX, 0U);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0U);
    EXPECT_NE(static_cast<DWORD>(::GetWindowLongA(window, GWL_EXSTYLE)) & WS_EX_APPWINDOW, 0U);
    EXPECT_EQ(TextOf(::GetDlgItem(window, resource::kBrowseButton)), "Browse to MP3 Directory");

    const HMENU menu = ::GetSystemMenu(window, FALSE);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(::GetMenuItemID(menu, count - 1), resource::kAboutCommand);
    char item[64] = {};
    ::GetMenuStringA(menu, static_cast<UINT>(count - 1), item, sizeof item, MF_BYPOSITION);
    EXPECT_STREQ(item, "&About Brindlewick...");
    EXPECT_NE(::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR, 0U);

    const auto big = ::SendMessageA(window, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(big, ::SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(::SendMessageA(window, WM_QUERYDRAGICON, 0, 0)),
              dialog->Icon());

    // The link: its target from its text, underlined, fitted to the text, the system's hand.
    EXPECT_EQ(dialog->Link().GetTarget(), "https://quaverly.example/");
    LOGFONTA font{};
    ::GetObjectA(dialog->Link().GetLinkFont(), sizeof font, &font);
    EXPECT_EQ(font.lfUnderline, 1);
    const HDC dc = ::GetDC(link);
    ::SelectObject(dc, dialog->Link().GetLinkFont());
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, "https://quaverly.example/", 25, &extent);
    ::ReleaseDC(link, dc);
    RECT client{};
    ::GetClientRect(link, &client);
    EXPECT_EQ(client.right, extent.cx);
    EXPECT_EQ(client.bottom, extent.cy);
    EXPECT_NE(CHyperLink::LinkCursor(), nullptr);
    EXPECT_NE(dialog->Link().GetToolTip(), nullptr);
}

// Counts the About boxes that come up and ends each one with OK.
int g_aboutBoxes = 0;
std::string g_aboutNotice;

void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR, DWORD) {
    if (const HWND about = ::FindWindowA(nullptr, "About Quaverly"); about != nullptr) {
        ++g_aboutBoxes;
        for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (TextOf(child).find("page") != std::string::npos) {
                g_aboutNotice = TextOf(child);
            }
        }
        ::PostMessageA(about, WM_COMMAND, IDOK, 0);
    }
}

TEST_F(MainDialog, SystemMenuOpensTheAboutBoxForItsCommandsOnly) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CloseAboutBox);
    g_aboutBoxes = 0;
    // 0x0010 to 0x001F in the low 16 bits, whatever the high ones hold.
    for (const WPARAM command : {WPARAM{0x0010}, WPARAM{0x001F}, WPARAM{0x7FFF0010}}) {
        ::SendMessageA(window, WM_SYSCOMMAND, command, 0);
    }
    EXPECT_EQ(g_aboutBoxes, 3);
    EXPECT_EQ(g_aboutNotice, "Your MP3 files on one page.");
    ::SendMessageA(window, WM_SYSCOMMAND, 0x0020, 0);
    EXPECT_EQ(g_aboutBoxes, 3);
    ::KillTimer(nullptr, timer);
    EXPECT_NE(::IsWindow(window), 0);
}

TEST_F(MainDialog, LinkColoursFollowTheHoverAndTheCapture) {
    EXPECT_EQ(ColourOf(window, link), RGB(0, 0, 255));
    EXPECT_EQ(::SendMessageA(link, WM_NCHITTEST, 0, 0), HTCLIENT);

    ::SendMessageA(link, WM_MOUSEMOVE, 0, At(2, 2));
    EXPECT_EQ(::GetCapture(), link);
    EXPECT_EQ(ColourOf(window, link), RGB(255, 0, 0));
    ::SendMessageA(link, WM_MOUSEMOVE, 0, At(-5, -5));
    EXPECT_NE(::GetCapture(), link);
    EXPECT_EQ(ColourOf(window, link), RGB(0, 0, 255));
}

TEST_F(MainDialog, LinkOpensOnSpaceAndClickAndSaysWhyWhenItCannot) {
    ::SetFocus(link);
    ::SendMessageA(link, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_EQ(desktop.opened.size(), 1U);
    EXPECT_EQ(desktop.opened[0], "https://quaverly.example/");
    EXPECT_EQ(desktop.lastShow, SW_SHOW);

    // A click: the press takes the focus, the release opens.
    ::SetFocus(::GetDlgItem(window, resource::kBrowseButton));
    ::SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, At(2, 2));
    EXPECT_EQ(::GetFocus(), link);
    EXPECT_EQ(desktop.opened.size(), 1U);
    ::SendMessageA(link, WM_LBUTTONUP, 0, At(2, 2));
    EXPECT_EQ(desktop.opened.size(), 2U);

    // Space as the modal loop hands it on: through the dialog manager, which leaves the key
    // and its character to the link.
    ::SetFocus(link);
    EXPECT_NE(::SendMessageA(link, WM_GETDLGCODE, 0, 0) & DLGC_WANTCHARS, 0);
    MSG key{link, WM_KEYDOWN, VK_SPACE, 0x00390001, 0, {}};
    EXPECT_TRUE(::IsDialogMessageA(window, &key));
    EXPECT_EQ(desktop.opened.size(), 3U);

    desktop.openResult = platform::launch_code::NoAssociation;
    ::SendMessageA(link, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0], "Can't open link:\n\nThere is no application associated\n"
                              "with the given filename extension.");
    ::ReleaseCapture();
}

TEST_F(MainDialog, BrowseListsTheChosenFolderAndSaysSo) {
    testing::TempDir root;
    root.Write("music/song.mp3", testing::CbrFrames(3));
    chooser.answer = root / "music";
    std::filesystem::current_path(root.Path());

    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(resource::kBrowseButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, resource::kBrowseButton)));

    EXPECT_EQ(boxes.shown, std::vector<std::string>{"MP3 File list made"});
    EXPECT_NE(testing::ReadWholeFile(root / "mp3_listing.html").find("song.mp3</td><td> 128 Kbs"),
              std::string::npos);

    // A page that cannot be written: the open failure's box, then the command's failure.
    fileSystem.onCreate = [](const std::string& path) {
        throw platform::FileError(platform::FileErrorCause::AccessDenied,
                                  platform::kErrorAccessDenied, "create", path);
    };
    boxes.shown.clear();
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(resource::kBrowseButton, BN_CLICKED), 0);
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[0], "error");
    EXPECT_EQ(boxes.shown[1].rfind("The command could not be completed.\n\ncreate ", 0), 0U)
        << boxes.shown[1];
}

TEST_F(MainDialog, ProgressComesAfterASecondAndItsCancelStopsTheRun) {
    auto now = std::chrono::steady_clock::time_point{};
    {
        win32::ListingProgress progress(window, [&] { return now; });
        progress.FolderEntered("C:\\music");
        EXPECT_EQ(progress.Window(), nullptr);
        now += std::chrono::milliseconds(1500);
        progress.FileListed("C:\\music\\a.mp3");
        ASSERT_NE(progress.Window(), nullptr);
        EXPECT_EQ(::IsWindowEnabled(window), 0);
        EXPECT_FALSE(progress.CancelRequested());
        ::SendMessageA(progress.Window(), WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(progress.CancelRequested());
    }
    EXPECT_NE(::IsWindowEnabled(window), 0);
}

// Lets the dialog handle what was posted to it.
void HandlePosted() {
    MSG message{};
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

TEST_F(MainDialog, FolderGivenAtTheStartIsListedOnceTheDialogIsUp) {
    testing::TempDir root;
    root.Write("music/song.mp3", testing::CbrFrames(3));
    std::filesystem::current_path(root.Path());
    ListingDlgServices services;
    services.boxes = &boxes;
    services.chooser = &chooser;
    services.session = &session;
    services.fileSystem = &fileSystem;
    dialog = std::make_unique<CListingDlg>(
        nullptr, services, frontend::FolderRequest{root / "music", std::nullopt});
    ASSERT_NE(dialog->Create(), nullptr);
    EXPECT_TRUE(boxes.shown.empty());
    HandlePosted();
    EXPECT_EQ(boxes.shown, std::vector<std::string>{"MP3 File list made\n\nWritten to\n" +
                                                    root / "mp3_listing.html"});
}

// What the shell hands a window that accepts files when they are dropped on it.
HDROP DropOf(const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const std::wstring& path : paths) {
        names += path;
        names += L'\0';
    }
    names += L'\0';
    const HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring Wide(const std::string& path) {
    return std::filesystem::path(path).wstring();
}

TEST_F(MainDialog, DroppedFolderIsListedAndAFileOrTwoItemsAreTurnedAway) {
    testing::TempDir root;
    root.Write("music/song.mp3", testing::CbrFrames(3));
    std::filesystem::current_path(root.Path());
    const std::wstring music = Wide(root / "music");
    // A name the ANSI code page cannot spell reaches the run whole.
    const std::wstring greek = Wide(root.Path()) + L"\\\u03a9";
    std::filesystem::create_directory(greek);
    std::filesystem::copy_file(music + L"\\song.mp3", greek + L"\\\u03c9.mp3");

    for (const auto& dropped : std::vector<std::vector<std::wstring>>{
             {music}, {greek}, {music + L"\\song.mp3"}, {music, greek}}) {
        ::SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(dropped)), 0);
    }
    ASSERT_EQ(boxes.shown.size(), 4U);
    EXPECT_EQ(boxes.shown[0], "MP3 File list made\n\nWritten to\n" + root / "mp3_listing.html");
    // That run left its folder current, where the second page went.
    EXPECT_EQ(boxes.shown[1], "MP3 File list made\n\nWritten to\n" +
                                  (root / "music") + "\\mp3_listing.html");
    EXPECT_EQ(boxes.shown[2], "Cannot list\n" + root / "music" + "\\song.mp3\nNot a folder");
    EXPECT_EQ(boxes.shown[3], "Drop one folder to list it: 2 items were dropped.");
    const std::string page =
        testing::ReadWholeFile((std::filesystem::path(music) / "mp3_listing.html").string());
    EXPECT_NE(page.find(".mp3</td><td> 128 Kbs"), std::string::npos) << page;
}

TEST(CommandLine, TrailingBackslashEndsTheFolderAndUnspellableNamesAreCarried) {
    using Arguments = std::vector<std::string>;
    EXPECT_EQ(win32::CommandLineArguments(L"\"C:\\Q\\Quaverly.exe\" \"C:\\My Music\\\" next"),
              (Arguments{"C:\\My Music\\", "next"}));
    EXPECT_EQ(win32::CommandLineArguments(L"Quaverly.exe \"D:\\\""), Arguments{"D:\\"});
    EXPECT_EQ(win32::CommandLineArguments(L"Quaverly.exe \"a\\\\\" b"), (Arguments{"a\\", "b"}));
    EXPECT_EQ(win32::CommandLineArguments(L"Quaverly.exe C:\\a\\b"), Arguments{"C:\\a\\b"});
    const Arguments greek = win32::CommandLineArguments(L"Quaverly.exe C:\\\u03a9\\x");
    ASSERT_EQ(greek.size(), 1U);
    EXPECT_EQ(greek[0].rfind("C:\\\x01\xce\xa9\x02", 0), 0U) << greek[0];
    EXPECT_TRUE(greek[0].ends_with("\\x")) << greek[0];
}

// The windows of process `id` that show `text`.
struct Search {
    DWORD process;
    std::string text;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM searchParameter) {
    auto& search = *reinterpret_cast<Search*>(searchParameter);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == search.process && ::IsWindowVisible(window) != 0) {
        for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (TextOf(child).find(search.text) != std::string::npos) {
                search.found = window;
                return FALSE;
            }
        }
    }
    return TRUE;
}

HWND WaitForBox(DWORD process, const std::string& text) {
    for (int i = 0; i < 600; ++i) {
        Search search{process, text};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return search.found;
        }
        ::Sleep(50);
    }
    return nullptr;
}

// The program as Explorer's "Make MP3 listing" starts it: with the folder, from a folder of its
// own. The box names the page; once it and the dialog are closed, the program ends with 0.
TEST(QuaverlyProgram, ListsTheFolderOnItsCommandLine) {
    testing::TempDir start, root;
    root.Write("my music/song.mp3", testing::CbrFrames(3));
    std::string commandLine = "\"" QUAVERLY_PROGRAM "\" \"" + root / "my music" + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_NE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               start.Path().c_str(), &startup, &process),
              0);
    const HWND box = WaitForBox(process.dwProcessId, "MP3 File list made");
    if (box != nullptr) {
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    const HWND dialog = WaitForBox(process.dwProcessId, "Browse to MP3 Directory");
    if (dialog != nullptr) {
        ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    const bool ended = ::WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    if (!ended) {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_NE(box, nullptr);
    EXPECT_TRUE(ended);
    EXPECT_EQ(status, 0U);
    EXPECT_NE(testing::ReadWholeFile(start / "mp3_listing.html").find("song.mp3</td><td> 128 Kbs"),
              std::string::npos);
}

} // namespace
} // namespace quaverly
