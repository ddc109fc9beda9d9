#include "app/about_box.h"
#include "app/listing_app.h"
#include "app/listing_dlg.h"
#include "app/resources.h"
#include "app/wx_services.h"
#include "frontend/catalogue_place.h"
#include "frontend/run_messages.h"
#include "listing/catalogue_format.h"
#include "platform/utf8.h"
#include "resource.h"
#include "version_info.h"

#include "gui_test.h"
#include "support/fake_file_system.h"
#include "support/mp3_bytes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/dnd.h>
#include <wx/dirdlg.h>
#include <wx/frame.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/progdlg.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/testing.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quaverly {

wxApp* testing::CreateGuiTestApp() {
    return new CListingApp;
}

namespace {

using testing::FakeFileSystem;
using testing::FlushEvents;
using testing::ReadWholeFile;
using testing::TempDir;

const std::string kUrl = "https://quaverly.example/";
const std::string kPageEnd = "</a></center>\r\n\r\n</body></html>";

// Answers a modal dialog of type T in a test's own way.
template <class T> class ExpectModal : public wxExpectModalBase<T, ExpectModal<T>> {
public:
    explicit ExpectModal(std::function<int(T*)> answer) : m_answer(std::move(answer)) {}

protected:
    int OnInvoked(T* dialog) const override { return m_answer(dialog); }

private:
    std::function<int(T*)> m_answer;
};

// A message box as the user would have seen it.
struct SeenBox {
    std::string text;
    std::string caption;
    long style = 0;
};

ExpectModal<wxMessageDialog> RecordBox(SeenBox& seen) {
    return ExpectModal<wxMessageDialog>([&seen](wxMessageDialog* box) {
        seen.text = box->GetMessage().utf8_string();
        seen.caption = box->GetCaption().utf8_string();
        seen.style = box->GetMessageDialogStyle();
        return wxID_OK;
    });
}

long IconOf(const SeenBox& box) {
    return box.style & (wxICON_MASK | wxICON_NONE);
}

class ScriptedChooser final : public frontend::FolderChooser {
public:
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> titles;
    std::optional<std::string> ChooseFolder(const std::string& title) override {
        titles.push_back(title);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

class RecordingBoxes final : public frontend::MessageBoxService {
public:
    std::vector<std::string> shown;
    void Show(const std::string& text, frontend::MessageIcon) override { shown.push_back(text); }
};

class FailingDesktop final : public platform::Desktop {
public:
    int OpenTarget(const std::string&, int) override {
        return platform::launch_code::NoAssociation;
    }
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 0; }
};

class RecordingDesktop final : public platform::Desktop {
public:
    std::vector<std::string> opened;
    int OpenTarget(const std::string& target, int) override {
        opened.push_back(target);
        return platform::launch_code::Succeeded;
    }
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 0; }
};

// Three MPEG-1 Layer III frames at 128 kbit/s.
std::string Mp3Bytes() {
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    return frame + frame + frame;
}

wxProgressDialog* OpenProgressDialog() {
    for (wxWindow* window : wxTopLevelWindows) {
        if (auto* progress = dynamic_cast<wxProgressDialog*>(window)) {
            if (progress->IsShown()) {
                return progress;
            }
        }
    }
    return nullptr;
}

// The main dialog over a folder of our own, with the folder chooser, file system, session
// and clock in the test's hands. Shown modeless, so that its handlers can be called directly.
class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_startDirectory = std::filesystem::current_path();
        std::filesystem::current_path(m_start.Path());
        m_services.fileSystem = &m_fileSystem;
        m_services.session = &m_session;
        m_services.chooser = &m_chooser;
        m_services.clock = [this] { return m_now; };
    }
    void TearDown() override {
        if (m_dialog != nullptr) {
            m_dialog->Destroy();
            FlushEvents();
        }
        std::filesystem::current_path(m_startDirectory);
    }

    CListingDlg& Dialog() {
        if (m_dialog == nullptr) {
            m_dialog = new CListingDlg(nullptr, m_services);
            m_dialog->Show();
            FlushEvents();
        }
        return *m_dialog;
    }

    void PressBrowse() {
        wxCommandEvent press(wxEVT_BUTTON, resource::kBrowseButton);
        press.SetEventObject(Dialog().FindWindow(resource::kBrowseButton));
        Dialog().GetEventHandler()->ProcessEvent(press);
    }

    std::string MusicFolder(const TempDir& where, int files) {
        for (int i = 0; i < files; ++i) {
            where.Write("song" + std::to_string(100 + i) + ".mp3", Mp3Bytes());
        }
        return where.Path();
    }

    TempDir m_start;
    std::filesystem::path m_startDirectory;
    FakeFileSystem m_fileSystem;
    listing::ListingSession m_session{m_fileSystem};
    ScriptedChooser m_chooser;
    std::chrono::steady_clock::time_point m_now{};
    ListingDlgServices m_services;
    CListingDlg* m_dialog = nullptr;
};

// --- The templates ---------------------------------------------------------------------------

