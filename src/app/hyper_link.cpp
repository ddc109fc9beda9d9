#include "app/hyper_link.h"

#include "app/app_message_box.h"
#include "hyperlink/link_launcher.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/eventfilter.h>
#include <wx/msgdlg.h>
#include <wx/renderer.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

namespace quaverly {

namespace {

// Alignment bits of a static text's style that fitting reads. A static text has no vertical
// centring style of its own; wxALIGN_CENTRE_VERTICAL stands for it.
constexpr long kCentreHorizontal = wxALIGN_CENTRE_HORIZONTAL;
constexpr long kAlignRight = wxALIGN_RIGHT;
constexpr long kCentreVertical = wxALIGN_CENTRE_VERTICAL;

} // namespace

ColorRef ToColorRef(const wxColour& colour) noexcept {
    return Rgb(colour.Red(), colour.Green(), colour.Blue());
}

wxColour ToColour(ColorRef colour) {
    return wxColour(static_cast<unsigned char>(colour & 0xFFU),
                    static_cast<unsigned char>((colour >> 8U) & 0xFFU),
                    static_cast<unsigned char>((colour >> 16U) & 0xFFU));
}

wxRect FitRectToText(const wxRect& window, const wxSize& extent, long style) noexcept {
    const LinkRect fitted =
        FitRectToText({window.x, window.y, window.width, window.height}, {extent.x, extent.y},
                      {(style & kCentreHorizontal) != 0, (style & kAlignRight) != 0,
                       (style & kCentreVertical) != 0});
    return {fitted.x, fitted.y, fitted.width, fitted.height};
}

// While any window holds the mouse capture, wx on GTK sends no key to the char hook: it takes the
// keyboard to be captured with the mouse. The link holds the capture only to see the pointer
// leave, yet for that time the dialog would not see Esc or Enter. So while the link holds it,
// each key that goes down in the link's dialog goes to the char hook first, as it does without
// a capture, and what the hook handles goes no further.
class CHyperLink::KeyRelay final : public wxEventFilter {
public:
    explicit KeyRelay(CHyperLink& link) : m_link(link) { wxEvtHandler::AddFilter(this); }
    ~KeyRelay() override { wxEvtHandler::RemoveFilter(this); }

    KeyRelay(const KeyRelay&) = delete;
    KeyRelay& operator=(const KeyRelay&) = delete;

    int FilterEvent(wxEvent& event) override {
        if (event.GetEventType() != wxEVT_KEY_DOWN || !m_link.HasCapture()) {
            return Event_Skip;
        }
        auto* target = dynamic_cast<wxWindow*>(event.GetEventObject());
        if (target == nullptr || wxGetTopLevelParent(target) != wxGetTopLevelParent(&m_link)) {
            return Event_Skip;
        }
        wxKeyEvent hook(wxEVT_CHAR_HOOK, static_cast<const wxKeyEvent&>(event));
        hook.SetEventObject(target);
        if (target->HandleWindowEvent(hook) && !hook.IsNextEventAllowed()) {
            return Event_Processed;
        }
        return Event_Skip;
    }

private:
    CHyperLink& m_link;
};

wxIMPLEMENT_CLASS(CHyperLink, wxGenericStaticText);

wxCursor* CHyperLink::s_hLinkCursor = nullptr;

// There is no hit-test entry: on GTK the link's window receives its mouse events whatever its
// style, so nothing needs to claim them. wx requires a window that captures the mouse to handle
// the loss of the capture.
// clang-format off
wxBEGIN_EVENT_TABLE(CHyperLink, wxGenericStaticText)
    EVT_SET_CURSOR(CHyperLink::OnSetCursor)
    EVT_MOTION(CHyperLink::OnMouseMove)
    EVT_LEFT_UP(CHyperLink::OnLButtonUp)
    EVT_SET_FOCUS(CHyperLink::OnSetFocus)
    EVT_KILL_FOCUS(CHyperLink::OnKillFocus)
    EVT_KEY_DOWN(CHyperLink::OnKeyDown)
    EVT_LEFT_DOWN(CHyperLink::OnLButtonDown)
    EVT_MOUSE_CAPTURE_LOST(CHyperLink::OnCaptureLost)
wxEND_EVENT_TABLE()
    // clang-format on

