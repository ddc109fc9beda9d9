#include "winapp/listing_app.h"

#include "frontend/catalogue_run.h"
#include "winapp/listing_dlg.h"
#include "winapp/win32_services.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <utility>

namespace quaverly {

bool CListingApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CListingDlg dialog(nullptr, {}, std::exchange(m_request, {}));
    dialog.DoModal();
    return false;
}

void MakeCatalogue(const frontend::FolderRequest& request) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The shell opens a file: URL through COM.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    win32::WindowMessageBox boxes(nullptr);
    frontend::MakeCatalogueFromDesktop(
        {}, request, boxes, [] { return std::make_unique<win32::ListingProgress>(nullptr); });
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

} // namespace quaverly