TEST_F(MainDialog, ControlsComeFromTemplate102) {
    CListingDlg& dialog = Dialog();
    EXPECT_EQ(dialog.GetTitle(), "Quaverly");
    EXPECT_EQ(dialog.GetSize(), dialog.ConvertDialogToPixels(wxSize(320, 200)));
    EXPECT_TRUE(dialog.HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(dialog.HasFlag(wxMAXIMIZE_BOX));
    EXPECT_FALSE(dialog.HasFlag(wxRESIZE_BORDER));

    auto* browse = dynamic_cast<wxButton*>(dialog.FindWindow(1000));
    ASSERT_NE(browse, nullptr);
    EXPECT_EQ(browse->GetLabel(), "Browse to MP3 Directory");
    EXPECT_EQ(browse->GetPosition(), dialog.ConvertDialogToPixels(wxPoint(107, 25)));
    EXPECT_EQ(browse->GetSize(), dialog.ConvertDialogToPixels(wxSize(105, 14)));

    auto* link = dynamic_cast<CHyperLink*>(dialog.FindWindow(1001));
    ASSERT_EQ(link, &dialog.Link());
    EXPECT_EQ(link->GetLabel(), kUrl);
    EXPECT_EQ(link->GetTarget(), kUrl);
    // Fitted to its text with its top-left corner kept.
    EXPECT_EQ(link->GetPosition(), dialog.ConvertDialogToPixels(wxPoint(220, 170)));
    EXPECT_EQ(dialog.GetChildren().GetCount(), 2U);
}

TEST_F(MainDialog, AboutBoxComesFromTemplate100) {
    std::vector<std::string> texts;
    wxString title;
    wxSize size, expectedSize, bitmap;
    wxString okLabel;
    bool okIsDefault = false;
    wxTEST_DIALOG(Dialog().OnSysCommand(0x0010, 0), ExpectModal<CAboutBox>([&](CAboutBox* box) {
                      title = box->GetTitle();
                      size = box->GetSize();
                      expectedSize = box->ConvertDialogToPixels(wxSize(235, 55));
                      for (wxWindow* child : box->GetChildren()) {
                          if (auto* text = dynamic_cast<wxStaticText*>(child)) {
                              texts.push_back(text->GetLabel().utf8_string());
                          }
                          if (auto* icon = dynamic_cast<wxStaticBitmap*>(child)) {
                              bitmap = icon->GetBitmap().GetSize();
                          }
                      }
                      if (auto* ok = dynamic_cast<wxButton*>(box->FindWindow(wxID_OK))) {
                          okLabel = ok->GetLabel();
                          okIsDefault = box->GetDefaultItem() == ok;
                      }
                      return wxID_OK;
                  }));
    EXPECT_EQ(title, "About Quaverly");
    EXPECT_EQ(size, expectedSize);
    ASSERT_EQ(texts.size(), 2U);
    EXPECT_EQ(texts[0], "Quaverly Version 1.0");
    EXPECT_FALSE(texts[1].empty());
    EXPECT_EQ(bitmap, wxSize(32, 32));
    EXPECT_EQ(okLabel, "OK");
    EXPECT_TRUE(okIsDefault);
}

// A static text that is too wide for its control wraps at its last whole word, and the line that
// follows falls below the control: the text is cut short without a mark. Measured in the font the
// dialogs are shown in, on the templates as they are, before the link fits itself to its text.
TEST(DialogTemplates, EveryTextFitsItsControlInTheDialogsFont) {
    for (const int id : {resource::kAboutBoxDialog, resource::kMainDialog}) {
        wxDialog dialog;
        ASSERT_TRUE(app::LoadDialogTemplate(dialog, nullptr, id));
        int measured = 0;
        for (wxWindow* child : dialog.GetChildren()) {
            if (dynamic_cast<wxStaticText*>(child) == nullptr &&
                dynamic_cast<wxButton*>(child) == nullptr) {
                continue;
            }
            const auto* control = static_cast<wxControl*>(child);
            const wxString text = control->GetLabelText();
            wxSize extent;
            dialog.GetTextExtent(text, &extent.x, &extent.y);
            const wxSize room = control->GetClientSize();
            EXPECT_LE(extent.x, room.x)
                << "template " << id << ": \"" << text.utf8_string() << "\"";
            EXPECT_LE(extent.y, room.y)
                << "template " << id << ": \"" << text.utf8_string() << "\"";
            ++measured;
        }
        EXPECT_EQ(measured, id == resource::kAboutBoxDialog ? 3 : 2);
    }
}

// --- Initialisation --------------------------------------------------------------------------

TEST_F(MainDialog, LinkStartsUnvisitedBlueAndTurnsRedUnderThePointer) {
    CHyperLink::SetLinkColours(1, 2, 3, 4);
    CListingDlg& dialog = Dialog();
    CHyperLink& link = dialog.Link();
    EXPECT_EQ(link.GetStyleFlags(), 0x17U);
    EXPECT_FALSE(link.IsVisited());
    EXPECT_EQ(CHyperLink::LinkColour(), Rgb(0, 0, 255));
    EXPECT_EQ(CHyperLink::FocusColour(), Rgb(0, 0, 255));
    EXPECT_EQ(CHyperLink::VisitedColour(), Rgb(0, 0, 255));
    EXPECT_EQ(CHyperLink::HoverColour(), Rgb(255, 0, 0));
    EXPECT_EQ(link.CtlColor(), Rgb(0, 0, 255));

    wxMouseEvent move(wxEVT_MOTION);
    move.SetPosition(wxPoint(1, 1));
    move.SetEventObject(&link);
    link.GetEventHandler()->ProcessEvent(move);
    EXPECT_EQ(link.CtlColor(), Rgb(255, 0, 0));
    move.SetPosition(wxPoint(-3, -3));
    link.GetEventHandler()->ProcessEvent(move);
    EXPECT_EQ(link.CtlColor(), Rgb(0, 0, 255));
}

TEST_F(MainDialog, BothWindowIconsAreTheIconGroupsImages) {
    const wxIconBundle& icons = Dialog().GetIcons();
    ASSERT_EQ(icons.GetIconCount(), 2U);
    const wxIconBundle group = app::LoadIconGroup();
    for (const int side : {16, 32}) {
        const wxIcon shown = icons.GetIcon(wxSize(side, side), wxIconBundle::FALLBACK_NONE);
        const wxIcon loaded = group.GetIcon(wxSize(side, side), wxIconBundle::FALLBACK_NONE);
        ASSERT_TRUE(shown.IsOk()) << side;
        ASSERT_EQ(shown.GetSize(), wxSize(side, side));
        const wxImage a = wxBitmap(shown).ConvertToImage();
        const wxImage b = wxBitmap(loaded).ConvertToImage();
        EXPECT_EQ(
            0, std::memcmp(a.GetData(), b.GetData(),
                           static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 3U));
    }
    EXPECT_EQ(&Dialog().OnQueryDragIcon(), &Dialog().OnQueryDragIcon());
    EXPECT_EQ(Dialog().OnQueryDragIcon().GetIconCount(), 2U);
}

// --- The About command -----------------------------------------------------------------------

TEST_F(MainDialog, ContextMenuHoldsASeparatorAndTheAboutItem) {
    wxMenu& menu = Dialog().SystemMenu();
    ASSERT_EQ(menu.GetMenuItemCount(), 2U);
    EXPECT_TRUE(menu.FindItemByPosition(0)->IsSeparator());
    const wxMenuItem* about = menu.FindItemByPosition(1);
    EXPECT_EQ(about->GetId(), 0x0010);
    EXPECT_EQ(about->GetItemLabel(), "&About Brindlewick...");

    int shown = 0;
    wxCommandEvent choose(wxEVT_MENU, about->GetId());
    choose.SetEventObject(&Dialog());
    wxTEST_DIALOG(Dialog().GetEventHandler()->ProcessEvent(choose),
                  ExpectModal<CAboutBox>([&](CAboutBox*) {
                      ++shown;
                      return wxID_OK;
                  }));
    EXPECT_EQ(shown, 1);
}

TEST_F(MainDialog, AboutCommandsAreTheLow16BitsFrom0x10To0x1F) {
    for (const std::uint32_t command : {0x0010U, 0x001FU, 0x0015U, 0xABCD0010U, 0xFFFF001FU}) {
        int shown = 0;
        wxTEST_DIALOG(Dialog().OnSysCommand(command, 0), ExpectModal<CAboutBox>([&](CAboutBox*) {
                          ++shown;
                          return wxID_OK;
                      }));
        EXPECT_EQ(shown, 1) << std::hex << command;
    }
    // Any other command goes to default processing; a modal box here would fail the test.
    for (const std::uint32_t command : {0x000FU, 0x0020U, 0xABCD0020U}) {
        Dialog().OnSysCommand(command, 0);
    }
    EXPECT_TRUE(Dialog().IsShown());
}

TEST_F(MainDialog, CloseCommandEndsTheDialog) {
    Dialog().OnSysCommand(0xF060, 0);
    EXPECT_FALSE(Dialog().IsShown());
}

bool PressKey(CListingDlg& dialog, int key) {
    wxKeyEvent press(wxEVT_CHAR_HOOK);
    press.m_keyCode = key;
    press.SetEventObject(&dialog);
    dialog.GetEventHandler()->ProcessEvent(press);
    return press.GetSkipped();
}

TEST_F(MainDialog, EscapeEndsTheDialog) {
    PressKey(Dialog(), WXK_ESCAPE);
    EXPECT_FALSE(Dialog().IsShown());
}

TEST_F(MainDialog, EnterEndsTheDialogOnlyAwayFromTheButton) {
    Dialog().FindWindow(resource::kBrowseButton)->SetFocus();
    if (wxWindow::FindFocus() == Dialog().FindWindow(resource::kBrowseButton)) {
        EXPECT_TRUE(PressKey(Dialog(), WXK_RETURN)); // the button takes it
        EXPECT_TRUE(Dialog().IsShown());
    }
    Dialog().Link().SetFocus();
    ASSERT_TRUE(testing::RunUntil([&] { return wxWindow::FindFocus() == &Dialog().Link(); }));
    EXPECT_FALSE(PressKey(Dialog(), WXK_RETURN));
    EXPECT_FALSE(Dialog().IsShown());
}

// --- Real keys with the pointer on the link -----------------------------------------------------

// The link captures the mouse while the pointer is over it; the keys still reach the dialog as
// they do elsewhere. Real key events through the X server, with the dialog holding the focus.
class KeysOverTheLink : public MainDialog {
protected:
    void SetUp() override {
        MainDialog::SetUp();
        m_services.desktop = &m_desktop;
    }

    // Shows the dialog, gives it the keyboard and rests the pointer on the link.
    void PointAtTheLink() {
        CListingDlg& dialog = Dialog();
        dialog.Raise();
        ASSERT_TRUE(testing::RunUntil([&] { return dialog.IsActive(); }));
        m_input.MouseMove(testing::ScreenCentre(*dialog.FindWindow(resource::kBrowseButton)));
        FlushEvents();
        m_input.MouseMove(testing::ScreenCentre(dialog.Link()));
        ASSERT_TRUE(testing::RunUntil([&] { return dialog.Link().HasCapture(); }));
    }

    void FocusTheLinkByClicking() {
        m_input.MouseClick();
        ASSERT_TRUE(testing::RunUntil([&] { return wxWindow::FindFocus() == &Dialog().Link(); }));
        ASSERT_TRUE(testing::RunUntil([&] { return m_desktop.opened.size() == 1; }));
        ASSERT_TRUE(Dialog().Link().HasCapture());
    }

    RecordingDesktop m_desktop;
    wxUIActionSimulator m_input;
};

TEST_F(KeysOverTheLink, EscapeEndsTheDialog) {
    PointAtTheLink();
    m_input.Char(WXK_ESCAPE);
    EXPECT_TRUE(testing::RunUntil([&] { return !Dialog().IsShown(); }));
}

TEST_F(KeysOverTheLink, EscapeEndsTheDialogWhileTheLinkHasTheFocus) {
    PointAtTheLink();
    FocusTheLinkByClicking();
    m_input.Char(WXK_ESCAPE);
    EXPECT_TRUE(testing::RunUntil([&] { return !Dialog().IsShown(); }));
}

TEST_F(KeysOverTheLink, EnterEndsTheDialogWhileTheLinkHasTheFocus) {
    PointAtTheLink();
    FocusTheLinkByClicking();
    m_input.Char(WXK_RETURN);
    EXPECT_TRUE(testing::RunUntil([&] { return !Dialog().IsShown(); }));
}

TEST_F(KeysOverTheLink, EnterPressesTheButtonThatHasTheFocus) {
    Dialog().FindWindow(resource::kBrowseButton)->SetFocus();
    PointAtTheLink();
    ASSERT_EQ(wxWindow::FindFocus(), Dialog().FindWindow(resource::kBrowseButton));
    m_chooser.answers = {std::nullopt};
    m_input.Char(WXK_RETURN);
    EXPECT_TRUE(testing::RunUntil([&] { return m_chooser.titles.size() == 1; }));
    EXPECT_TRUE(Dialog().IsShown());
}

TEST_F(KeysOverTheLink, SpaceOpensTheLinkThatHasTheFocus) {
    PointAtTheLink();
    FocusTheLinkByClicking();
    m_input.Char(WXK_SPACE);
    EXPECT_TRUE(testing::RunUntil([&] { return m_desktop.opened.size() == 2; }));
    EXPECT_TRUE(Dialog().IsShown());
}

// --- The button ------------------------------------------------------------------------------

TEST_F(MainDialog, BrowseWritesThePageAndSaysSo) {
    TempDir music;
    m_chooser.answers = {MusicFolder(music, 2)};
    SeenBox box;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box));

    EXPECT_EQ(m_chooser.titles, std::vector<std::string>{"Select Folder"});
    const std::string page = ReadWholeFile(m_start / "mp3_listing.html");
    EXPECT_NE(page.find("<h3>Listing of " + music.Path() + "</h3>"), std::string::npos);
    EXPECT_NE(page.find("song101.mp3"), std::string::npos);
    EXPECT_TRUE(page.ends_with(kPageEnd));
    EXPECT_EQ(box.text, "MP3 File list made");
    EXPECT_EQ(box.caption, "Quaverly");
    EXPECT_EQ(IconOf(box), wxICON_NONE);
    EXPECT_EQ(std::filesystem::current_path(), music.Path());
}

