#include "app/hyper_link.h"

#include "gui_test.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dialog.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quaverly {

wxApp* testing::CreateGuiTestApp() {
    return new wxApp;
}

namespace {

using testing::FlushEvents;
using testing::RunUntil;
using testing::ScreenCentre;

constexpr int kLinkId = 1001;
const std::string kUrl = "https://quaverly.example/";

class FakeDesktop final : public platform::Desktop {
public:
    int openResult = platform::launch_code::Succeeded;
    std::vector<std::pair<std::string, int>> opened;

    int OpenTarget(const std::string& target, int showCommand) override {
        opened.emplace_back(target, showCommand);
        return openResult;
    }
    // No fallback: the class root is empty.
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 0; }
};

class RecordingBoxes final : public frontend::MessageBoxService {
public:
    std::vector<std::pair<std::string, frontend::MessageIcon>> shown;
    void Show(const std::string& text, frontend::MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
};

// Reaches the state that only the link's own handlers change, to set up colour cases.
class ProbedLink : public CHyperLink {
public:
    void SetState(bool hover, bool engaged, bool visited) {
        m_bHover = hover;
        m_bEngaged = engaged;
        m_bVisited = visited;
    }
    void SetTarget(const std::string& target) { m_strTarget = target; }
    void Fit() { FitToText(); }
};

// A dialog laid out like a template: a button, then the plain static text that becomes the
// link, 100 pixels wide.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dialog = new wxDialog(nullptr, wxID_ANY, "links", wxPoint(100, 100), wxSize(400, 200));
        m_button = new wxButton(m_dialog, wxID_ANY, "Other", wxPoint(10, 10));
        m_plain = new wxStaticText(m_dialog, kLinkId, kUrl, wxPoint(20, 80), wxSize(300, 20),
                                   wxALIGN_LEFT | wxST_NO_AUTORESIZE);
        m_savedColours = {CHyperLink::LinkColour(), CHyperLink::FocusColour(),
                          CHyperLink::VisitedColour(), CHyperLink::HoverColour()};
    }

    void TearDown() override {
        CHyperLink::SetLinkColours(m_savedColours[0], m_savedColours[1], m_savedColours[2],
                                   m_savedColours[3]);
        m_dialog->Destroy();
        FlushEvents();
    }

    // Subclasses the template's static text into `link`, which the dialog then owns.
    ProbedLink* Attach(ProbedLink* link = new ProbedLink) {
        link->SetLaunchServices(m_desktop, m_boxes);
        EXPECT_TRUE(link->SubclassDlgItem(kLinkId, m_dialog));
        return link;
    }

    void ShowDialog() {
        m_dialog->Show();
        ASSERT_TRUE(RunUntil([&] { return m_dialog->IsShownOnScreen(); }));
        // Without a window manager nobody gives the dialog the keyboard focus but itself.
        m_dialog->Raise();
        ASSERT_TRUE(RunUntil([&] { return m_dialog->IsActive(); }));
        FlushEvents();
    }

    static void Send(wxWindow* window, wxEvent& event) {
        event.SetEventObject(window);
        window->GetEventHandler()->ProcessEvent(event);
    }
    static void Mouse(wxWindow* window, wxEventType type, wxPoint at = wxPoint(2, 2)) {
        wxMouseEvent event(type);
        event.SetPosition(at);
        Send(window, event);
    }
    static bool Key(wxWindow* window, int code) {
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = code;
        Send(window, event);
        return event.GetSkipped();
    }

    wxDialog* m_dialog = nullptr;
    wxButton* m_button = nullptr;
    wxStaticText* m_plain = nullptr;
    FakeDesktop m_desktop;
    RecordingBoxes m_boxes;
    std::array<ColorRef, 4> m_savedColours{};
};

// --- Attaching to the template's static text ------------------------------------------------

