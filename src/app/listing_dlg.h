#pragma once

#include "app/hyper_link.h"
#include "app/wx_services.h"
#include "frontend/dialog_run.h"
#include "frontend/given_folder.h"

#include <wx/dialog.h>
#include <wx/iconbndl.h>
#include <wx/menu.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quaverly {

// What the main dialog works with; see frontend::DialogServices.
using ListingDlgServices = frontend::DialogServices;

// The main dialog, from template 102: the button that makes a listing and the link to the home
// page, with the About item in its context menu (GTK offers no system menu to extend). A folder
// given on the command line is listed as the dialog opens, and a folder dropped on it at once.
class CListingDlg : public wxDialog {
public:
    explicit CListingDlg(wxWindow* parent = nullptr, ListingDlgServices services = {},
                         frontend::FolderRequest request = {});
    ~CListingDlg() override;

    // Binds control 1001 to the link; the first time it turns the static text into the link.
    virtual void DoDataExchange();
    // The About item, the window icons and the link's flags, colours and state.
    virtual bool OnInitDialog();

    // A system command: 0x0010 to 0x001F, in the low 16 bits, open the About box; the rest get
    // default processing.
    void OnSysCommand(std::uint32_t nID, long lParam);
    // The dialog's icon where the platform drags one; GTK asks for none.
    const wxIconBundle& OnQueryDragIcon() const noexcept { return m_hIcon; }

    // Makes one listing and tells how it went.
    void OnBrowse(wxCommandEvent& event);
    // The same for a folder given to the dialog; or the box that says why there is none. A
    // request that comes while a run is on waits for its end.
    void ListFolder(const frontend::FolderRequest& request);
    // Paths dropped on the dialog, as the file system spells them.
    void OnDropPaths(const std::vector<std::string>& paths);

    CHyperLink& Link() noexcept { return m_link; }
    // The items that a system menu would have; the context menu shows them.
    wxMenu& SystemMenu() noexcept { return *m_sysMenu; }

protected:
    void OnPaint(wxPaintEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnSysCommandItem(wxCommandEvent& event);
    void OnInitDialogEvent(wxInitDialogEvent& event);
    // Esc cancels the dialog, and Enter away from a button ends it as OK would: a wx dialog does
    // that only through Cancel and OK buttons, and this one has neither.
    void OnCharHook(wxKeyEvent& event);
    // The part of the standard system commands that GTK lets a program carry out.
    void DefaultSysCommand(std::uint32_t nID);

private:
    CHyperLink m_link;
    wxIconBundle m_hIcon;

    ListingDlgServices m_services;
    // Listed once the dialog has opened.
    frontend::FolderRequest m_request;
    frontend::DialogRuns m_runs;
    AppMessageBox m_messageBox;
    // Kept from run to run: it opens where the last run's folder was chosen.
    app::DirDialogChooser m_browser;
    std::unique_ptr<wxMenu> m_sysMenu;

    wxDECLARE_CLASS(CListingDlg);
    wxDECLARE_EVENT_TABLE();
};

} // namespace quaverly