    CHyperLink::CHyperLink() = default;

CHyperLink::~CHyperLink() {
    if (HasCapture()) {
        ReleaseMouse();
    }
    // The cursor is shared, yet the link that goes takes it along: the others show the default
    // cursor until another link is set up.
    if (s_hLinkCursor != nullptr) {
        delete s_hLinkCursor;
        s_hLinkCursor = nullptr;
    }
}

bool CHyperLink::SubclassDlgItem(int id, wxWindow* dialog) {
    auto* plain = dynamic_cast<wxStaticText*>(dialog->FindWindow(id));
    if (plain == nullptr) {
        return false;
    }
    wxWindow* parent = plain->GetParent();
    // A dialog's static text never resizes itself when its text changes; only fitting does.
    const long style = plain->GetWindowStyleFlag() | wxST_NO_AUTORESIZE;
    if (!Create(parent, id, plain->GetLabel(), plain->GetPosition(), plain->GetSize(), style,
                plain->GetName())) {
        return false;
    }
    // GTK learns from this call, not from AcceptsFocus, that the link can hold the focus.
    SetCanFocus(true);
    // The paint handler stands where the reflected colour message stood: it makes the colour
    // choice each time the link is about to draw. The generic static text binds its own paint
    // handler when created; one bound later runs first.
    Bind(wxEVT_PAINT, &CHyperLink::OnPaint, this);
    SetFont(plain->GetFont());
    MoveAfterInTabOrder(plain);
    if (wxSizer* sizer = plain->GetContainingSizer()) {
        sizer->Replace(plain, this);
    }
    plain->Destroy();
    if (m_keyRelay == nullptr) {
        m_keyRelay = std::make_unique<KeyRelay>(*this);
    }
    PreSubclassWindow();
    return true;
}

wxFont CHyperLink::UnderlinedCopy(const wxFont& font) const {
    wxFont copy(font);
    copy.SetUnderlined(Underlined());
    return copy;
}

void CHyperLink::PreSubclassWindow() {
    const std::string text = GetLabel().utf8_string();
    if (m_strTarget.empty()) {
        m_strTarget = text;
    }
    if (text.empty()) {
        SetLabel(wxString::FromUTF8(m_strTarget));
    }

    // Every wx window has a font, the default one at least; a link without one would keep the
    // default font and not be fitted.
    const wxFont current = GetFont();
    if (current.IsOk()) {
        m_fontLink = UnderlinedCopy(current);
        if (m_fontLink.IsOk()) {
            SetFont(m_fontLink);
        }
        FitToText();
    } else {
        NoFontToFit();
    }

    if (LoadsCursor()) {
        LoadLinkCursor();
    }

    // The tooltip keeps the target it is given here; wx relays the mouse to it by itself.
    m_tipCtrl = new wxToolTip(wxString::FromUTF8(m_strTarget));
    SetToolTip(m_tipCtrl);
}

void CHyperLink::SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover) {
    StoreLinkColours(link, focus, visited, hover,
                     ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
}

bool CHyperLink::ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply) {
    if (!ChangeFlags(remove, add)) {
        return false;
    }
    if (!apply || GetHandle() == nullptr) {
        return true;
    }
    const StyleChangeEffects effects = EffectsOfStyleChange(remove, add);
    if (effects.font) {
        const wxFont current = GetFont();
        if (current.IsOk()) {
            m_fontLink = UnderlinedCopy(current);
            ApplyLinkFont(&m_fontLink);
        }
    }
    if (effects.fit) {
        FitToText();
    }
    if (effects.redraw) {
        RedrawAll();
    }
    return true;
}

void CHyperLink::SetLaunchServices(platform::Desktop& desktop, platform::MessageBoxService& boxes) {
    m_desktop = &desktop;
    m_boxes = &boxes;
}

void CHyperLink::FitToText() {
    if (!FitsToText()) {
        return;
    }
    // The window rectangle is in the parent's client coordinates already.
    const wxRect window = GetRect();
    const wxSize client = GetClientSize();
    const int dx = window.width - client.x;
    const int dy = window.height - client.y;

    wxSize extent;
    GetTextExtent(GetLabel(), &extent.x, &extent.y, nullptr, nullptr,
                  m_fontLink.IsOk() ? &m_fontLink : nullptr);

    const wxRect fitted = FitRectToText(window, extent, GetWindowStyleFlag());
    SetSize(fitted.x, fitted.y, fitted.width + dx, fitted.height + dy);
    Refresh();
}

