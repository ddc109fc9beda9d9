#include "winapp/win32_services.h"

#include "frontend/run_messages.h"
#include "platform/file_system.h"
#include "winapp/win32_dialog.h"

#include <shellapi.h>
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

void WindowMessageBox::Show(const std::string& text, frontend::MessageIcon icon) {
    ShowCaptioned(m_caption, text, icon);
}

void WindowMessageBox::ShowCaptioned(const std::string& caption, const std::string& text,
                                     frontend::MessageIcon icon) {
    UINT type = MB_OK;
    switch (icon) {
    case frontend::MessageIcon::Information:
        type |= MB_ICONINFORMATION;
        break;
    case frontend::MessageIcon::Exclamation:
        type |= MB_ICONEXCLAMATION;
        break;
    case frontend::MessageIcon::Error:
        type |= MB_ICONERROR;
        break;
    case frontend::MessageIcon::None:
        break;
    }
    ::MessageBoxA(m_owner, text.c_str(), caption.empty() ? ApplicationName().c_str() : caption.c_str(),
                  type);
}

ListingProgress::ListingProgress(HWND owner, frontend::Clock clock)
    : frontend::PacedProgress(frontend::kDialogProgress, std::move(clock)), m_owner(owner) {}

ListingProgress::~ListingProgress() {
    if (m_window != nullptr) {
        ::EnableWindow(m_owner, TRUE);
        ::DestroyWindow(m_window);
    }
}

void ListingProgress::Draw() {
    const std::string text = frontend::ProgressText(Folder(), Files());
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

std::vector<std::string> DroppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFFU, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1U, L'\0');
        path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(platform::CarriedPath(path));
    }
    ::DragFinish(drop);
    return paths;
}

std::vector<std::string> CommandLineArguments(const wchar_t* commandLine) {
    // An odd run of backslashes before a quote that ends an argument would make the quote a
    // character of the argument: one more backslash keeps them all and lets the quote close it.
    // No path holds a quote.
    std::wstring line(commandLine);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const bool ends = i + 1 == line.size() || line[i + 1] == L' ' || line[i + 1] == L'\t';
        if (line[i] != L'"' || !ends) {
            continue;
        }
        std::size_t backslashes = 0;
        while (backslashes < i && line[i - 1 - backslashes] == L'\\') {
            ++backslashes;
        }
        if (backslashes % 2 == 1) {
            line.insert(i, 1, L'\\');
            ++i;
        }
    }
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(line.c_str(), &count);
    if (words == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(platform::CarriedPath(words[i]));
    }
    ::LocalFree(words);
    return arguments;
}

} // namespace quaverly::win32
