#include "app/listing_dlg.h"

#include "app/about_box.h"
#include "app/listing_progress.h"
#include "app/resources.h"
#include "resource.h"

#include <wx/button.h>
#include <wx/dcclient.h>

#include <utility>

namespace quaverly {

namespace {

// The Win32 system commands that default processing carries out here.
constexpr std::uint32_t kScMinimize = 0xF020;
constexpr std::uint32_t kScClose = 0xF060;

} // namespace

wxIMPLEMENT_CLASS(CListingDlg, wxDialog);

// The system menu's command comes from the context menu's item; the drag-icon query has no
// GTK message.
// clang-format off
wxBEGIN_EVENT_TABLE(CListingDlg, wxDialog)
    EVT_MENU(resource::kAboutCommand, CListingDlg::OnSysCommandItem)
    EVT_CONTEXT_MENU(CListingDlg::OnContextMenu)
    EVT_PAINT(CListingDlg::OnPaint)
    EVT_BUTTON(resource::kBrowseButton, CListingDlg::OnBrowse)
    EVT_INIT_DIALOG(CListingDlg::OnInitDialogEvent)
    EVT_CHAR_HOOK(CListingDlg::OnCharHook)
wxEND_EVENT_TABLE()
    // clang-format on

    CListingDlg::CListingDlg(wxWindow* parent, ListingDlgServices services,
                             frontend::FolderRequest request)
    : m_services(std::move(services)), m_request(std::move(request)), m_messageBox(this),
      m_browser(this, app::HomeFolder(), m_messageBox), m_sysMenu(std::make_unique<wxMenu>()) {
    app::LoadDialogTemplate(*this, parent, resource::kMainDialog);
    m_hIcon = app::LoadIconGroup();
    SetDropTarget(new app::FolderDropTarget([this](const std::vector<std::string>& paths) {
        // After the drop: its source waits for the answer, and a run takes a while.
        CallAfter([this, paths] { OnDropPaths(paths); });
        return true;
    }));
}

CListingDlg::~CListingDlg() = default;

void CListingDlg::DoDataExchange() {
    if (m_link.GetHandle() == nullptr) {
        m_link.SetLaunchServices(m_services.desktop != nullptr ? *m_services.desktop
                                                               : platform::SystemDesktop(),
                                 m_messageBox);
        m_link.SubclassDlgItem(resource::kHomePageLink, this);
    }
}

void CListingDlg::OnInitDialogEvent(wxInitDialogEvent&) {
    OnInitDialog();
}

bool CListingDlg::OnInitDialog() {
    TransferDataToWindow();
    DoDataExchange();

    // On Windows these two items go into the system menu; GTK has none that a program can
    // extend, so they make the dialog's context menu.
    const std::string about = app::LoadResourceString(resource::kAboutBoxString);
    if (!about.empty() && m_sysMenu->GetMenuItemCount() == 0) {
        m_sysMenu->AppendSeparator();
        m_sysMenu->Append(static_cast<int>(resource::kAboutCommand), wxString::FromUTF8(about));
    }

    // Both sizes carry the same images; on GTK they also stand for the minimised window.
    SetIcons(m_hIcon);

    frontend::SetUpHomePageLink(m_link);

    if (wxWindow* browse = FindWindow(resource::kBrowseButton)) {
        browse->SetFocus();
    }
    if (!m_request.Empty()) {
        // Once the dialog shows, as if the user had chosen the folder in it.
        CallAfter([this] { ListFolder(std::exchange(m_request, {})); });
    }
    return true;
}

void CListingDlg::OnSysCommand(std::uint32_t nID, long /*lParam*/) {
    if ((nID & 0xFFF0U) == resource::kAboutCommand) {
        CAboutBox about;
        about.ShowModal();
        return;
    }
    DefaultSysCommand(nID);
}

void CListingDlg::DefaultSysCommand(std::uint32_t nID) {
    switch (nID & 0xFFF0U) {
    case kScClose:
        Close();
        break;
    case kScMinimize:
        Iconize();
        break;
    default:
        break;
    }
}

void CListingDlg::OnSysCommandItem(wxCommandEvent& event) {
    OnSysCommand(static_cast<std::uint32_t>(event.GetId()), 0);
}

void CListingDlg::OnCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        EndDialog(wxID_CANCEL);
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        if (dynamic_cast<wxButton*>(FindFocus()) == nullptr) {
            EndDialog(wxID_OK);
            return;
        }
        break;
    default:
        break;
    }
    event.Skip();
}

void CListingDlg::OnContextMenu(wxContextMenuEvent&) {
    if (m_sysMenu->GetMenuItemCount() != 0) {
        PopupMenu(m_sysMenu.get());
    }
}

void CListingDlg::OnPaint(wxPaintEvent& event) {
    if (!IsIconized()) {
        event.Skip();
        return;
    }
    // GTK does not let a program paint its minimised window: the window icons stand for it.
    // Where the platform does, the icon goes in the middle of the client area.
    wxPaintDC dc(this);
    const wxIcon icon = m_hIcon.GetIcon(wxSize(32, 32));
    const wxSize client = GetClientSize();
    const frontend::IconPlace at =
        frontend::CentreIconInClient(client.x, client.y, icon.GetWidth(), icon.GetHeight());
    dc.DrawIcon(icon, at.x, at.y);
}

void CListingDlg::OnBrowse(wxCommandEvent&) {
    ListFolder({});
}

void CListingDlg::ListFolder(const frontend::FolderRequest& request) {
    m_runs.List(request, [this](const frontend::FolderRequest& next) {
        frontend::RunFromDialog(m_services, next, m_browser, m_messageBox, [this] {
            return std::make_unique<app::ListingProgress>(this, m_services.clock);
        });
    });
}

void CListingDlg::OnDropPaths(const std::vector<std::string>& paths) {
    ListFolder(frontend::FolderFromDrop(paths));
}

} // namespace quaverly