TEST_F(MainDialog, CancelledBrowserShowsNothingAndWritesNothing) {
    m_chooser.answers = {std::nullopt};
    PressBrowse(); // a box would fail the test
    EXPECT_EQ(m_chooser.titles.size(), 1U);
    EXPECT_FALSE(std::filesystem::exists(m_start / "mp3_listing.html"));
    EXPECT_EQ(m_fileSystem.createdFiles, 0);
}

TEST_F(MainDialog, TwoRunsLandWhereTheCurrentFolderWasAndCarryTheShading) {
    TempDir first, second;
    m_chooser.answers = {MusicFolder(first, 1), MusicFolder(second, 1)};
    SeenBox box1, box2;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box1));
    wxTEST_DIALOG(PressBrowse(), RecordBox(box2));

    const std::string page1 = ReadWholeFile(m_start / "mp3_listing.html");
    const std::string page2 = ReadWholeFile(first / "mp3_listing.html");
    EXPECT_NE(page1.find("Listing of " + first.Path()), std::string::npos);
    EXPECT_NE(page2.find("Listing of " + second.Path()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(second / "mp3_listing.html"));
    EXPECT_EQ(std::filesystem::current_path(), second.Path());
    EXPECT_EQ(box2.text, "MP3 File list made");

    // The first page's only file row opened the numbering; the second page's first file row is
    // the shaded one that follows it.
    EXPECT_NE(page1.find("\r\n\r\n<tr><td>\r\nsong100.mp3"), std::string::npos);
    EXPECT_NE(page2.find("<tr><td bgcolor=\"#7AD3F8\">\r\nsong100.mp3"), std::string::npos);
}

