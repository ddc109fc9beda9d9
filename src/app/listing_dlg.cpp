#include "app/listing_dlg.h"

#include "app/about_box.h"
#include "app/resources.h"
#include "app/run_messages.h"
#include "mpeg/tag_worker_pool.h"
#include "resource.h"

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/msgdlg.h>

namespace quaverly {

namespace {

// The Win32 system commands that default processing carries out here.
constexpr std::uint32_t kScMinimize = 0xF020;
constexpr std::uint32_t kScClose = 0xF060;

listing::ListingSession& ProcessListingSession() {
    // Lives as long as the process: the analyser and the row shading carry over from run to
    // run, and the tag helpers stay up between runs. They are started by the first run, on
    // this thread, which lives as long as they may.
    static listing::ListingSession session(platform::SystemFileSystem(),
                                           std::make_unique<mpeg::TagWorkerPool>());
    return session;
}

} // namespace

wxPoint CentreIconInClient(const wxRect& client, const wxSize& icon) noexcept {
    return {(client.width - icon.x + 1) / 2, (client.height - icon.y + 1) / 2};
}

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

    CListingDlg::CListingDlg(wxWindow* parent, ListingDlgServices services)
    : m_services(std::move(services)), m_messageBox(this),
      m_browser(this, app::HomeFolder(), m_messageBox), m_sysMenu(std::make_unique<wxMenu>()) {
    app::LoadDialogTemplate(*this, parent, resource::kMainDialog);
    m_hIcon = app::LoadIconGroup();
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

    m_link.ChangeStyleFlags(0, CHyperLink::LinkHoverColour, true);
    CHyperLink::SetLinkColours(Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0));
    m_link.MarkVisited(false);

    if (wxWindow* browse = FindWindow(resource::kBrowseButton)) {
        browse->SetFocus();
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
    dc.DrawIcon(icon, CentreIconInClient(GetClientRect(), icon.GetSize()));
}

void CListingDlg::OnBrowse(wxCommandEvent&) {
    platform::FileSystem& fileSystem =
        m_services.fileSystem != nullptr ? *m_services.fileSystem : platform::SystemFileSystem();
    listing::ListingSession& session =
        m_services.session != nullptr ? *m_services.session : ProcessListingSession();
    platform::FolderChooser& chooser =
        m_services.chooser != nullptr ? *m_services.chooser : m_browser;

    listing::RunResult result;
    {
        app::ListingProgress progress(this, m_services.clock);
        listing::ListingServices services{fileSystem, chooser, m_messageBox, &progress};
        result = listing::MakeListing(session, services);
    }

    if (result.outcome == listing::RunOutcome::Failed) {
        app::ShowCommandFailure(this, result.failureReason);
        return;
    }
    if (const auto message = app::MessageForRun(result)) {
        wxMessageDialog box(this, DisplayString(message->text), app::kRunCaption,
                            wxOK | MessageIconStyle(message->icon));
        box.ShowModal();
    }
}

} // namespace quaverly