TEST_F(LinkTest, NewLinkHasTheDefaultFlagsAndNoStateOrWindow) {
    CHyperLink link;
    EXPECT_EQ(link.GetStyleFlags(), 0x15U);
    EXPECT_FALSE(link.IsEngaged());
    EXPECT_FALSE(link.IsHovering());
    EXPECT_FALSE(link.IsVisited());
    EXPECT_TRUE(link.GetTarget().empty());
    EXPECT_EQ(link.GetHandle(), nullptr);
}

TEST_F(LinkTest, AttachingReplacesThePlainTextAndTakesItsTextAsTarget) {
    ProbedLink* link = Attach();
    EXPECT_EQ(m_dialog->FindWindow(kLinkId), link);
    EXPECT_EQ(link->GetId(), kLinkId);
    EXPECT_EQ(link->GetLabel(), kUrl);
    EXPECT_EQ(link->GetTarget(), kUrl);
    EXPECT_EQ(link->GetToolTipText(), kUrl);
    EXPECT_EQ(link->GetPosition(), wxPoint(20, 80));
    EXPECT_EQ(link->GetWindowStyleFlag() & (wxALIGN_CENTRE_HORIZONTAL | wxALIGN_RIGHT), 0);
    EXPECT_STREQ(link->GetClassInfo()->GetClassName(), L"CHyperLink");
    // The plain text is gone: only the link answers to the id.
    int withId = 0;
    for (wxWindow* child : m_dialog->GetChildren()) {
        withId += child->GetId() == kLinkId ? 1 : 0;
    }
    EXPECT_EQ(withId, 1);
}

TEST_F(LinkTest, AttachingWithoutSuchControlFails) {
    CHyperLink link;
    EXPECT_FALSE(link.SubclassDlgItem(4242, m_dialog));
    EXPECT_EQ(link.GetHandle(), nullptr);
}

TEST_F(LinkTest, TargetSetBeforeAttachingFillsAnEmptyText) {
    m_plain->SetLabel("");
    auto* link = new ProbedLink;
    link->SetTarget("file:///tmp/list.html");
    Attach(link);
    EXPECT_EQ(link->GetLabel(), "file:///tmp/list.html");
    EXPECT_EQ(link->GetTarget(), "file:///tmp/list.html");
    EXPECT_EQ(link->GetToolTipText(), "file:///tmp/list.html");
}

TEST_F(LinkTest, LinkFontIsTheTemplateFontUnderlined) {
    const wxFont templateFont = m_plain->GetFont();
    ProbedLink* link = Attach();
    EXPECT_TRUE(link->GetLinkFont().GetUnderlined());
    EXPECT_TRUE(link->GetFont().GetUnderlined());
    EXPECT_EQ(link->GetLinkFont().GetFaceName(), templateFont.GetFaceName());
    EXPECT_EQ(link->GetLinkFont().GetPointSize(), templateFont.GetPointSize());
}

TEST_F(LinkTest, FlagsChangedBeforeAttachingTakeEffectThen) {
    auto* link = new ProbedLink;
    EXPECT_TRUE(link->ChangeStyleFlags(CHyperLink::LinkUnderline, 0, true));
    EXPECT_EQ(link->GetStyleFlags(), 0x14U);
    Attach(link);
    EXPECT_FALSE(link->GetLinkFont().GetUnderlined());
}

// --- Fitting ---------------------------------------------------------------------------------

TEST(FitRectToText, HundredPixelControlAroundSixtyPixelText) {
    const wxRect window(10, 30, 100, 20);
    const wxSize text(60, 13);
    EXPECT_EQ(FitRectToText(window, text, wxALIGN_LEFT), wxRect(10, 30, 60, 13));
    EXPECT_EQ(FitRectToText(window, text, wxALIGN_CENTRE_HORIZONTAL), wxRect(30, 30, 60, 13));
    EXPECT_EQ(FitRectToText(window, text, wxALIGN_RIGHT), wxRect(50, 30, 60, 13));
}