TEST_F(MainDialog, UnreadableFoldersAreListedAfterTheMessage) {
    TempDir music;
    for (int i = 0; i < 12; ++i) {
        music.MakeFolder("sub" + std::to_string(10 + i));
    }
    m_fileSystem.onFindFirst = [](const std::string& searchPath, platform::ErrorCode& error) {
        if (searchPath.find("/sub") != std::string::npos) {
            error = platform::kErrorAccessDenied;
            return true;
        }
        return false;
    };
    m_chooser.answers = {music.Path()};
    SeenBox box;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box));

    const std::string start = "MP3 File list made\n\nSome folders or files could not be read:\n" +
                              music.Path() + "/sub10: ";
    EXPECT_TRUE(box.text.starts_with(start)) << box.text;
    EXPECT_TRUE(box.text.ends_with("\n...and 2 more.")) << box.text;
    EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), 2 + 10 + 1);
    EXPECT_EQ(box.caption, "Quaverly");
    EXPECT_EQ(IconOf(box), wxICON_EXCLAMATION);
    EXPECT_TRUE(ReadWholeFile(m_start / "mp3_listing.html").ends_with(kPageEnd));
}

TEST_F(MainDialog, WriteFailureIsReportedAndTheDialogGoesOn) {
    TempDir music;
    m_chooser.answers = {MusicFolder(music, 1)};
    m_fileSystem.onWrite = [](const std::string& path, std::size_t) {
        throw testing::ErrnoError(ENOSPC, "write", path);
    };
    SeenBox box;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box));
    EXPECT_TRUE(box.text.starts_with(std::string(frontend::kCommandFailureText) + "\n\n")) << box.text;
    EXPECT_NE(box.text.find("No space left on device"), std::string::npos) << box.text;
    EXPECT_EQ(box.caption, wxTheApp->GetAppName().utf8_string());
    EXPECT_EQ(IconOf(box), wxICON_EXCLAMATION);
    EXPECT_TRUE(Dialog().IsShown());
}

