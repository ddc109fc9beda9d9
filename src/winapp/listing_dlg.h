#pragma once

#include "frontend/dialog_run.h"
#include "frontend/given_folder.h"
#include "winapp/win32_dialog.h"
#include "winapp/win32_hyper_link.h"
#include "winapp/win32_services.h"

#include <cstdint>

namespace quaverly {

// What the main dialog works with; see frontend::DialogServices.
using ListingDlgServices = frontend::DialogServices;

// The main dialog, from template 102: the button that makes a listing and the link to the home
// page, with the About item in its system menu. A folder given on the command line is listed as
// the dialog opens, and a folder dropped on it at once.
class CListingDlg final : public win32::Dialog {
public:
    explicit CListingDlg(HWND parent = nullptr, ListingDlgServices services = {},
                         frontend::FolderRequest request = {});

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
    // The same for a folder given to the dialog; or the box that says why there is none. A
    // request that comes while a run is on waits for its end.
    void ListFolder(const frontend::FolderRequest& request);
    // Files and folders dropped on the dialog.
    void OnDropFiles(HDROP drop);

    CHyperLink& Link() noexcept { return m_link; }
    HICON Icon() const noexcept { return m_hIcon; }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool OnInitDialog() override;

private:
    CHyperLink m_link;
    HICON m_hIcon;
    ListingDlgServices m_services;
    // Listed once the dialog has opened.
    frontend::FolderRequest m_request;
    frontend::DialogRuns m_runs;
};

} // namespace quaverly