TEST(FitRectToText, VerticalCentringKeepsTheMiddle) {
    EXPECT_EQ(FitRectToText(wxRect(0, 10, 100, 21), wxSize(60, 13), wxALIGN_CENTRE_VERTICAL),
              wxRect(0, 14, 60, 13));
}

TEST(FitRectToText, OddDifferenceLeavesOnePixelTowardTheOldSize) {
    // Growing by 21 (odd, negative difference): one pixel short of the text.
    EXPECT_EQ(FitRectToText(wxRect(100, 0, 40, 10), wxSize(61, 10), wxALIGN_CENTRE_HORIZONTAL),
              wxRect(90, 0, 60, 10));
    // Shrinking by 39: one pixel more than the text.
    EXPECT_EQ(FitRectToText(wxRect(0, 0, 100, 10), wxSize(61, 10), wxALIGN_CENTRE_HORIZONTAL),
              wxRect(19, 0, 62, 10));
}

class AlignedFit : public LinkTest, public ::testing::WithParamInterface<long> {};

TEST_P(AlignedFit, ControlEndsTheSizeOfItsTextAtTheKeptEdge) {
    m_plain->Destroy();
    m_plain = new wxStaticText(m_dialog, kLinkId, kUrl, wxPoint(20, 80), wxSize(400, 20),
                               GetParam() | wxST_NO_AUTORESIZE);
    ProbedLink* link = Attach();
    wxSize text;
    link->GetTextExtent(kUrl, &text.x, &text.y, nullptr, nullptr, &link->GetLinkFont());
    ASSERT_LT(text.x, 400);
    const wxRect expected = FitRectToText(wxRect(20, 80, 400, 20), text, GetParam());
    EXPECT_EQ(link->GetRect(), expected);
    EXPECT_EQ(link->GetClientSize(), expected.GetSize());
}

INSTANTIATE_TEST_SUITE_P(LinkTest, AlignedFit,
                         ::testing::Values(wxALIGN_LEFT, wxALIGN_CENTRE_HORIZONTAL, wxALIGN_RIGHT));

// --- Style changes ---------------------------------------------------------------------------

TEST_F(LinkTest, OverlappingMasksChangeNothing) {
    ProbedLink* link = Attach();
    EXPECT_FALSE(
        link->ChangeStyleFlags(CHyperLink::LinkUnderline, CHyperLink::LinkUnderline, true));
    EXPECT_FALSE(link->ChangeStyleFlags(0x0F, 0x18, false));
    EXPECT_EQ(link->GetStyleFlags(), 0x15U);
    EXPECT_TRUE(link->GetLinkFont().GetUnderlined());
}

TEST_F(LinkTest, AddingHoverColourOnlySetsTheFlag) {
    ProbedLink* link = Attach();
    const wxRect before = link->GetRect();
    EXPECT_TRUE(link->ChangeStyleFlags(0, CHyperLink::LinkHoverColour, true));
    EXPECT_EQ(link->GetStyleFlags(), 0x17U);
    EXPECT_EQ(link->GetRect(), before);
    EXPECT_TRUE(link->GetLinkFont().GetUnderlined());
}

TEST_F(LinkTest, RemovingUnderlineWithApplyChangesTheFontAndShowsTheLink) {
    ProbedLink* link = Attach();
    link->Hide();
    EXPECT_TRUE(link->ChangeStyleFlags(CHyperLink::LinkUnderline, 0, true));
    EXPECT_FALSE(link->GetLinkFont().GetUnderlined());
    EXPECT_FALSE(link->GetFont().GetUnderlined());
    EXPECT_TRUE(link->IsShown());
}

TEST_F(LinkTest, FittingFollowsTheFitFlag) {
    ProbedLink* link = Attach();
    const wxSize fitted = link->GetSize();
    EXPECT_TRUE(link->ChangeStyleFlags(CHyperLink::LinkFitToText, 0, true));
    link->SetSize(wxSize(350, 30));
    link->Fit();
    EXPECT_EQ(link->GetSize(), wxSize(350, 30)); // clearing the flag keeps the size
    EXPECT_TRUE(link->ChangeStyleFlags(0, CHyperLink::LinkFitToText, true));
    EXPECT_EQ(link->GetSize(), fitted);
}