TEST_F(MainDialog, OpenFailureShowsErrorThenTheFailure) {
    TempDir music;
    m_chooser.answers = {MusicFolder(music, 1)};
    m_fileSystem.onCreate = [](const std::string& path) {
        throw testing::ErrnoError(EACCES, "create", path);
    };
    SeenBox error, failure;
    wxTEST_DIALOG(PressBrowse(), RecordBox(error), RecordBox(failure));
    EXPECT_EQ(error.text, "error");
    EXPECT_EQ(error.caption, wxTheApp->GetAppName().utf8_string());
    EXPECT_EQ(IconOf(error), wxICON_EXCLAMATION);
    EXPECT_TRUE(failure.text.starts_with(frontend::kCommandFailureText));
    EXPECT_EQ(std::filesystem::current_path(), m_start.Path());
}

// --- Progress --------------------------------------------------------------------------------

TEST_F(MainDialog, ShortRunShowsNoProgress) {
    // Time passes as each file is opened, so the files are opened on the dialog's thread.
    m_session.readAhead.threads = 0;
    TempDir music;
    m_chooser.answers = {MusicFolder(music, 5)};
    bool progressSeen = false;
    m_fileSystem.onOpenForReading = [&](const std::string&) {
        m_now += std::chrono::milliseconds(150); // 5 files: 0.75 s
        progressSeen = progressSeen || OpenProgressDialog() != nullptr;
    };
    SeenBox box;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box));
    EXPECT_FALSE(progressSeen);
    EXPECT_EQ(box.text, "MP3 File list made");
}

TEST_F(MainDialog, SlowRunShowsProgressAndCancelStopsIt) {
    // Time passes as each file is opened, so the files are opened on the dialog's thread.
    m_session.readAhead.threads = 0;
    TempDir music;
    m_chooser.answers = {MusicFolder(music, 20)};
    std::string progressText;
    bool cancelled = false;
    m_fileSystem.onOpenForReading = [&](const std::string&) {
        m_now += std::chrono::milliseconds(300);
        if (!cancelled) {
            wxProgressDialog* progress = OpenProgressDialog();
            if (progress != nullptr) {
                cancelled = true;
                progressText = progress->GetMessage().utf8_string();
                wxWindow* cancel = progress->FindWindow(wxID_CANCEL);
                EXPECT_NE(cancel, nullptr);
                if (cancel != nullptr) {
                    wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
                    press.SetEventObject(cancel);
                    cancel->GetEventHandler()->ProcessEvent(press);
                }
            }
        }
    };
    SeenBox box;
    wxTEST_DIALOG(PressBrowse(), RecordBox(box));

    EXPECT_TRUE(progressText.starts_with("Reading " + music.Path() + "\n")) << progressText;
    EXPECT_TRUE(progressText.ends_with(" files so far")) << progressText;
    EXPECT_EQ(box.text, "The listing was cancelled. The MP3 file list in\n" + m_start.Path() +
                            "/mp3_listing.html\nis incomplete.");
    EXPECT_EQ(IconOf(box), wxICON_EXCLAMATION);
    const std::string page = ReadWholeFile(m_start / "mp3_listing.html");
    EXPECT_TRUE(page.ends_with(kPageEnd));
    EXPECT_NE(page.find("song103.mp3"), std::string::npos);
    EXPECT_EQ(page.find("song119.mp3"), std::string::npos);
    EXPECT_EQ(OpenProgressDialog(), nullptr);
}

// --- A folder given to the dialog --------------------------------------------------------------

