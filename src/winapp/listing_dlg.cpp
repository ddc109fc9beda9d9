#include "winapp/listing_dlg.h"

#include "resource.h"
#include "winapp/about_box.h"

#include <shellapi.h>

#include <memory>
#include <utility>

namespace quaverly {

namespace {

// Posted by the dialog to itself as it opens: list the folder it was given.
constexpr UINT kListRequested = WM_APP + 1;

} // namespace

CListingDlg::CListingDlg(HWND parent, ListingDlgServices services, frontend::FolderRequest request)
    : win32::Dialog(resource::kMainDialog, parent),
      m_hIcon(::LoadIconA(win32::ResourceModule(), MAKEINTRESOURCEA(resource::kMainIcon))),
      m_services(std::move(services)), m_request(std::move(request)) {}

void CListingDlg::DoDataExchange() {
    if (m_link.Handle() == nullptr) {
        static win32::WindowMessageBox linkBoxes(nullptr);
        if (m_services.desktop != nullptr) {
            m_link.SetLaunchServices(*m_services.desktop, m_services.boxes != nullptr
                                                              ? *m_services.boxes
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

    frontend::SetUpHomePageLink(m_link);

    ::DragAcceptFiles(Handle(), TRUE);
    if (!m_request.Empty()) {
        // Once the dialog shows, as if the user had chosen the folder in it.
        ::PostMessageA(Handle(), kListRequested, 0, 0);
    }
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
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        result = 0;
        return true;
    case kListRequested:
        ListFolder(std::exchange(m_request, {}));
        result = 0;
        return true;
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
    const frontend::IconPlace at = frontend::CentreIconInClient(
        client.right - client.left, client.bottom - client.top, cx, cy);
    ::DrawIcon(dc, at.x, at.y, m_hIcon);
    ::EndPaint(Handle(), &paint);
    return true;
}

void CListingDlg::OnBrowse() {
    ListFolder({});
}

void CListingDlg::ListFolder(const frontend::FolderRequest& request) {
    m_runs.List(request, [this](const frontend::FolderRequest& next) {
        win32::ShellFolderBrowser browser(Handle());
        win32::WindowMessageBox boxes(Handle());
        frontend::RunFromDialog(m_services, next, browser, boxes, [this] {
            return std::make_unique<win32::ListingProgress>(Handle(), m_services.clock);
        });
    });
}

void CListingDlg::OnDropFiles(HDROP drop) {
    const std::vector<std::string> paths = win32::DroppedPaths(drop);
    ListFolder(frontend::FolderFromDrop(paths));
}

} // namespace quaverly
