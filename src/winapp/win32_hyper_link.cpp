#include "winapp/win32_hyper_link.h"

#include "hyperlink/link_launcher.h"

#include <commctrl.h>

namespace quaverly {

namespace {

constexpr UINT_PTR kToolId = 1;
// The help program's hand cursor.
constexpr int kHelpHandCursor = 106;

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
    const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

// The application's message box, captioned with the executable's base name.
class ModuleMessageBox final : public platform::MessageBoxService {
public:
    void Show(const std::string& text, platform::MessageIcon icon) override {
        char path[MAX_PATH] = {};
        std::string caption(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
        caption.erase(0, caption.find_last_of("\\/") + 1);
        caption.erase(std::min(caption.rfind('.'), caption.size()));
        const UINT type = icon == platform::MessageIcon::Exclamation   ? MB_ICONEXCLAMATION
                          : icon == platform::MessageIcon::Error       ? MB_ICONERROR
                          : icon == platform::MessageIcon::Information ? MB_ICONINFORMATION
                                                                       : 0U;
        ::MessageBoxA(::GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | type);
    }
};

} // namespace

HCURSOR CHyperLink::s_hLinkCursor = nullptr;

CHyperLink::~CHyperLink() {
    if (m_fontLink != nullptr) {
        ::DeleteObject(m_fontLink);
    }
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

void CHyperLink::PreSubclassWindow() {
    if (m_strTarget.empty()) {
        m_strTarget = WindowText(m_hwnd);
    }
    if (WindowText(m_hwnd).empty()) {
        ::SetWindowTextA(m_hwnd, m_strTarget.c_str());
    }
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(m_hwnd, WM_GETFONT, 0, 0));
    if (font != nullptr) {
        m_fontLink = UnderlinedCopy(font);
        if (m_fontLink != nullptr) {
            ::SendMessageA(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_fontLink), TRUE);
        }
        FitToText();
    } else {
        NoFontToFit();
    }
    if (LoadsCursor()) {
        LoadLinkCursor();
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    m_tipCtrl = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (m_tipCtrl != nullptr) {
        TOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = m_hwnd;
        tool.uId = kToolId;
        tool.lpszText = m_strTarget.data();
        ::GetClientRect(m_hwnd, &tool.rect);
        ::SendMessageA(m_tipCtrl, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

HFONT CHyperLink::UnderlinedCopy(HFONT font) const {
    LOGFONTA description{};
    if (::GetObjectA(font, sizeof description, &description) == 0) {
        return nullptr;
    }
    description.lfUnderline = Underlined() ? 1 : 0;
    return ::CreateFontIndirectA(&description);
}

void CHyperLink::SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover) {
    StoreLinkColours(link, focus, visited, hover,
                     static_cast<ColorRef>(::GetSysColor(COLOR_HIGHLIGHT)));
}

bool CHyperLink::ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply) {
    if (!ChangeFlags(remove, add)) {
        return false;
    }
    if (!apply || m_hwnd == nullptr || ::IsWindow(m_hwnd) == 0) {
        return true;
    }
    const StyleChangeEffects effects = EffectsOfStyleChange(remove, add);
    if (effects.font) {
        const auto font = reinterpret_cast<HFONT>(::SendMessageA(m_hwnd, WM_GETFONT, 0, 0));
        if (font != nullptr) {
            const HFONT copy = UnderlinedCopy(font);
            if (copy != nullptr) {
                if (m_fontLink != nullptr) {
                    ::DeleteObject(m_fontLink);
                }
                m_fontLink = copy;
                ApplyLinkFont(m_fontLink);
            }
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

void CHyperLink::ApplyLinkFont(HFONT font) {
    ::ShowWindow(m_hwnd, SW_HIDE);
    LOGFONTA description{};
    // The font may be m_fontLink itself: its description is taken before it goes.
    if (::GetObjectA(font, sizeof description, &description) != 0) {
        if (m_fontLink != nullptr) {
            ::DeleteObject(m_fontLink);
        }
        m_fontLink = ::CreateFontIndirectA(&description);
        ::SendMessageA(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_fontLink), TRUE);
    }
    FitToText();
    ::ShowWindow(m_hwnd, SW_SHOW);
}

void CHyperLink::FitToText() {
    if (!FitsToText()) {
        return;
    }
    RECT window{};
    ::GetWindowRect(m_hwnd, &window);
    if (const HWND parent = ::GetParent(m_hwnd); parent != nullptr) {
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
    }
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    const int dx = (window.right - window.left) - (client.right - client.left);
    const int dy = (window.bottom - window.top) - (client.bottom - client.top);

    const std::string text = WindowText(m_hwnd);
    const HDC dc = ::GetDC(m_hwnd);
    const HGDIOBJ previous = m_fontLink != nullptr ? ::SelectObject(dc, m_fontLink) : nullptr;
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (previous != nullptr) {
        ::SelectObject(dc, previous);
    }
    ::ReleaseDC(m_hwnd, dc);

    const auto style = static_cast<DWORD>(::GetWindowLongA(m_hwnd, GWL_STYLE));
    const FitAlignment alignment{(style & SS_CENTER) != 0, (style & SS_RIGHT) != 0,
                                 (style & SS_CENTERIMAGE) != 0};
    const LinkRect fitted = FitRectToText(
        {window.left, window.top, window.right - window.left, window.bottom - window.top},
        {extent.cx, extent.cy}, alignment);
    ::MoveWindow(m_hwnd, fitted.x, fitted.y, fitted.width + dx, fitted.height + dy, TRUE);
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

void CHyperLink::SetLaunchServices(platform::Desktop& desktop, platform::MessageBoxService& boxes) {
    m_desktop = &desktop;
    m_boxes = &boxes;
}

void CHyperLink::FollowLink() {
    static ModuleMessageBox applicationBox;
    platform::Desktop& desktop = m_desktop != nullptr ? *m_desktop : platform::SystemDesktop();
    platform::MessageBoxService& boxes = m_boxes != nullptr ? *m_boxes : applicationBox;
    const int result = OpenLinkTarget(m_strTarget, SW_SHOW, desktop);
    if (!platform::LaunchSucceeded(result)) {
        ::MessageBeep(MB_ICONEXCLAMATION);
        ReportLaunchError(result, boxes);
        return;
    }
    Followed();
    RedrawAll();
}

HBRUSH CHyperLink::CtlColor(HDC dc) const {
    ::SetTextColor(dc, TextColour());
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void CHyperLink::RedrawAll() const {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

bool CHyperLink::OnSetCursor() {
    if (s_hLinkCursor == nullptr) {
        return false;
    }
    ::SetCursor(s_hLinkCursor);
    return true;
}

void CHyperLink::OnMouseMove(POINT point) {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    switch (PointerMoved(::PtInRect(&client, point) != 0)) {
    case HoverChange::Entered:
        RedrawAll();
        ::SetCapture(m_hwnd);
        break;
    case HoverChange::Left:
        ::ReleaseCapture();
        RedrawAll();
        break;
    case HoverChange::None:
        break;
    }
}

void CHyperLink::OnLButtonUp() {
    if (OpensOnRelease()) {
        FollowLink();
    }
}

void CHyperLink::OnSetFocus() {
    FocusGained();
    RedrawAll();
}

void CHyperLink::OnKillFocus() {
    FocusLost();
    RedrawAll();
}

void CHyperLink::OnKeyDown(WPARAM key, LPARAM lParam) {
    if (key == VK_SPACE) {
        FollowLink();
        return;
    }
    ::CallWindowProcA(m_previous, m_hwnd, WM_KEYDOWN, key, lParam);
}

void CHyperLink::OnLButtonDown() {
    if (TakesFocusOnPress()) {
        ::SetFocus(m_hwnd);
    }
    if (OpensOnPress()) {
        FollowLink();
    }
    Pressed();
}

LRESULT CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A modal dialog's loop has no pre-translation of its own to hook, so the messages that
    // reach the control are relayed to the tooltip here, before they are handled.
    if (m_tipCtrl != nullptr && message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
        MSG relayed{m_hwnd, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
        relayed.pt.x = static_cast<short>(LOWORD(::GetMessagePos()));
        relayed.pt.y = static_cast<short>(HIWORD(::GetMessagePos()));
        ::SendMessageA(m_tipCtrl, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    }
    switch (message) {
    case WM_SETCURSOR:
        return OnSetCursor() ? TRUE : FALSE;
    case WM_MOUSEMOVE:
        OnMouseMove({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
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
        OnKeyDown(wParam, lParam);
        return 0;
    case WM_NCHITTEST:
        // The template's static has no notify style; this makes the mouse messages come.
        return HTCLIENT;
    case WM_GETDLGCODE:
        // The dialog manager would take the Space character for a mnemonic and beep; Tab,
        // Enter and Esc stay the dialog's.
        return ::CallWindowProcA(m_previous, m_hwnd, message, wParam, lParam) | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return 0;
    default:
        return ::CallWindowProcA(m_previous, m_hwnd, message, wParam, lParam);
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