TEST_F(MainDialog, FolderGivenAtTheStartIsListedOnceTheDialogShowsAndItsBoxSaysWhere) {
    TempDir music;
    MusicFolder(music, 2);
    SeenBox box;
    m_dialog = new CListingDlg(nullptr, m_services, {music.Path(), std::nullopt});
    wxTEST_DIALOG((m_dialog->Show(), FlushEvents()), RecordBox(box));
    EXPECT_TRUE(m_chooser.titles.empty());
    EXPECT_EQ(box.text, "MP3 File list made\n\nWritten to\n" + m_start / "mp3_listing.html");
    EXPECT_EQ(box.caption, "Quaverly");
    EXPECT_NE(ReadWholeFile(m_start / "mp3_listing.html").find("song101.mp3"), std::string::npos);
    EXPECT_TRUE(m_dialog->IsShown());
}

TEST_F(MainDialog, CommandLineItDoesNotUnderstandIsSaidAndTheDialogGoesOn) {
    SeenBox box;
    m_dialog = new CListingDlg(nullptr, m_services, frontend::FolderFromCommandLine({"-x", "y"}));
    wxTEST_DIALOG((m_dialog->Show(), FlushEvents()), RecordBox(box));
    EXPECT_EQ(box.text, "The command line was not understood:\n-x\ny\n\n"
                        "Give it one folder to list, or nothing.");
    EXPECT_EQ(IconOf(box), wxICON_EXCLAMATION);
    EXPECT_EQ(m_fileSystem.createdFiles, 0);
    EXPECT_TRUE(m_dialog->IsShown());
}

// The drop target GTK calls when something is dropped on the dialog.
bool Drop(CListingDlg& dialog, const std::vector<std::string>& paths) {
    auto* target = dynamic_cast<wxFileDropTarget*>(dialog.GetDropTarget());
    EXPECT_NE(target, nullptr);
    wxArrayString names;
    for (const std::string& path : paths) {
        names.push_back(wxString(path.c_str(), *wxConvFileName));
    }
    const bool taken = target != nullptr && target->OnDropFiles(10, 10, names);
    FlushEvents();
    return taken;
}

TEST_F(MainDialog, DroppedFolderIsListedAndAFileOrTwoItemsAreTurnedAway) {
    TempDir music;
    MusicFolder(music, 1);
    SeenBox made, file, two;
    wxTEST_DIALOG(EXPECT_TRUE(Drop(Dialog(), {music.Path()})), RecordBox(made));
    EXPECT_EQ(made.text, "MP3 File list made\n\nWritten to\n" + m_start / "mp3_listing.html");
    wxTEST_DIALOG(Drop(Dialog(), {music / "song100.mp3"}), RecordBox(file));
    EXPECT_EQ(file.text, "Cannot list\n" + music / "song100.mp3" + "\nNot a folder");
    wxTEST_DIALOG(Drop(Dialog(), {music.Path(), music.Path()}), RecordBox(two));
    EXPECT_EQ(two.text, "Drop one folder to list it: 2 items were dropped.");
    EXPECT_TRUE(m_chooser.titles.empty());
    EXPECT_EQ(m_fileSystem.createdFiles, 1);
}

// --- Messages and services -------------------------------------------------------------------

TEST_F(MainDialog, FolderBrowserIsADirectoryDialogOwnedByTheMainDialog) {
    RecordingBoxes boxes;
    app::DirDialogChooser chooser(&Dialog(), m_start.Path(), boxes);
    wxString title;
    wxWindow* owner = nullptr;
    std::optional<std::string> chosen = "untouched";
    wxTEST_DIALOG(chosen = chooser.ChooseFolder("Select Folder"),
                  ExpectModal<wxDirDialog>([&](wxDirDialog* browser) {
                      title = browser->GetMessage();
                      owner = browser->GetParent();
                      return wxID_CANCEL;
                  }));
    EXPECT_EQ(title, "Select Folder");
    EXPECT_EQ(owner, &Dialog());
    EXPECT_FALSE(chosen);
}

// --- The real folder browser ----------------------------------------------------------------

// Answers GTK's own folder chooser with real keys, from inside its modal loop. Each answer is
// for the next chooser that opens: a path typed into its location entry, then Enter; Enter
// alone, which takes the folder the chooser shows; or Escape. A chooser still open long after
// its answer is cancelled, and the test fails.
class RealChooserDriver final : public wxModalDialogHook {
public:
    struct Answer {
        std::string typed;
        int lastKey = WXK_RETURN;
        // A folder made as soon as the chooser is open, as its "Create Folder" button makes one.
        std::string madeInTheChooser{};
    };

    explicit RealChooserDriver(std::vector<Answer> answers) : m_answers(std::move(answers)) {
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
        m_timer.Start(100);
        Register();
    }
    ~RealChooserDriver() override {
        Unregister();
        m_timer.Stop();
        EXPECT_EQ(m_opened, m_answers.size()) << "choosers opened";
    }
    RealChooserDriver(const RealChooserDriver&) = delete;
    RealChooserDriver& operator=(const RealChooserDriver&) = delete;

private:
    // A native chooser is no top-level window of wx's: it is known by its modal run alone.
    int Enter(wxDialog* dialog) override {
        m_chooser = dynamic_cast<wxDirDialog*>(dialog);
        if (m_chooser != nullptr) {
            ++m_opened;
            m_ticks = 0;
            if (m_opened <= m_answers.size() && !m_answers[m_opened - 1].madeInTheChooser.empty()) {
                std::filesystem::create_directory(m_answers[m_opened - 1].madeInTheChooser);
            }
        }
        return wxID_NONE;
    }
    void Exit(wxDialog*) override { m_chooser = nullptr; }

