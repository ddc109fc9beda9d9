#include "winapp/win32_hyper_link.h"

#include "winapp/win32_services.h"

#include <commctrl.h>

namespace quaverly {

namespace {

// LinkState opens the target with the platform's show command; the shell takes the SW_ value.
static_assert(platform::show_command::Show == SW_SHOW);

constexpr UINT_PTR kToolId = 1;
// The help program's hand cursor.
constexpr int kHelpHandCursor = 106;

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
    const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

HFONT WindowFont(HWND window) {
    return reinterpret_cast<HFONT>(::SendMessageA(window, WM_GETFONT, 0, 0));
}

} // namespace

HCURSOR CHyperLink::s_hLinkCursor = nullptr;

CHyperLink::~CHyperLink() {
    if (m_fontLink != nullptr) {
        ::DeleteObject(m_fontLink);
    }
    // The cursor is shared, yet the link that goes takes it along: the others show the default
    // cursor until another link is set up.
    if (s_hLinkCursor != nullptr) {
        ::DestroyCursor(s_hLinkCursor);
        s_hLinkCursor = nullptr;
    }
    if (m_tipCtrl != nullptr && ::IsWindow(m_tipCtrl) != 0) {
        ::DestroyWindow(m_tipCtrl);
    }
    if (m_hwnd != nullptr && ::IsWindow(m_hwnd) != 0 && m_previous != nullptr) {
        ::SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, 0);
    }
}

bool CHyperLink::SubclassDlgItem(int id, HWND dialog) {
    const HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        return false;
    }
    m_hwnd = control;
    PreSubclassWindow();
    ::SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    return true;
}

void CHyperLink::SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover) {
    StoreLinkColours(link, focus, visited, hover,
                     static_cast<ColorRef>(::GetSysColor(COLOR_HIGHLIGHT)));
}

HBRUSH CHyperLink::CtlColor(HDC dc) const {
    ::SetTextColor(dc, TextColour());
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

bool CHyperLink::HasLinkWindow() const {
    return m_hwnd != nullptr && ::IsWindow(m_hwnd) != 0;
}

std::string CHyperLink::LinkText() const {
    return WindowText(m_hwnd);
}

void CHyperLink::SetLinkText(const std::string& text) {
    ::SetWindowTextA(m_hwnd, text.c_str());
}

bool CHyperLink::HasWindowFont() const {
    return WindowFont(m_hwnd) != nullptr;
}

bool CHyperLink::MakeLinkFont(bool underlined) {
    LOGFONTA description{};
    if (::GetObjectA(WindowFont(m_hwnd), sizeof description, &description) == 0) {
        return false;
    }
    description.lfUnderline = underlined ? 1 : 0;
    const HFONT font = ::CreateFontIndirectA(&description);
    if (font == nullptr) {
        return false;
    }
    if (m_fontLink != nullptr) {
        ::DeleteObject(m_fontLink);
    }
    m_fontLink = font;
    return true;
}

void CHyperLink::UseLinkFont() {
    ::SendMessageA(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_fontLink), TRUE);
}

void CHyperLink::ShowLink(bool shown) {
    ::ShowWindow(m_hwnd, shown ? SW_SHOW : SW_HIDE);
}

LinkRect CHyperLink::WindowRectInParent() const {
    RECT window{};
    ::GetWindowRect(m_hwnd, &window);
    if (const HWND parent = ::GetParent(m_hwnd); parent != nullptr) {
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
    }
    return {window.left, window.top, window.right - window.left, window.bottom - window.top};
}

LinkSize CHyperLink::LinkClientSize() const {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    return {client.right - client.left, client.bottom - client.top};
}

LinkSize CHyperLink::TextExtentInLinkFont() const {
    const std::string text = WindowText(m_hwnd);
    const HDC dc = ::GetDC(m_hwnd);
    const HGDIOBJ previous = m_fontLink != nullptr ? ::SelectObject(dc, m_fontLink) : nullptr;
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (previous != nullptr) {
        ::SelectObject(dc, previous);
    }
    ::ReleaseDC(m_hwnd, dc);
    return {extent.cx, extent.cy};
}

FitAlignment CHyperLink::TextAlignment() const {
    const auto style = static_cast<DWORD>(::GetWindowLongA(m_hwnd, GWL_STYLE));
    return {(style & SS_CENTER) != 0, (style & SS_RIGHT) != 0, (style & SS_CENTERIMAGE) != 0};
}