// --- Colours ---------------------------------------------------------------------------------

struct ColourCase {
    bool hover, engaged, visited;
    std::uint32_t flags;
    ColorRef expected;
};

TEST_F(LinkTest, ColourChoiceByStateAndFlags) {
    CHyperLink::SetLinkColours(Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(3, 3, 3), Rgb(4, 4, 4));
    const ColorRef link = Rgb(1, 1, 1), focus = Rgb(2, 2, 2), visited = Rgb(3, 3, 3),
                   hover = Rgb(4, 4, 4);
    const std::uint32_t withHover = 0x17, plain = 0x15, noFocus = 0x57;
    const ColourCase cases[] = {
        {false, false, false, withHover, link},
        {false, false, true, withHover, visited},
        {false, true, true, withHover, focus},
        {true, true, true, withHover, hover},
        {true, false, false, withHover, hover},
        // Without the hover flag, hovering shows the colour of the state below.
        {true, true, true, plain, focus},
        {true, false, true, plain, visited},
        {true, false, false, plain, link},
        // With LinkNoFocusColour, being engaged shows nothing.
        {false, true, true, noFocus, visited},
        {false, true, false, noFocus, link},
        {true, true, false, noFocus, hover},
    };
    ProbedLink* probe = Attach();
    for (const ColourCase& c : cases) {
        probe->SetState(c.hover, c.engaged, c.visited);
        probe->ChangeStyleFlags(0xFFFFFFFFU & ~c.flags, 0, false);
        probe->ChangeStyleFlags(0, c.flags, false);
        EXPECT_EQ(probe->CtlColor(), c.expected)
            << "hover " << c.hover << " engaged " << c.engaged << " visited " << c.visited
            << " flags " << c.flags;
    }
    probe->SetState(false, false, false);
}

TEST_F(LinkTest, InitialColoursAreStaticData) {
    // The saved values were read before any test of this suite changed them.
    EXPECT_EQ(m_savedColours[0], Rgb(0, 0, 255));
    EXPECT_EQ(m_savedColours[1], Rgb(0, 128, 128));
    EXPECT_EQ(m_savedColours[2], Rgb(128, 0, 128));
    EXPECT_EQ(m_savedColours[3], Rgb(255, 0, 0));
}

TEST_F(LinkTest, HoverMinusOneStoresTheHighlightColourOfThatMoment) {
    const ColorRef highlight = ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT));
    CHyperLink::SetLinkColours(Rgb(9, 0, 0), Rgb(0, 9, 0), Rgb(0, 0, 9),
                               CHyperLink::kSystemHighlight);
    EXPECT_EQ(CHyperLink::LinkColour(), Rgb(9, 0, 0));
    EXPECT_EQ(CHyperLink::FocusColour(), Rgb(0, 9, 0));
    EXPECT_EQ(CHyperLink::VisitedColour(), Rgb(0, 0, 9));
    EXPECT_EQ(CHyperLink::HoverColour(), highlight);
    // Only the hover argument has this meaning.
    CHyperLink::SetLinkColours(0xFFFFFFFFU, 0, 0, 0);
    EXPECT_EQ(CHyperLink::LinkColour(), 0xFFFFFFFFU);
}

// --- Mouse and keyboard ----------------------------------------------------------------------

