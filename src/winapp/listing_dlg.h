#pragma once

#include "listing/listing_run.h"
#include "platform/desktop/desktop.h"
#include "platform/file_system.h"
#include "platform/folder_chooser.h"
#include "platform/message_box.h"
#include "winapp/win32_dialog.h"
#include "winapp/win32_hyper_link.h"
#include "winapp/win32_services.h"

#include <cstdint>

namespace quaverly {

// What the main dialog works with. Every member left empty means the real one: the system's
// file system and desktop, the process's listing session, the shell's folder browser, message
// boxes over the dialog and the steady clock. Tests put fakes in their place.
struct ListingDlgServices {
    platform::FileSystem* fileSystem = nullptr;
    listing::ListingSession* session = nullptr;
    platform::FolderChooser* chooser = nullptr;
    platform::Desktop* desktop = nullptr;
    // The boxes of a run: its completion message and its failures.
    platform::MessageBoxService* runBoxes = nullptr;
    win32::ListingProgress::Clock clock;
};

// Where the icon of a minimised window goes: centred in the client rectangle, the odd pixel to
// the right and down, truncating toward zero when the icon is the larger.
POINT CentreIconInClient(const RECT& client, int iconWidth, int iconHeight) noexcept;

// The main dialog, from template 102: the button that makes a listing and the link to the home
// page, with the About item in its system menu.
class CListingDlg final : public win32::Dialog {
public:
    explicit CListingDlg(HWND parent = nullptr, ListingDlgServices services = {});

    // Binds control 1001 to the link; the first time it subclasses the static into the link.
    void DoDataExchange();

    // A system command: 0x0010 to 0x001F, in the low 16 bits, open the About box; the rest get
    // default processing (false).
    bool OnSysCommand(WPARAM nID, LPARAM lParam);
    // Paints the icon while the dialog is minimised; false otherwise, for default painting.
    bool OnPaint();
    HCURSOR OnQueryDragIcon() const noexcept { return m_hIcon; }
    // Makes one listing and tells how it went.
    void OnBrowse();

    CHyperLink& Link() noexcept { return m_link; }
    HICON Icon() const noexcept { return m_hIcon; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool OnInitDialog() override;

private:
    CHyperLink m_link;
    HICON m_hIcon;
    ListingDlgServices m_services;
};

} // namespace quaverly
