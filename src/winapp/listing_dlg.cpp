#include "winapp/listing_dlg.h"

#include "app/run_messages.h"
#include "listing/visible_text.h"
#include "mpeg/tag_worker_pool.h"
#include "resource.h"
#include "winapp/about_box.h"

#include <memory>

namespace quaverly {

namespace {

listing::ListingSession& ProcessListingSession() {
    // Lives as long as the process: the analyser and the row shading carry over from run to
    // run, and the tag helpers stay up between runs.
    static listing::ListingSession session(platform::SystemFileSystem(),
                                           std::make_unique<mpeg::TagWorkerPool>());
    return session;
}

} // namespace

POINT CentreIconInClient(const RECT& client, int iconWidth, int iconHeight) noexcept {
    return {(client.right - client.left - iconWidth + 1) / 2,
            (client.bottom - client.top - iconHeight + 1) / 2};
}

CListingDlg::CListingDlg(HWND parent, ListingDlgServices services)
    : win32::Dialog(resource::kMainDialog, parent),
      m_hIcon(::LoadIconA(win32::ResourceModule(), MAKEINTRESOURCEA(resource::kMainIcon))),
      m_services(std::move(services)) {}

void CListingDlg::DoDataExchange() {
    if (m_link.Handle() == nullptr) {
        static win32::WindowMessageBox linkBoxes(nullptr);
        if (m_services.desktop != nullptr) {
            m_link.SetLaunchServices(*m_services.desktop, m_services.runBoxes != nullptr
                                                              ? *m_services.runBoxes
                                                              : linkBoxes);
        }
        m_link.SubclassDlgItem(resource::kHomePageLink, Handle());
    }
}

bool CListingDlg::OnInitDialog() {
    DoDataExchange();

    if (const HMENU menu = ::GetSystemMenu(Handle(), FALSE); menu != nullptr) {
        const std::string about = win32::LoadResourceString(resource::kAboutBoxString);
        if (!about.empty()) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(menu, MF_STRING, resource::kAboutCommand, about.c_str());
        }
    }

    ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_link.ChangeStyleFlags(0, CHyperLink::LinkHoverColour, true);
    CHyperLink::SetLinkColours(Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(0, 0, 255), Rgb(255, 0, 0));
    m_link.MarkVisited(false);
    return true;
}

bool CListingDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_SYSCOMMAND:
        result = 0;
        return OnSysCommand(wParam, lParam);
    case WM_PAINT:
        result = 0;
        return OnPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == resource::kBrowseButton && HIWORD(wParam) == BN_CLICKED) {
            OnBrowse();
            result = 0;
            return true;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // The link chooses its own colours.
        if (reinterpret_cast<HWND>(lParam) == m_link.Handle() && m_link.Handle() != nullptr) {
            result = reinterpret_cast<INT_PTR>(m_link.CtlColor(reinterpret_cast<HDC>(wParam)));
            return true;
        }
        return false;
    default:
        break;
    }
    return win32::Dialog::OnMessage(message, wParam, lParam, result);
}

bool CListingDlg::OnSysCommand(WPARAM nID, LPARAM /*lParam*/) {
    if ((static_cast<std::uint32_t>(nID) & 0xFFF0U) == resource::kAboutCommand) {
        CAboutBox about(Handle());
        about.DoModal();
        return true;
    }
    return false;
}

bool CListingDlg::OnPaint() {
    if (::IsIconic(Handle()) == 0) {
        return false;
    }
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Handle(), &paint);
    ::SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cx = ::GetSystemMetrics(SM_CXICON);
    const int cy = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    ::GetClientRect(Handle(), &client);
    const POINT at = CentreIconInClient(client, cx, cy);
    ::DrawIcon(dc, at.x, at.y, m_hIcon);
    ::EndPaint(Handle(), &paint);
    return true;
}

void CListingDlg::OnBrowse() {
    platform::FileSystem& fileSystem =
        m_services.fileSystem != nullptr ? *m_services.fileSystem : platform::SystemFileSystem();
    listing::ListingSession& session =
        m_services.session != nullptr ? *m_services.session : ProcessListingSession();
    win32::ShellFolderBrowser browser(Handle());
    platform::FolderChooser& chooser =
        m_services.chooser != nullptr ? *m_services.chooser : browser;
    win32::WindowMessageBox applicationBoxes(Handle());
    win32::WindowMessageBox runBox(Handle(), app::kRunCaption);
    platform::MessageBoxService& boxes =
        m_services.runBoxes != nullptr ? *m_services.runBoxes : applicationBoxes;

    listing::RunResult result;
    {
        win32::ListingProgress progress(Handle(), m_services.clock);
        listing::ListingServices services{fileSystem, chooser, boxes, &progress};
        result = listing::MakeListing(session, services);
    }

    if (result.outcome == listing::RunOutcome::Failed) {
        boxes.Show(std::string(win32::kCommandFailureText) + "\n\n" +
                       listing::VisibleText(result.failureReason),
                   platform::MessageIcon::Exclamation);
        return;
    }
    if (const auto message = app::MessageForRun(result)) {
        platform::MessageBoxService& completion =
            m_services.runBoxes != nullptr ? *m_services.runBoxes : runBox;
        completion.Show(message->text, message->icon);
    }
}

} // namespace quaverly
