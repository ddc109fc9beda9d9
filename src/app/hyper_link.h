#pragma once

#include "app/app_message_box.h"
#include "frontend/message_box.h"
#include "hyperlink/link_state.h"

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
#include <optional>
#include <string>

namespace quaverly {

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
// or Space (with the keyboard focus) opens the target through the link launcher. What it does
// is LinkState's; this class gives it wx's windows, fonts, cursor and events.
//
// It is a wxGenericStaticText because that draws itself in a window of its own: a native GTK
// label has none, so it would never see the pointer enter, and capturing the mouse on it sticks.
// Build it with the default constructor and attach it with SubclassDlgItem.
class CHyperLink : public wxGenericStaticText, public LinkState {
public:
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

    // The colour of the next drawing, by the state: hover beats engaged beats visited.
    ColorRef CtlColor() const noexcept;

    const wxFont& GetLinkFont() const noexcept { return m_fontLink; }

    static const wxCursor* LinkCursor() noexcept { return s_hLinkCursor; }

    // The keyboard focus reaches the link by a click; it has no tab stop, like its template.
    bool AcceptsFocus() const override { return true; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

private:
    class KeyRelay;

    QUAVERLY_LINK_WINDOW_OPERATIONS();

    void OnSetCursor(wxSetCursorEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnFocusGained(wxFocusEvent& event);
    void OnFocusLost(wxFocusEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnPaint(wxPaintEvent& event);

    wxFont m_fontLink;
    // Owned by the window once set.
    wxToolTip* m_tipCtrl = nullptr;
    // The box of a failure that nobody gave the link a box for, over the link's dialog.
    std::optional<AppMessageBox> m_defaultBox;

    static wxCursor* s_hLinkCursor;

    // Takes the keys of the link's dialog to its char hook while the link holds the capture.
    std::unique_ptr<KeyRelay> m_keyRelay;

    wxDECLARE_CLASS(CHyperLink);
    wxDECLARE_EVENT_TABLE();
};

} // namespace quaverly