TEST_F(LinkTest, PressEngagesAndReleaseOpensTheTarget) {
    ProbedLink* link = Attach();
    link->ChangeStyleFlags(0, CHyperLink::LinkHoverColour, true);
    ShowDialog();

    Mouse(link, wxEVT_LEFT_DOWN);
    EXPECT_TRUE(link->IsEngaged());
    EXPECT_TRUE(m_desktop.opened.empty());
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == link; }));

    Mouse(link, wxEVT_LEFT_UP);
    ASSERT_EQ(m_desktop.opened.size(), 1U);
    EXPECT_EQ(m_desktop.opened[0], std::make_pair(kUrl, platform::show_command::Show));
    EXPECT_TRUE(link->IsVisited());
    EXPECT_TRUE(link->IsEngaged());
    EXPECT_TRUE(m_boxes.shown.empty());

    // Still engaged: a release that ends a press made elsewhere opens it again.
    Mouse(link, wxEVT_LEFT_UP);
    EXPECT_EQ(m_desktop.opened.size(), 2U);
}

TEST_F(LinkTest, ReleaseWithoutPressOpensNothing) {
    ProbedLink* link = Attach();
    ShowDialog();
    Mouse(link, wxEVT_LEFT_UP);
    EXPECT_TRUE(m_desktop.opened.empty());
    EXPECT_FALSE(link->IsVisited());
}

TEST_F(LinkTest, OpenOnPressOpensOnTheButtonGoingDown) {
    ProbedLink* link = Attach();
    link->ChangeStyleFlags(0, CHyperLink::LinkOpenOnPress, true);
    ShowDialog();
    Mouse(link, wxEVT_LEFT_DOWN);
    EXPECT_EQ(m_desktop.opened.size(), 1U);
    Mouse(link, wxEVT_LEFT_UP);
    EXPECT_EQ(m_desktop.opened.size(), 1U);
}

TEST_F(LinkTest, PressWithoutFocusOnClickLeavesTheFocus) {
    ProbedLink* link = Attach();
    link->ChangeStyleFlags(CHyperLink::LinkFocusOnClick, 0, true);
    ShowDialog();
    m_button->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == m_button; }));
    Mouse(link, wxEVT_LEFT_DOWN);
    FlushEvents();
    EXPECT_EQ(wxWindow::FindFocus(), m_button);
    EXPECT_TRUE(link->IsEngaged());
}

TEST_F(LinkTest, LosingTheFocusEndsEngagedAndHover) {
    ProbedLink* link = Attach();
    ShowDialog();
    Mouse(link, wxEVT_LEFT_DOWN);
    link->SetState(true, true, false);
    m_button->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return !link->IsEngaged(); }));
    EXPECT_FALSE(link->IsHovering());
    Mouse(link, wxEVT_LEFT_UP);
    EXPECT_TRUE(m_desktop.opened.empty());
}

TEST_F(LinkTest, SpaceOpensAndOtherKeysGoOn) {
    ProbedLink* link = Attach();
    EXPECT_FALSE(Key(link, WXK_SPACE));
    EXPECT_EQ(m_desktop.opened.size(), 1U);
    // Auto-repeat opens again.
    EXPECT_FALSE(Key(link, WXK_SPACE));
    EXPECT_EQ(m_desktop.opened.size(), 2U);
    EXPECT_TRUE(Key(link, WXK_RETURN));
    EXPECT_TRUE(Key(link, 'A'));
    EXPECT_EQ(m_desktop.opened.size(), 2U);
}

TEST_F(LinkTest, SpaceReachesTheLinkOnlyWithTheFocus) {
    ProbedLink* link = Attach();
    ShowDialog();
    wxUIActionSimulator input;

    m_button->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == m_button; }));
    m_button->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {}); // Space presses the button instead
    input.Char(WXK_SPACE);
    FlushEvents();
    EXPECT_TRUE(m_desktop.opened.empty());

    link->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == link; }));
    EXPECT_TRUE(link->IsEngaged());
    input.Char(WXK_SPACE);
    EXPECT_TRUE(RunUntil([&] { return m_desktop.opened.size() == 1; }));
}

