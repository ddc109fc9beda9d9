#include "winapp/listing_app.h"

#include "winapp/listing_dlg.h"

#include <commctrl.h>

#include <utility>

namespace quaverly {

bool CListingApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CListingDlg dialog(nullptr, {}, std::exchange(m_request, {}));
    dialog.DoModal();
    return false;
}

} // namespace quaverly
