// What LinkState does through a control's window operations, on a control without a toolkit
// that writes down each operation it is asked for.

#include "hyperlink/link_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly {
namespace {

using Log = std::vector<std::string>;

// A window 104x24 at (10, 30) with a 2-pixel frame round a 100x20 client area, whose text is
// 60x13 in the link font. It is its own desktop and message box, so that the log shows the
// launch and the report among the window operations.
class FakeLink final : public LinkState,
                       public platform::Desktop,
                       public frontend::MessageBoxService {
public:
    FakeLink() {
        SetLaunchServices(*this, *this);
        SetTarget("https://quaverly.example/");
    }

    using LinkState::FitToText;
    using LinkState::OnKeyDown;
    using LinkState::OnKillFocus;
    using LinkState::OnLButtonDown;
    using LinkState::OnLButtonUp;
    using LinkState::OnMouseMove;
    using LinkState::OnSetFocus;
    using LinkState::PreSubclassWindow;
    void SetTarget(const std::string& target) { m_strTarget = target; }

    Log log;
    int openResult = platform::launch_code::Succeeded;
    bool window = true;
    bool font = true;
    bool fontMade = true;
    std::string text = "https://quaverly.example/";
    FitAlignment alignment;

private:
    int OpenTarget(const std::string& target, int showCommand) override {
        log.push_back("open " + target + " " + std::to_string(showCommand));
        return openResult;
    }
    platform::ClassValue ReadClassDefault(const std::string&) override { return {2, {}}; }
    int RunCommandLine(const std::string&, int) override { return 0; }
    void Show(const std::string& t, frontend::MessageIcon) override {
        log.push_back("box " + t.substr(0, t.find(':')));
    }

    bool HasLinkWindow() const override { return window; }
    std::string LinkText() const override { return text; }
    void SetLinkText(const std::string& t) override { log.push_back("text " + t); }
    bool HasWindowFont() const override { return font; }
    bool MakeLinkFont(bool underlined) override {
        log.push_back(underlined ? "font underlined" : "font plain");
        return fontMade;
    }
    void UseLinkFont() override { log.push_back("use font"); }
    void ShowLink(bool shown) override { log.push_back(shown ? "show" : "hide"); }
    LinkRect WindowRectInParent() const override { return {10, 30, 104, 24}; }
    LinkSize LinkClientSize() const override { return {100, 20}; }
    LinkSize TextExtentInLinkFont() const override { return {60, 13}; }
    FitAlignment TextAlignment() const override { return alignment; }
    void MoveLink(const LinkRect& r) override {
        log.push_back("move " + std::to_string(r.x) + "," + std::to_string(r.y) + " " +
                      std::to_string(r.width) + "x" + std::to_string(r.height));
    }
    void RedrawLink() override { log.push_back("redraw"); }
    void TakeFocus() override { log.push_back("focus"); }
    void CapturePointer() override { log.push_back("capture"); }
    void ReleasePointer() override { log.push_back("release"); }
    void LoadLinkCursor() override { log.push_back("cursor"); }
    void CreateLinkTip(const std::string& t) override { log.push_back("tip " + t); }
    void Beep() override { log.push_back("beep"); }
    frontend::MessageBoxService& DefaultMessageBox() override { return *this; }
};

const std::string kOpen = "open https://quaverly.example/ 5";

TEST(LinkStateSetUp, TargetFromTextThenFontFitCursorAndTip) {
    FakeLink link;
    link.SetTarget("");
    link.PreSubclassWindow();
    EXPECT_EQ(link.GetTarget(), "https://quaverly.example/");
    EXPECT_EQ(link.log, (Log{"font underlined", "use font", "move 10,30 64x17", "cursor",
                             "tip https://quaverly.example/"}));
}

TEST(LinkStateSetUp, EmptyTextTakesTheTargetAndNoFontMeansNoFitting) {
    FakeLink link;
    link.text.clear();
    link.font = false;
    link.SetTarget("file:///tmp/list.html");
    link.ChangeStyleFlags(0, LinkState::LinkNoCursorLoad, false);
    link.PreSubclassWindow();
    EXPECT_EQ(link.log, (Log{"text file:///tmp/list.html", "tip file:///tmp/list.html"}));
    EXPECT_EQ(link.GetStyleFlags() & LinkState::LinkFitToText, 0U);
}

TEST(LinkStateStyle, AppliedChangesReachTheWindowOnlyWhenAskedAndWhenThereIsOne) {
    FakeLink link;
    EXPECT_TRUE(link.ChangeStyleFlags(LinkState::LinkUnderline, 0, false));
    link.window = false;
    EXPECT_TRUE(link.ChangeStyleFlags(0, LinkState::LinkUnderline, true));
    EXPECT_FALSE(
        link.ChangeStyleFlags(LinkState::LinkHoverColour, LinkState::LinkHoverColour, true));
    EXPECT_TRUE(link.log.empty());
    EXPECT_EQ(link.GetStyleFlags(), LinkState::kDefaultStyleFlags);
}

TEST(LinkStateStyle, UnderlineRemakesTheFontFitAddsAFitHoverRemovalRedraws) {
    FakeLink link;
    EXPECT_TRUE(
        link.ChangeStyleFlags(LinkState::LinkUnderline | LinkState::LinkHoverColour, 0, true));
    EXPECT_EQ(link.log,
              (Log{"font plain", "hide", "use font", "move 10,30 64x17", "show", "redraw"}));

    link.log.clear();
    link.fontMade = false;
    EXPECT_TRUE(link.ChangeStyleFlags(LinkState::LinkFitToText, LinkState::LinkUnderline, true));
    EXPECT_EQ(link.log, Log{"font underlined"});
    EXPECT_TRUE(link.ChangeStyleFlags(0, LinkState::LinkFitToText, true));
    EXPECT_EQ(link.log, (Log{"font underlined", "move 10,30 64x17"}));
}

TEST(LinkStateFollow, SuccessMarksVisitedAndRedrawsFailureBeepsThenReportsAndChangesNothing) {
    FakeLink link;
    link.FollowLink();
    EXPECT_EQ(link.log, (Log{kOpen, "redraw"}));
    EXPECT_TRUE(link.IsVisited());

    link.log.clear();
    link.openResult = platform::launch_code::NoAssociation;
    link.FollowLink();
    EXPECT_EQ(link.log, (Log{kOpen, "beep", "box Can't open link"}));
    EXPECT_TRUE(link.IsVisited());
    link.MarkVisited(false);
    link.FollowLink();
    EXPECT_FALSE(link.IsVisited());
}

TEST(LinkStateMouse, PressTakesTheFocusOpensThenEngages) {
    FakeLink link;
    link.ChangeStyleFlags(0, LinkState::LinkOpenOnPress, false);
    link.OnLButtonDown();
    EXPECT_EQ(link.log, (Log{"focus", kOpen, "redraw"}));
    EXPECT_TRUE(link.IsEngaged());
    link.OnLButtonUp(); // opened already on the press
    EXPECT_EQ(link.log.size(), 3U);
}

TEST(LinkStateMouse, ReleaseOpensOnlyWhenEngaged) {
    FakeLink link;
    link.ChangeStyleFlags(LinkState::LinkFocusOnClick, 0, false);
    link.OnLButtonUp();
    EXPECT_TRUE(link.log.empty());
    link.OnLButtonDown();
    EXPECT_TRUE(link.log.empty()); // no focus taken, nothing opened
    link.OnLButtonUp();
    EXPECT_EQ(link.log, (Log{kOpen, "redraw"}));
}

TEST(LinkStateMouse, HoverCapturesUntilThePointerLeaves) {
    FakeLink link;
    link.OnMouseMove(true);
    link.OnMouseMove(true);
    link.OnMouseMove(false);
    EXPECT_EQ(link.log, (Log{"redraw", "capture", "release", "redraw"}));
    EXPECT_FALSE(link.IsHovering());
}

TEST(LinkStateKeysAndFocus, SpaceOpensOtherKeysGoOnFocusLossEndsHover) {
    FakeLink link;
    EXPECT_FALSE(link.OnKeyDown(false));
    EXPECT_TRUE(link.log.empty());
    EXPECT_TRUE(link.OnKeyDown(true));
    EXPECT_EQ(link.log, (Log{kOpen, "redraw"}));

    link.OnMouseMove(true);
    link.OnSetFocus();
    EXPECT_TRUE(link.IsEngaged());
    link.OnKillFocus();
    EXPECT_FALSE(link.IsEngaged());
    EXPECT_FALSE(link.IsHovering());
    EXPECT_EQ(link.log.back(), "redraw");
}

} // namespace
} // namespace quaverly
