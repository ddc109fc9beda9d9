#include "hyperlink/link_state.h"

#include "hyperlink/link_launcher.h"

namespace quaverly {

// Static data: no start-up code sets them.
ColorRef LinkState::s_crLink = Rgb(0, 0, 255);
ColorRef LinkState::s_crFocus = Rgb(0, 128, 128);
ColorRef LinkState::s_crVisited = Rgb(128, 0, 128);
ColorRef LinkState::s_crHover = Rgb(255, 0, 0);

LinkRect FitRectToText(const LinkRect& window, const LinkSize& extent,
                       const FitAlignment& alignment) noexcept {
    LinkRect fitted = window;
    if (alignment.centreVertical) {
        const int d = (window.height - extent.cy) / 2;
        fitted.y += d;
        fitted.height -= 2 * d;
    } else {
        fitted.height = extent.cy;
    }
    if (alignment.centreHorizontal) {
        const int d = (window.width - extent.cx) / 2;
        fitted.x += d;
        fitted.width -= 2 * d;
    } else if (alignment.right) {
        fitted.x = window.x + window.width - extent.cx;
        fitted.width = extent.cx;
    } else {
        fitted.width = extent.cx;
    }
    return fitted;
}

ColorRef LinkState::TextColour() const noexcept {
    if (m_bHover && (m_dwStyleFlags & LinkHoverColour) != 0) {
        return s_crHover;
    }
    if (m_bEngaged && (m_dwStyleFlags & LinkNoFocusColour) == 0) {
        return s_crFocus;
    }
    if (m_bVisited) {
        return s_crVisited;
    }
    return s_crLink;
}

void LinkState::StoreLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover,
                                 ColorRef highlightNow) noexcept {
    s_crLink = link;
    s_crFocus = focus;
    s_crVisited = visited;
    s_crHover = hover == kSystemHighlight ? highlightNow : hover;
}

bool LinkState::ChangeFlags(std::uint32_t remove, std::uint32_t add) noexcept {
    if ((remove & add) != 0) {
        return false;
    }
    m_dwStyleFlags = (m_dwStyleFlags & ~remove) | add;
    return true;
}

StyleChangeEffects LinkState::EffectsOfStyleChange(std::uint32_t remove,
                                                   std::uint32_t add) noexcept {
    return {((remove | add) & LinkUnderline) != 0, (add & LinkFitToText) != 0,
            (remove & LinkHoverColour) != 0};
}

HoverChange LinkState::PointerMoved(bool insideClient) noexcept {
    if (m_bHover) {
        if (insideClient) {
            return HoverChange::None;
        }
        m_bHover = false;
        return HoverChange::Left;
    }
    m_bHover = true;
    return HoverChange::Entered;
}

bool LinkState::ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply) {
    if (!ChangeFlags(remove, add)) {
        return false;
    }
    if (!apply || !HasLinkWindow()) {
        return true;
    }
    const StyleChangeEffects effects = EffectsOfStyleChange(remove, add);
    if (effects.font && HasWindowFont() && MakeLinkFont(Underlined())) {
        // Hidden while the font and the size change, so that it is drawn once.
        ShowLink(false);
        UseLinkFont();
        FitToText();
        ShowLink(true);
    }
    if (effects.fit) {
        FitToText();
    }
    if (effects.redraw) {
        RedrawLink();
    }
    return true;
}

void LinkState::SetLaunchServices(platform::Desktop& desktop,
                                  frontend::MessageBoxService& boxes) noexcept {
    m_desktop = &desktop;
    m_boxes = &boxes;
}

void LinkState::FollowLink() {
    platform::Desktop& desktop = m_desktop != nullptr ? *m_desktop : platform::SystemDesktop();
    const int result = OpenLinkTarget(m_strTarget, platform::show_command::Show, desktop);
    if (!platform::LaunchSucceeded(result)) {
        Beep();
        ReportLaunchError(result, m_boxes != nullptr ? *m_boxes : DefaultMessageBox());
        return;
    }
    Followed();
    RedrawLink();
}

void LinkState::PreSubclassWindow() {
    const std::string text = LinkText();
    if (m_strTarget.empty()) {
        m_strTarget = text;
    }
    if (text.empty()) {
        SetLinkText(m_strTarget);
    }
    if (HasWindowFont()) {
        if (MakeLinkFont(Underlined())) {
            UseLinkFont();
        }
        FitToText();
    } else {
        NoFontToFit();
    }
    if (LoadsCursor()) {
        LoadLinkCursor();
    }
    CreateLinkTip(m_strTarget);
}

void LinkState::FitToText() {
    if (!FitsToText()) {
        return;
    }
    const LinkRect window = WindowRectInParent();
    const LinkSize client = LinkClientSize();
    const int dx = window.width - client.cx;
    const int dy = window.height - client.cy;
    const LinkRect fitted = FitRectToText(window, TextExtentInLinkFont(), TextAlignment());
    MoveLink({fitted.x, fitted.y, fitted.width + dx, fitted.height + dy});
}

void LinkState::OnLButtonDown() {
    if (TakesFocusOnPress()) {
        TakeFocus();
    }
    if (OpensOnPress()) {
        FollowLink();
    }
    Pressed();
}

void LinkState::OnLButtonUp() {
    if (OpensOnRelease()) {
        FollowLink();
    }
}

void LinkState::OnSetFocus() {
    FocusGained();
    RedrawLink();
}

void LinkState::OnKillFocus() {
    FocusLost();
    RedrawLink();
}

void LinkState::OnMouseMove(bool insideClient) {
    switch (PointerMoved(insideClient)) {
    case HoverChange::Entered:
        RedrawLink();
        // Captured, so that the move that leaves the link still reaches it.
        CapturePointer();
        break;
    case HoverChange::Left:
        ReleasePointer();
        RedrawLink();
        break;
    case HoverChange::None:
        break;
    }
}

bool LinkState::OnKeyDown(bool space) {
    if (!space) {
        return false;
    }
    FollowLink();
    return true;
}

} // namespace quaverly
