#include "app/hyper_link.h"

#include "app/app_message_box.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/eventfilter.h>
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

FitAlignment AlignmentOfStyle(long style) noexcept {
    return {(style & kCentreHorizontal) != 0, (style & kAlignRight) != 0,
            (style & kCentreVertical) != 0};
}

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
    const LinkRect fitted = FitRectToText({window.x, window.y, window.width, window.height},
                                          {extent.x, extent.y}, AlignmentOfStyle(style));
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
    EVT_MOTION(CHyperLink::OnMotion)
    EVT_LEFT_UP(CHyperLink::OnLeftUp)
    EVT_SET_FOCUS(CHyperLink::OnFocusGained)
    EVT_KILL_FOCUS(CHyperLink::OnFocusLost)
    EVT_KEY_DOWN(CHyperLink::OnKey)
    EVT_LEFT_DOWN(CHyperLink::OnLeftDown)
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

void CHyperLink::SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover) {
    StoreLinkColours(link, focus, visited, hover,
                     ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
}

ColorRef CHyperLink::CtlColor() const noexcept {
    return TextColour();
}

bool CHyperLink::HasLinkWindow() const {
    return GetHandle() != nullptr;
}

std::string CHyperLink::LinkText() const {
    return GetLabel().utf8_string();
}

void CHyperLink::SetLinkText(const std::string& text) {
    SetLabel(wxString::FromUTF8(text));
}

// Every wx window has a font, the default one at least; a link without one would keep the
// default font and not be fitted.
bool CHyperLink::HasWindowFont() const {
    return GetFont().IsOk();
}

bool CHyperLink::MakeLinkFont(bool underlined) {
    wxFont font(GetFont());
    font.SetUnderlined(underlined);
    if (!font.IsOk()) {
        return false;
    }
    m_fontLink = font;
    return true;
}

void CHyperLink::UseLinkFont() {
    SetFont(m_fontLink);
}

void CHyperLink::ShowLink(bool shown) {
    Show(shown);
}

// The window rectangle is in the parent's client coordinates already.
LinkRect CHyperLink::WindowRectInParent() const {
    const wxRect window = GetRect();
    return {window.x, window.y, window.width, window.height};
}

LinkSize CHyperLink::LinkClientSize() const {
    const wxSize client = GetClientSize();
    return {client.x, client.y};
}

LinkSize CHyperLink::TextExtentInLinkFont() const {
    LinkSize extent;
    GetTextExtent(GetLabel(), &extent.cx, &extent.cy, nullptr, nullptr,
                  m_fontLink.IsOk() ? &m_fontLink : nullptr);
    return extent;
}

FitAlignment CHyperLink::TextAlignment() const {
    return AlignmentOfStyle(GetWindowStyleFlag());
}

void CHyperLink::MoveLink(const LinkRect& window) {
    SetSize(window.x, window.y, window.width, window.height);
    Refresh();
}

void CHyperLink::RedrawLink() {
    Refresh(true);
}

void CHyperLink::TakeFocus() {
    SetFocus();
}

// Losing the focus keeps the capture, so the link may hold it already.
void CHyperLink::CapturePointer() {
    if (!HasCapture()) {
        CaptureMouse();
    }
}

void CHyperLink::ReleasePointer() {
    if (HasCapture()) {
        ReleaseMouse();
    }
}

void CHyperLink::LoadLinkCursor() {
    if (s_hLinkCursor == nullptr) {
        s_hLinkCursor = new wxCursor(wxCURSOR_HAND);
    }
}

// The tooltip keeps the target it is given here; wx relays the mouse to it by itself.
void CHyperLink::CreateLinkTip(const std::string& text) {
    m_tipCtrl = new wxToolTip(wxString::FromUTF8(text));
    SetToolTip(m_tipCtrl);
}

void CHyperLink::Beep() {
    wxBell();
}

// The application's box, captioned with its name, over the link's dialog of this moment.
frontend::MessageBoxService& CHyperLink::DefaultMessageBox() {
    m_defaultBox.emplace(wxGetTopLevelParent(this));
    return *m_defaultBox;
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

void CHyperLink::OnMotion(wxMouseEvent& event) {
    OnMouseMove(GetClientRect().Contains(event.GetPosition()));
}

void CHyperLink::OnLeftUp(wxMouseEvent&) {
    OnLButtonUp();
}

void CHyperLink::OnFocusGained(wxFocusEvent&) {
    OnSetFocus();
}

void CHyperLink::OnFocusLost(wxFocusEvent&) {
    OnKillFocus();
}

void CHyperLink::OnKey(wxKeyEvent& event) {
    if (!OnKeyDown(event.GetKeyCode() == WXK_SPACE)) {
        event.Skip();
    }
}

void CHyperLink::OnLeftDown(wxMouseEvent&) {
    OnLButtonDown();
}

void CHyperLink::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bHover = false;
    RedrawLink();
}

} // namespace quaverly