void CHyperLink::ApplyLinkFont(const wxFont* font) {
    Hide();
    // A copy first: `font` may be m_fontLink itself.
    const wxFont copy(*font);
    m_fontLink = copy;
    SetFont(m_fontLink);
    FitToText();
    Show();
}

void CHyperLink::LoadLinkCursor() {
    if (s_hLinkCursor == nullptr) {
        s_hLinkCursor = new wxCursor(wxCURSOR_HAND);
    }
}

void CHyperLink::FollowLink() {
    platform::Desktop& desktop = m_desktop != nullptr ? *m_desktop : platform::SystemDesktop();
    const int result = OpenLinkTarget(m_strTarget, platform::show_command::Show, desktop);
    if (!platform::LaunchSucceeded(result)) {
        wxBell();
        if (m_boxes != nullptr) {
            ReportLaunchError(result, *m_boxes);
        } else {
            // Nobody gave the link a box: the application's, captioned with its name.
            AppMessageBox boxes(wxGetTopLevelParent(this));
            ReportLaunchError(result, boxes);
        }
        return;
    }
    Followed();
    RedrawAll();
}

ColorRef CHyperLink::CtlColor() const noexcept {
    return TextColour();
}

void CHyperLink::RedrawAll() {
    Refresh(true);
}

void CHyperLink::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    dc.SetFont(GetFont());
    dc.SetTextForeground(ToColour(CtlColor()));
    // The parent's background shows behind the text.
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxRect client = GetClientRect();
    const long style = GetWindowStyleFlag();
    int alignment = wxALIGN_TOP | wxALIGN_LEFT;
    if ((style & kCentreHorizontal) != 0) {
        alignment = wxALIGN_TOP | wxALIGN_CENTRE_HORIZONTAL;
    } else if ((style & kAlignRight) != 0) {
        alignment = wxALIGN_TOP | wxALIGN_RIGHT;
    }
    if ((style & kCentreVertical) != 0) {
        alignment = (alignment & ~wxALIGN_TOP) | wxALIGN_CENTRE_VERTICAL;
    }
    dc.DrawLabel(GetLabelText(), client, alignment);
    // The focus colour may be the link colour (the dialog makes them the same), so the focus
    // shows by a rectangle of its own.
    if (HasFocus()) {
        wxRendererNative::Get().DrawFocusRect(this, dc, client);
    }
}

void CHyperLink::OnSetCursor(wxSetCursorEvent& event) {
    if (s_hLinkCursor != nullptr) {
        event.SetCursor(*s_hLinkCursor);
    } else {
        event.Skip();
    }
}

void CHyperLink::OnMouseMove(wxMouseEvent& event) {
    switch (PointerMoved(GetClientRect().Contains(event.GetPosition()))) {
    case HoverChange::Left:
        if (HasCapture()) {
            ReleaseMouse();
        }
        RedrawAll();
        break;
    case HoverChange::Entered:
        RedrawAll();
        // Captured, so that the move that leaves the link still reaches it. Losing the focus
        // keeps the capture, so the link may hold it already.
        if (!HasCapture()) {
            CaptureMouse();
        }
        break;
    case HoverChange::None:
        break;
    }
}

void CHyperLink::OnLButtonUp(wxMouseEvent&) {
    if (OpensOnRelease()) {
        FollowLink();
    }
}

void CHyperLink::OnSetFocus(wxFocusEvent&) {
    FocusGained();
    RedrawAll();
}

void CHyperLink::OnKillFocus(wxFocusEvent&) {
    FocusLost();
    RedrawAll();
}

void CHyperLink::OnKeyDown(wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_SPACE) {
        FollowLink();
    } else {
        event.Skip();
    }
}

void CHyperLink::OnLButtonDown(wxMouseEvent&) {
    if (TakesFocusOnPress()) {
        SetFocus();
    }
    if (OpensOnPress()) {
        FollowLink();
    }
    Pressed();
}

void CHyperLink::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bHover = false;
    RedrawAll();
}

} // namespace quaverly