    // Ten ticks for the chooser to come up and show its folder, then one step every five; the
    // last key again while the chooser stays open, since GTK may not take the first.
    void Tick() {
        wxDirDialog* chooser = m_chooser;
        if (chooser == nullptr) {
            return;
        }
        if (++m_ticks == 1) {
            // Without a window manager the keys go to the window under the pointer, and GTK
            // puts the chooser over its owner.
            m_input.MouseMove(testing::ScreenCentre(*chooser->GetParent()));
        }
        if (m_opened > m_answers.size() || m_ticks > 100) {
            ADD_FAILURE() << "chooser " << m_opened << " still open";
            chooser->EndModal(wxID_CANCEL);
            return;
        }
        const Answer& answer = m_answers[m_opened - 1];
        const bool typing = !answer.typed.empty();
        switch (m_ticks) {
        case 10:
            if (typing) {
                m_input.Char('l', wxMOD_CONTROL);
            }
            break;
        case 15:
            if (typing) {
                m_input.Text(answer.typed.c_str());
            }
            break;
        case 20:
        case 30:
        case 40:
            m_input.Char(answer.lastKey);
            break;

        default:
            break;
        }
    }

    std::vector<Answer> m_answers;
    wxDirDialog* m_chooser = nullptr;
    std::size_t m_opened = 0;
    int m_ticks = 0;
    wxTimer m_timer;
    wxUIActionSimulator m_input;
};

class RealFolderBrowser : public MainDialog {
protected:
    void SetUp() override {
        MainDialog::SetUp();
        Dialog().Raise();
        ASSERT_TRUE(testing::RunUntil([&] { return Dialog().IsActive(); }));
        m_browser = std::make_unique<app::DirDialogChooser>(&Dialog(), m_home.Path(), m_boxes);
    }

    std::optional<std::string> Choose(std::vector<RealChooserDriver::Answer> answers) {
        const testing::RealModalDialogs real;
        const RealChooserDriver driver(std::move(answers));
        return m_browser->ChooseFolder("Select Folder");
    }

    TempDir m_home;
    RecordingBoxes m_boxes;
    std::unique_ptr<app::DirDialogChooser> m_browser;
};

TEST_F(RealFolderBrowser, FirstOneOpensInTheHomeFolder) {
    m_home.MakeFolder("music");
    EXPECT_EQ(Choose({{}}), m_home.Path());
}

TEST_F(RealFolderBrowser, NextOneOpensInTheFolderChosenLast) {
    const std::string music = m_home.MakeFolder("music");
    ASSERT_EQ(Choose({{music}}), music);
    EXPECT_EQ(Choose({{}}), music);
    // Once that folder is gone, in the home folder again.
    std::filesystem::remove(music);
    EXPECT_EQ(Choose({{}}), m_home.Path());
}

TEST_F(RealFolderBrowser, TypedNameOfNoFolderMakesNoFolder) {
    const std::string typed = m_home / "typed";
    // The second chooser opens in the folder the name was typed in.
    EXPECT_EQ(Choose({{typed}, {}}), m_home.Path());
    EXPECT_FALSE(std::filesystem::exists(typed));
    EXPECT_EQ(m_boxes.shown, std::vector<std::string>{"There is no folder\n" + typed +
                                                      "\nChoose a folder that exists."});
    EXPECT_EQ(Choose({{typed, WXK_ESCAPE}}), std::nullopt);
}

