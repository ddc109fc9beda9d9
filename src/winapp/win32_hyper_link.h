#pragma once

#include "frontend/message_box.h"
#include "hyperlink/link_state.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace quaverly {

// A static text of a dialog turned into a link: drawn in one of four colours by its state,
// underlined, sized to its text, with a hand cursor and a tooltip showing the target. A click
// or Space (with the keyboard focus) opens the target through the link launcher. What it does
// is LinkState's; this class subclasses the static control and gives LinkState its window,
// font, cursor and tooltip. The dialog reflects WM_CTLCOLORSTATIC of the control to CtlColor.
class CHyperLink : public LinkState {
public:
    CHyperLink() = default;
    ~CHyperLink() override;
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // Subclasses the static control `id` of `dialog` into this link and sets it up. False when
    // the dialog has no such control.
    bool SubclassDlgItem(int id, HWND dialog);

    // Colours of every link of the process: link, focus, visited, hover. A hover colour of
    // kSystemHighlight takes the system highlight colour of this moment. Nothing is redrawn.
    static void SetLinkColours(ColorRef link, ColorRef focus, ColorRef visited, ColorRef hover);

    // The reflected WM_CTLCOLORSTATIC: the text colour by the state, a transparent background.
    HBRUSH CtlColor(HDC dc) const;

    HWND Handle() const noexcept { return m_hwnd; }
    HFONT GetLinkFont() const noexcept { return m_fontLink; }
    HWND GetToolTip() const noexcept { return m_tipCtrl; }
    static HCURSOR LinkCursor() noexcept { return s_hLinkCursor; }

private:
    QUAVERLY_LINK_WINDOW_OPERATIONS();

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void RelayToToolTip(UINT message, WPARAM wParam, LPARAM lParam) const;
    bool OnSetCursor();
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam) const;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    WNDPROC m_previous = nullptr;
    HFONT m_fontLink = nullptr;
    HWND m_tipCtrl = nullptr;
    // The application's box over the active window, for a failure nobody gave the link a box for.
    std::unique_ptr<frontend::MessageBoxService> m_defaultBox;

    static HCURSOR s_hLinkCursor;
};

} // namespace quaverly