TEST_F(LinkTest, FailedOpenBeepsReportsAndKeepsVisited) {
    ProbedLink* link = Attach();
    m_desktop.openResult = platform::launch_code::NoAssociation;

    link->FollowLink();
    EXPECT_FALSE(link->IsVisited());
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].first, "Can't open link:\n\nThere is no application associated\n"
                                      "with the given filename extension.");
    EXPECT_EQ(m_boxes.shown[0].second, frontend::MessageIcon::Exclamation);

    link->MarkVisited(true);
    link->FollowLink();
    EXPECT_TRUE(link->IsVisited());
    EXPECT_EQ(m_boxes.shown.size(), 2U);
}

// --- Hover and cursor ------------------------------------------------------------------------

TEST_F(LinkTest, HoverCapturesTheMouseUntilThePointerLeaves) {
    ProbedLink* link = Attach();
    ShowDialog();
    Mouse(link, wxEVT_MOTION, wxPoint(1, 1));
    EXPECT_TRUE(link->IsHovering());
    EXPECT_TRUE(link->HasCapture());
    Mouse(link, wxEVT_MOTION, wxPoint(2, 2)); // inside: nothing changes
    EXPECT_TRUE(link->IsHovering());
    Mouse(link, wxEVT_MOTION, wxPoint(-5, 2));
    EXPECT_FALSE(link->IsHovering());
    EXPECT_FALSE(link->HasCapture());
}

TEST_F(LinkTest, LinkShowsTheHandCursor) {
    ProbedLink* link = Attach();
    ASSERT_NE(CHyperLink::LinkCursor(), nullptr);
    wxSetCursorEvent event(2, 2);
    Send(link, event);
    EXPECT_FALSE(event.GetSkipped());
    EXPECT_TRUE(event.HasCursor());
}

TEST_F(LinkTest, DestroyingOneOfTwoLinksTakesTheSharedCursor) {
    ProbedLink* first = Attach();
    new wxStaticText(m_dialog, 1002, "second", wxPoint(20, 120), wxSize(100, 20));
    auto* second = new ProbedLink;
    ASSERT_TRUE(second->SubclassDlgItem(1002, m_dialog));
    const wxCursor* shared = CHyperLink::LinkCursor();
    ASSERT_NE(shared, nullptr);

    first->Destroy();
    EXPECT_EQ(CHyperLink::LinkCursor(), nullptr);
    wxSetCursorEvent event(2, 2);
    Send(second, event);
    EXPECT_TRUE(event.GetSkipped());
    EXPECT_FALSE(event.HasCursor());

    // A link set up afterwards loads it again, for every link.
    new wxStaticText(m_dialog, 1003, "third", wxPoint(20, 150), wxSize(100, 20));
    ASSERT_TRUE((new ProbedLink)->SubclassDlgItem(1003, m_dialog));
    wxSetCursorEvent again(2, 2);
    Send(second, again);
    EXPECT_TRUE(again.HasCursor());
}

TEST_F(LinkTest, NoCursorLoadLeavesTheCursorToOtherLinks) {
    // The cursor of earlier tests went with their links.
    ASSERT_EQ(CHyperLink::LinkCursor(), nullptr);
    auto* link = new ProbedLink;
    link->ChangeStyleFlags(0, CHyperLink::LinkNoCursorLoad, false);
    Attach(link);
    EXPECT_EQ(CHyperLink::LinkCursor(), nullptr);

    new wxStaticText(m_dialog, 1002, "loads", wxPoint(20, 120), wxSize(100, 20));
    ASSERT_TRUE((new ProbedLink)->SubclassDlgItem(1002, m_dialog));
    wxSetCursorEvent event(2, 2);
    Send(link, event);
    EXPECT_TRUE(event.HasCursor());
}

// The colours on screen where the window is. Pixels, but only to see that the link's own paint
// handler draws, and with the colour of its state: the generic text's handler would not.
std::set<ColorRef> ColoursOnScreen(const wxWindow& window) {
    const wxRect area(window.GetScreenPosition(), window.GetSize());
    wxBitmap picture(area.GetSize());
    {
        wxScreenDC screen;
        wxMemoryDC memory(picture);
        memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
    }
    const wxImage image = picture.ConvertToImage();
    std::set<ColorRef> colours;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            colours.insert(Rgb(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
        }
    }
    return colours;
}

