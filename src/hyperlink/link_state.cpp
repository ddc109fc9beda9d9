#include "hyperlink/link_state.h"

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

} // namespace quaverly
