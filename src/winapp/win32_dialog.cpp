#include "winapp/win32_dialog.h"

namespace quaverly::win32 {

Dialog::~Dialog() {
    if (!m_modal && m_hwnd != nullptr && ::IsWindow(m_hwnd) != 0) {
        ::DestroyWindow(m_hwnd);
    }
}

INT_PTR Dialog::DoModal() {
    m_modal = true;
    const INT_PTR result = ::DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId),
                                             m_owner, Procedure, reinterpret_cast<LPARAM>(this));
    m_hwnd = nullptr;
    return result;
}

HWND Dialog::Create() {
    m_modal = false;
    return ::CreateDialogParamA(ResourceModule(), MAKEINTRESOURCEA(m_templateId), m_owner,
                                Procedure, reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) {
    if (m_modal) {
        ::EndDialog(m_hwnd, result);
    } else {
        ::DestroyWindow(m_hwnd);
    }
}

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog() ? TRUE : FALSE;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return true;
        }
        return false;
    default:
        return false;
    }
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Dialog*>(lParam);
        dialog->m_hwnd = window;
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    }
    auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    INT_PTR result = FALSE;
    if (!dialog->OnMessage(message, wParam, lParam, result)) {
        return FALSE;
    }
    if (message != WM_INITDIALOG && message != WM_CTLCOLORSTATIC && message != WM_QUERYDRAGICON) {
        ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    return result;
}

HINSTANCE ResourceModule() noexcept {
    return ::GetModuleHandleA(nullptr);
}

std::string ApplicationName() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    const std::size_t separator = name.find_last_of("\\/:");
    if (separator != std::string::npos) {
        name.erase(0, separator + 1);
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

std::string LoadResourceString(int id) {
    char text[512] = {};
    const int length = ::LoadStringA(ResourceModule(), static_cast<UINT>(id), text, sizeof text);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

} // namespace quaverly::win32
