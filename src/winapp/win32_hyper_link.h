#pragma once

#include "hyperlink/link_state.h"
#include "platform/desktop/desktop.h"
#include "platform/message_box.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace quaverly {

// A static text of a dialog turned into a link: drawn in one of four colours by its state,
// underlined, sized to its text, with a hand cursor and a tooltip showing the target. A click
// or Space (with the keyboard focus) opens the target through the link launcher. The dialog
// reflects WM_CTLCOLORSTATIC of the control to CtlColor.
class CHyperLink : public LinkState {
public:
    CHyperLink() = default;
    ~CHyperLink();
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // Subclasses the static control `id` of `dialog` into this link and sets it up. False when
    // the dialog has no such control.
    bool SubclassDlgItem(int id, HWND dialog);

    // Colours of every link of the process: link, focus, visited, hover. A hover colour of
    // kSystemHighlight takes the system highlight colour of this moment. Nothing is redrawn.
    static void SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover);

    // Clears the `remove` flags and sets the `add` flags; false, changing nothing, when the
    // masks overlap. With `apply`, a subclassed control takes the changed underline, fit or
    // hover colour at once.
    bool ChangeStyleFlags(std::uint32_t remove, std::uint32_t add, bool apply);

    // Where FollowLink opens the target and reports a failure; the system's desktop and the
    // application's message box without this call.
    void SetLaunchServices(platform::Desktop& desktop, platform::MessageBoxService& boxes);

    // Opens the target; beeps and reports a failure, or marks the link visited.
    void FollowLink();

    // The reflected WM_CTLCOLORSTATIC: the text colour by the state, a transparent background.
    HBRUSH CtlColor(HDC dc) const;

    HWND Handle() const noexcept { return m_hwnd; }
    const std::string& GetTarget() const noexcept { return m_strTarget; }
    HFONT GetLinkFont() const noexcept { return m_fontLink; }
    HWND GetToolTip() const noexcept { return m_tipCtrl; }
    static HCURSOR LinkCursor() noexcept { return s_hLinkCursor; }

protected:
    void PreSubclassWindow();
    void FitToText();
    void ApplyLinkFont(HFONT font);
    static void LoadLinkCursor();

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnSetCursor();
    void OnMouseMove(POINT point);
    void OnLButtonUp();
    void OnSetFocus();
    void OnKillFocus();
    void OnKeyDown(WPARAM key, LPARAM lParam);
    void OnLButtonDown();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HFONT UnderlinedCopy(HFONT font) const;
    void RedrawAll() const;

    HWND m_hwnd = nullptr;
    WNDPROC m_previous = nullptr;
    std::string m_strTarget;
    HFONT m_fontLink = nullptr;
    HWND m_tipCtrl = nullptr;
    platform::Desktop* m_desktop = nullptr;
    platform::MessageBoxService* m_boxes = nullptr;

    static HCURSOR s_hLinkCursor;
};

} // namespace quaverly
