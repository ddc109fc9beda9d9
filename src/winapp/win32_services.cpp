#include "winapp/win32_services.h"

#include "app/run_messages.h"
#include "winapp/win32_dialog.h"

#include <shlobj.h>

namespace quaverly::win32 {

namespace {

constexpr int kCancelButton = IDCANCEL;
constexpr const char* kProgressClass = "QuaverlyProgress";

} // namespace

std::optional<std::string> ShellFolderBrowser::ChooseFolder(const std::string& title) {
    BROWSEINFOA request{};
    request.hwndOwner = m_owner;
    request.pidlRoot = nullptr; // the desktop
    request.lpszTitle = title.c_str();
    // Only folders of the file system: an item without a path would leave the run nothing.
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    const HRESULT com = ::CoInitialize(nullptr);
    LPITEMIDLIST chosen = ::SHBrowseForFolderA(&request);
    std::optional<std::string> folder;
    if (chosen != nullptr) {
        char path[MAX_PATH] = {};
        if (::SHGetPathFromIDListA(chosen, path) != 0 && path[0] != '\0') {
            folder = path;
        }
        ::CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return folder;
}

void WindowMessageBox::Show(const std::string& text, platform::MessageIcon icon) {
    UINT type = MB_OK;
    switch (icon) {
    case platform::MessageIcon::Information:
        type |= MB_ICONINFORMATION;
        break;
    case platform::MessageIcon::Exclamation:
        type |= MB_ICONEXCLAMATION;
        break;
    case platform::MessageIcon::Error:
        type |= MB_ICONERROR;
        break;
    case platform::MessageIcon::None:
        break;
    }
    const std::string caption = m_caption.empty() ? ApplicationName() : m_caption;
    ::MessageBoxA(m_owner, text.c_str(), caption.c_str(), type);
}

ListingProgress::ListingProgress(HWND owner, Clock clock)
    : m_owner(owner),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      m_start(m_clock()), m_lastUpdate(m_start) {}

ListingProgress::~ListingProgress() {
    if (m_window != nullptr) {
        ::EnableWindow(m_owner, TRUE);
        ::DestroyWindow(m_window);
    }
}

void ListingProgress::FolderEntered(const std::string& folder) {
    m_folder = folder;
    Update();
}

void ListingProgress::FileListed(const std::string&) {
    ++m_files;
    Update();
}

bool ListingProgress::CancelRequested() {
    return m_cancelled;
}

void ListingProgress::Update() {
    const auto now = m_clock();
    if (now - m_start < kShowAfter || (m_window != nullptr && now - m_lastUpdate < kUpdateEvery)) {
        return;
    }
    m_lastUpdate = now;
    const std::string text = app::ProgressText(m_folder, m_files);
    if (m_window == nullptr) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = ResourceModule();
        windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kProgressClass;
        ::RegisterClassA(&windowClass);
        RECT owner{};
        ::GetWindowRect(m_owner, &owner);
        m_window = ::CreateWindowExA(
            WS_EX_DLGMODALFRAME, kProgressClass, "Quaverly", WS_POPUP | WS_CAPTION | WS_VISIBLE,
            owner.left + 40, owner.top + 60, 420, 140, m_owner, nullptr, ResourceModule(), nullptr);
        ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
        m_text = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                   12, 10, 390, 44, m_window, nullptr, ResourceModule(), nullptr);
        const HWND cancel = ::CreateWindowExA(
            0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 165, 64,
            90, 26, m_window, reinterpret_cast<HMENU>(kCancelButton), ResourceModule(), nullptr);
        ::SendMessageA(m_text, WM_SETFONT, font, FALSE);
        ::SendMessageA(cancel, WM_SETFONT, font, FALSE);
        // The run owns the dialog until it ends, as the modal box after it does.
        ::EnableWindow(m_owner, FALSE);
    }
    ::SetWindowTextA(m_text, text.c_str());
    MSG message{};
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        if (::IsDialogMessageA(m_window, &message) == 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

LRESULT CALLBACK ListingProgress::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* progress = reinterpret_cast<ListingProgress*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (progress != nullptr &&
        ((message == WM_COMMAND && LOWORD(wParam) == kCancelButton) || message == WM_CLOSE)) {
        progress->m_cancelled = true;
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace quaverly::win32