TEST_F(RealFolderBrowser, FolderMadeInTheChooserAndChosenIsKept) {
    const std::string made = m_home / "made";

    EXPECT_EQ(Choose({{made, WXK_RETURN, made}}), made);
    EXPECT_TRUE(std::filesystem::is_directory(made));
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(MainDialog, LinkFailureBoxIsCaptionedWithTheApplicationName) {
    FailingDesktop desktop;
    m_services.desktop = &desktop;
    SeenBox box;
    wxTEST_DIALOG(Dialog().Link().FollowLink(), RecordBox(box));
    EXPECT_TRUE(box.text.starts_with("Can't open link:\n\n"));
    EXPECT_EQ(box.caption, wxTheApp->GetAppName().utf8_string());
    EXPECT_FALSE(Dialog().Link().IsVisited());
}

// --- The application -------------------------------------------------------------------------

TEST(ListingApp, RunsTheMainDialogModallyAndEndsWithIt) {
    auto& app = static_cast<CListingApp&>(*wxTheApp);
    wxWindow* topDuringRun = nullptr;
    bool result = true;
    wxTEST_DIALOG(result = app.InitInstance(), ExpectModal<CListingDlg>([&](CListingDlg* dlg) {
                      topDuringRun = dlg;
                      EXPECT_EQ(wxTheApp->GetTopWindow(), dlg);
                      return wxID_CANCEL;
                  }));
    EXPECT_FALSE(result);
    EXPECT_NE(topDuringRun, nullptr);
    FlushEvents();
    EXPECT_TRUE(wxTopLevelWindows.IsEmpty());
}

// Starts the real program in `folder` with `arguments`, and `environment` ("NAME=value") in
// place of the test's own of those names. Under the sanitizers the program's own exit status is
// the question, not the toolkit's caches that it leaves behind at exit.
pid_t StartQuaverly(const std::vector<std::string>& arguments, const std::string& folder,
                    const std::vector<std::string>& replaced = {}) {
    std::vector<std::string> words{QUAVERLY_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = replaced;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view name(*entry, std::string_view(*entry).find('='));
        if (name != "ASAN_OPTIONS" &&
            std::none_of(replaced.begin(), replaced.end(), [&](const std::string& given) {
                return given.starts_with(std::string(name) + "=");
            })) {
            environment.emplace_back(*entry);
        }
    }
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    environment.push_back("ASAN_OPTIONS=" + std::string(asanOptions != nullptr ? asanOptions : "") +
                          ":detect_leaks=0");
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// Presses Escape until the program ends, and gives its exit status, or -1 if it would not end.
// Without a window manager the keyboard follows the pointer, so Escape goes to the window
// under it: a point that lies inside the dialog, and inside a box over it, wherever GTK puts them
// on a 1280 x 1024 screen.
int EscapeUntilItEnds(
    pid_t pid, const std::function<bool()>& ready = [] { return true; },
    wxPoint under = wxPoint(500, 350)) {
    // The simulator needs a window of this process to work out the screen's scale.
    auto* corner = new wxFrame(nullptr, wxID_ANY, "corner", wxPoint(1200, 980), wxSize(20, 20));
    corner->Show();
    wxUIActionSimulator input;
    int status = -1;
    const bool ended = testing::RunUntil([&] {
        if (ready()) {
            input.MouseMove(under);
            input.Char(WXK_ESCAPE);
        }
        wxMilliSleep(100);
        return ::waitpid(pid, &status, WNOHANG) == pid;
    });
    corner->Destroy();
    FlushEvents();
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The real program on the tests' display: it runs until its dialog closes, then exits with 0.
TEST(QuaverlyProgram, EndsWithStatusZeroWhenTheDialogCloses) {
    const pid_t pid = StartQuaverly({}, std::filesystem::current_path().string());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(EscapeUntilItEnds(pid), 0) << "quaverly did not end on Escape";
}

// A folder on the command line, as a file manager's "Open With" gives it: the page is made in
// the folder the program started in, the box that says so is closed, then the dialog.
TEST(QuaverlyProgram, ListsTheFolderOnItsCommandLineAtOnce) {
    TempDir start, music;
    music.Write("a b.mp3", testing::CbrFrames(3));
    const pid_t pid = StartQuaverly({music.Path()}, start.Path());
    ASSERT_GT(pid, 0);
    const std::string page = start / "mp3_listing.html";
    EXPECT_EQ(EscapeUntilItEnds(pid, [&] { return std::filesystem::exists(page); }), 0);
    const std::string written = ReadWholeFile(page);
    EXPECT_NE(written.find("Listing of " + music.Path()), std::string::npos);
    EXPECT_NE(written.find("a b.mp3"), std::string::npos);
    EXPECT_TRUE(written.ends_with(kPageEnd));
}

// "Make MP3 catalogue" on a folder, on a desktop with no browser: the page lands in the home's
// Documents, the box that says it could not be opened is closed, and no dialog follows. The box
// has no owner, so GTK puts it in the screen's corner.
TEST(QuaverlyProgram, MakesTheCatalogueOfTheFolderAfterTheOptionInTheDocumentsFolder) {
    TempDir start, music, home;
    music.Write("Pop/a b.mp3", testing::CbrFrames(3));
    std::filesystem::create_directories(home / "Documents");
    const pid_t pid =
        StartQuaverly({"--catalogue", music / "Pop"}, start.Path(),
                      {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home / "config",
                       "XDG_DATA_HOME=" + home / "data", "XDG_DATA_DIRS=" + home / "data"});
    ASSERT_GT(pid, 0);
    const std::string page = home / "Documents/Quaverly/Pop.html";
    EXPECT_EQ(EscapeUntilItEnds(
                  pid, [&] { return std::filesystem::exists(page); }, wxPoint(150, 100)),
              0);
    const std::string written = ReadWholeFile(page);
    EXPECT_NE(written.find(listing::CatalogueHead(music / "Pop")), std::string::npos);
    EXPECT_NE(written.find("a b.mp3"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(start / "mp3_listing.html"));
}

TEST(VersionData, MatchesTheProjectVersion) {
    const auto& v = version_info::kFileVersionNumber;
    EXPECT_EQ(std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                  std::to_string(v[3]),
              QUAVERLY_PROJECT_VERSION);
    EXPECT_EQ(version_info::kFileVersionNumber, version_info::kProductVersionNumber);
}

} // namespace
TEST(DisplayText, KeepsValidUtf8AndMarksEveryOtherByte) {
    using platform::ValidUtf8;
    EXPECT_EQ(ValidUtf8("plain \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5"),
              "plain \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5");
    // Latin-1 "été", a lone continuation byte, an overlong '/', a surrogate, a cut sequence.
    EXPECT_EQ(ValidUtf8("\xE9t\xE9"), "\xEF\xBF\xBDt\xEF\xBF\xBD");
    EXPECT_EQ(ValidUtf8("a\x80"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(ValidUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(ValidUtf8("x\xE2\x82"), "x\xEF\xBF\xBD\xEF\xBF\xBD");
    // A name in an old code page still shows, instead of an empty box.
    EXPECT_FALSE(DisplayString("/music/\xE9t\xE9.mp3: Permission denied").empty());
}

} // namespace quaverly
