#pragma once

#include <windows.h>

#include <string>

namespace quaverly::win32 {

// A dialog from a template of the program's resources. Its dialog procedure hands every message
// to OnMessage, which dispatches it to a small handler; what OnMessage leaves unhandled gets
// the system's default dialog processing. The layer that the program's dialogs stand on.
class Dialog {
public:
    Dialog(int templateId, HWND owner) : m_templateId(templateId), m_owner(owner) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally until it ends; returns its end code, or -1 when it could not be
    // created.
    INT_PTR DoModal();
    // Creates the dialog without a modal loop of its own (the tests drive it so).
    HWND Create();
    // Ends a modal dialog with `result`; destroys a modeless one.
    void End(INT_PTR result);

    HWND Handle() const noexcept { return m_hwnd; }

protected:
    // True when the message was handled, with the procedure's answer in `result`.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // After the controls exist; true lets the system give the focus to the first tab stop.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    HWND m_owner;
    HWND m_hwnd = nullptr;
    bool m_modal = false;
};

// The module that holds the program's resources.
HINSTANCE ResourceModule() noexcept;

// The application's name: the executable's file name without its extension. It captions every
// box the application shows.
std::string ApplicationName();

// Text for a window from a string resource, or "" when there is none with that id.
std::string LoadResourceString(int id);

} // namespace quaverly::win32