TEST_F(LinkTest, TextIsDrawnInTheLinkColour) {
    ProbedLink* link = Attach();
    CHyperLink::SetLinkColours(Rgb(0, 0, 255), Rgb(0, 128, 0), Rgb(128, 0, 128), Rgb(255, 0, 0));
    ShowDialog();
    EXPECT_TRUE(RunUntil([&] { return ColoursOnScreen(*link).contains(Rgb(0, 0, 255)); }));
}

// --- Real input through GTK ------------------------------------------------------------------

TEST_F(LinkTest, RealPointerHoversAndClicks) {
    ProbedLink* link = Attach();
    link->ChangeStyleFlags(0, CHyperLink::LinkHoverColour, true);
    CHyperLink::SetLinkColours(Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0));
    ShowDialog();
    wxUIActionSimulator input;

    input.MouseMove(ScreenCentre(*m_button));
    FlushEvents();
    input.MouseMove(ScreenCentre(*link));
    ASSERT_TRUE(RunUntil([&] { return link->IsHovering(); }));
    EXPECT_TRUE(link->HasCapture());
    EXPECT_EQ(link->CtlColor(), Rgb(255, 0, 0));

    input.MouseClick();
    ASSERT_TRUE(RunUntil([&] { return !m_desktop.opened.empty(); }));
    EXPECT_EQ(m_desktop.opened.size(), 1U);
    EXPECT_TRUE(link->IsEngaged());
    EXPECT_TRUE(link->IsVisited());
    EXPECT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == link; }));
    // Under the pointer the hover colour wins over engaged and visited.
    EXPECT_EQ(link->CtlColor(), Rgb(255, 0, 0));

    input.MouseMove(ScreenCentre(*m_button));
    ASSERT_TRUE(RunUntil([&] { return !link->IsHovering(); }));
    EXPECT_FALSE(link->HasCapture());
    EXPECT_EQ(link->CtlColor(), Rgb(0, 0, 255));
}

// wx on GTK sends no key to the char hook while a window holds the mouse capture, and the link
// holds it while the pointer is over it: the dialog must get its keys all the same.
TEST_F(LinkTest, RealKeysReachTheDialogsCharHookWhileThePointerRestsOnTheLink) {
    ProbedLink* link = Attach();
    std::vector<int> hooked;
    int buttonKeys = 0;
    m_dialog->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& event) {
        hooked.push_back(event.GetKeyCode());
        event.Skip(event.GetKeyCode() != 'B'); // the hook keeps B from the focused window
    });
    m_button->Bind(wxEVT_KEY_DOWN, [&](wxKeyEvent& event) {
        ++buttonKeys;
        event.Skip();
    });
    ShowDialog();
    m_button->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == m_button; }));
    wxUIActionSimulator input;
    input.MouseMove(ScreenCentre(*m_button));
    FlushEvents();
    input.MouseMove(ScreenCentre(*link));
    ASSERT_TRUE(RunUntil([&] { return link->HasCapture(); }));

    input.Char('A');
    ASSERT_TRUE(RunUntil([&] { return buttonKeys == 1; }));
    input.Char('B');
    ASSERT_TRUE(RunUntil([&] { return hooked.size() == 2; }));
    FlushEvents();
    EXPECT_EQ(hooked, (std::vector<int>{'A', 'B'}));
    EXPECT_EQ(buttonKeys, 1);

    // Space on the focused link goes through the hook and on to the link, which opens.
    link->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == link; }));
    input.Char(WXK_SPACE);
    EXPECT_TRUE(RunUntil([&] { return m_desktop.opened.size() == 1; }));
    EXPECT_EQ(hooked.back(), WXK_SPACE);
    EXPECT_TRUE(link->HasCapture());
}

} // namespace
} // namespace quaverly
