#pragma once

#include "platform/desktop/desktop.h"
#include "platform/message_box.h"

#include <wx/colour.h>
#include <wx/cursor.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/tooltip.h>

// The port's static text before the generic one, which would keep it out otherwise.
#include <wx/stattext.h>

#include <wx/generic/stattextg.h>

#include <cstdint>
#include <memory>
#include <string>

namespace quaverly {

// A colour as the link stores it: 0x00BBGGRR, red in the low byte.
using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(unsigned red, unsigned green, unsigned blue) noexcept {
    return (red & 0xFFU) | ((green & 0xFFU) << 8U) | ((blue & 0xFFU) << 16U);
}
ColorRef ToColorRef(const wxColour& colour) noexcept;
wxColour ToColour(ColorRef colour);

// The rectangle of a control fitted to a text extent, from its window rectangle in the parent's
// client coordinates and its alignment style: a left-aligned control keeps its left edge, a
// right-aligned one its right edge, a centred one its centre line (the odd pixel of an odd
// difference goes the way integer division toward zero sends it). The result is the new
// client-sized rectangle at its new place; the caller adds the frame back.
wxRect FitRectToText(const wxRect& window, const wxSize& extent, long style) noexcept;

// A static text of a dialog turned into a link: drawn in one of four colours by its state,
// underlined, sized to its text, with a hand cursor and a tooltip showing the target. A click
// or Space (with the keyboard focus) opens the target through the link launcher.
//
// It is a wxGenericStaticText because that draws itself in a window of its own: a native GTK
// label has none, so it would never see the pointer enter, and capturing the mouse on it sticks.
// Build it with the default constructor and attach it with SubclassDlgItem.
class CHyperLink : public wxGenericStaticText {
public:
    // Style flags.
    static constexpr std::uint32_t LinkUnderline = 0x01;     // 0b0000001 underlined font
    static constexpr std::uint32_t LinkHoverColour = 0x02;   // 0b0000010 s_crHover under pointer
    static constexpr std::uint32_t LinkFitToText = 0x04;     // 0b0000100 size follows the text
    static constexpr std::uint32_t LinkOpenOnPress = 0x08;   // 0b0001000 open on button down
    static constexpr std::uint32_t LinkFocusOnClick = 0x10;  // 0b0010000 a press takes focus
    static constexpr std::uint32_t LinkNoCursorLoad = 0x20;  // 0b0100000 leave the cursor alone
    static constexpr std::uint32_t LinkNoFocusColour = 0x40; // 0b1000000 engaged looks normal

    static constexpr std::uint32_t kDefaultStyleFlags =
        LinkUnderline | LinkFitToText | LinkFocusOnClick;

    // Stands for the system highlight colour in SetLinkColours.
    static constexpr ColorRef kSystemHighlight = 0xFFFFFFFFU;

    CHyperLink();
    ~CHyperLink() override;

    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // Creates this link in place of the plain static text `id` of `dialog`, with its id, text,
    // font, place, size and style, destroys the plain one, and sets the link up. What data
    // exchange does for a dialog's control on the platforms that subclass windows. False when
    // the dialog has no static text with that id.
    bool SubclassDlgItem(int id, wxWindow* dialog);

    // Colours of every link of the process: link, focus, visited, hover. A hover colour of
    // kSystemHighlight takes the system highlight colour of this moment. Nothing is redrawn.
    static void SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover);

    // Clears the `remove` flags and sets the `add` flags; false, changing nothing, when the
    // masks overlap. With `apply`, a created control takes the changed underline, fit or hover
    // colour at once.
    bool ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply);

    void MarkVisited(bool visited) { m_bVisited = visited; }

    // Where FollowLink opens the target and reports a failure. Without this call, the system
    // desktop and a message box captioned with the application name.
    void SetLaunchServices(platform::Desktop& desktop, platform::MessageBoxService& boxes);

    // Opens the target; beeps and reports a failure, or marks the link visited.
    void FollowLink();

    // The colour of the next drawing, by the state: hover beats engaged beats visited.
    ColorRef CtlColor() const noexcept;

    bool IsEngaged() const noexcept { return m_bEngaged; }
    bool IsHovering() const noexcept { return m_bHover; }
    bool IsVisited() const noexcept { return m_bVisited; }
    std::uint32_t GetStyleFlags() const noexcept { return m_dwStyleFlags; }
    const std::string& GetTarget() const noexcept { return m_strTarget; }
    const wxFont& GetLinkFont() const noexcept { return m_fontLink; }

    static ColorRef LinkColour() noexcept { return s_crLink; }
    static ColorRef FocusColour() noexcept { return s_crFocus; }
    static ColorRef VisitedColour() noexcept { return s_crVisited; }
    static ColorRef HoverColour() noexcept { return s_crHover; }
    static const wxCursor* LinkCursor() noexcept { return s_hLinkCursor; }

    // The keyboard focus reaches the link by a click; it has no tab stop, like its template.
    bool AcceptsFocus() const override { return true; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

protected:
    // Set-up once the link has its window: target and text from each other, the link font, the
    // fitting, the cursor and the tooltip.
    virtual void PreSubclassWindow();

    void FitToText();
    void ApplyLinkFont(const wxFont* font);
    static void LoadLinkCursor();

    void OnSetCursor(wxSetCursorEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnLButtonUp(wxMouseEvent& event);
    void OnSetFocus(wxFocusEvent& event);
    void OnKillFocus(wxFocusEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnLButtonDown(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnPaint(wxPaintEvent& event);

    bool m_bEngaged;
    bool m_bHover;
    bool m_bVisited;
    std::uint32_t m_dwStyleFlags;
    std::string m_strTarget;
    wxFont m_fontLink;
    // Owned by the window once set.
    wxToolTip* m_tipCtrl = nullptr;

    platform::Desktop* m_desktop = nullptr;
    platform::MessageBoxService* m_boxes = nullptr;

private:
    class KeyRelay;

    void RedrawAll();
    wxFont UnderlinedCopy(const wxFont& font) const;

    static ColorRef s_crLink;
    static ColorRef s_crFocus;
    static ColorRef s_crVisited;
    static ColorRef s_crHover;
    static wxCursor* s_hLinkCursor;

    // Takes the keys of the link's dialog to its char hook while the link holds the capture.
    std::unique_ptr<KeyRelay> m_keyRelay;

    wxDECLARE_CLASS(CHyperLink);
    wxDECLARE_EVENT_TABLE();
};

} // namespace quaverly