void CHyperLink::MoveLink(const LinkRect& window) {
    ::MoveWindow(m_hwnd, window.x, window.y, window.width, window.height, TRUE);
}

void CHyperLink::RedrawLink() {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void CHyperLink::TakeFocus() {
    ::SetFocus(m_hwnd);
}

void CHyperLink::CapturePointer() {
    ::SetCapture(m_hwnd);
}

void CHyperLink::ReleasePointer() {
    ::ReleaseCapture();
}

void CHyperLink::LoadLinkCursor() {
    if (s_hLinkCursor != nullptr) {
        return;
    }
    char folder[MAX_PATH] = {};
    ::GetWindowsDirectoryA(folder, MAX_PATH);
    const std::string help = std::string(folder) + "\\winhlp32.exe";
    if (const HMODULE module = ::LoadLibraryA(help.c_str()); module != nullptr) {
        if (const HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(kHelpHandCursor))) {
            s_hLinkCursor = static_cast<HCURSOR>(::CopyIcon(hand));
        }
        ::FreeLibrary(module);
    }
    // A help program without the cursor (Wine's has none): the system's own hand.
    if (s_hLinkCursor == nullptr) {
        if (const HCURSOR hand = ::LoadCursorA(nullptr, IDC_HAND)) {
            s_hLinkCursor = static_cast<HCURSOR>(::CopyIcon(hand));
        }
    }
}

void CHyperLink::CreateLinkTip(const std::string& text) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    m_tipCtrl = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (m_tipCtrl == nullptr) {
        return;
    }
    // The tooltip copies the text.
    std::string copy = text;
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = m_hwnd;
    tool.uId = kToolId;
    tool.lpszText = copy.data();
    ::GetClientRect(m_hwnd, &tool.rect);
    ::SendMessageA(m_tipCtrl, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperLink::Beep() {
    ::MessageBeep(MB_ICONEXCLAMATION);
}

frontend::MessageBoxService& CHyperLink::DefaultMessageBox() {
    m_defaultBox = std::make_unique<win32::WindowMessageBox>(::GetActiveWindow());
    return *m_defaultBox;
}

bool CHyperLink::OnSetCursor() {
    if (s_hLinkCursor == nullptr) {
        return false;
    }
    ::SetCursor(s_hLinkCursor);
    return true;
}

// A modal dialog's loop has no pre-translation of its own to hook, so the messages that reach
// the control are relayed to the tooltip here, before they are handled.
void CHyperLink::RelayToToolTip(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (m_tipCtrl == nullptr || message < WM_MOUSEFIRST || message > WM_MOUSELAST) {
        return;
    }
    MSG relayed{m_hwnd, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
    relayed.pt.x = static_cast<short>(LOWORD(::GetMessagePos()));
    relayed.pt.y = static_cast<short>(HIWORD(::GetMessagePos()));
    ::SendMessageA(m_tipCtrl, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

LRESULT CHyperLink::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::CallWindowProcA(m_previous, m_hwnd, message, wParam, lParam);
}

LRESULT CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    RelayToToolTip(message, wParam, lParam);
    switch (message) {
    case WM_SETCURSOR:
        return OnSetCursor() ? TRUE : FALSE;
    case WM_MOUSEMOVE: {
        RECT client{};
        ::GetClientRect(m_hwnd, &client);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        OnMouseMove(::PtInRect(&client, point) != 0);
        return 0;
    }
    case WM_LBUTTONUP:
        OnLButtonUp();
        return 0;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus();
        return 0;
    case WM_KEYDOWN:
        if (!OnKeyDown(wParam == VK_SPACE)) {
            CallPrevious(message, wParam, lParam);
        }
        return 0;
    case WM_NCHITTEST:
        // The template's static has no notify style; this makes the mouse messages come.
        return HTCLIENT;
    case WM_GETDLGCODE:
        // The dialog manager would take the Space character for a mnemonic and beep; Tab,
        // Enter and Esc stay the dialog's.
        return CallPrevious(message, wParam, lParam) | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return 0;
    default:
        return CallPrevious(message, wParam, lParam);
    }
}

LRESULT CALLBACK CHyperLink::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* link = reinterpret_cast<CHyperLink*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (link == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return link->OnMessage(message, wParam, lParam);
}

} // namespace quaverly
