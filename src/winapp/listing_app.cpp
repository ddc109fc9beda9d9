#include "winapp/listing_app.h"

#include "winapp/listing_dlg.h"

#include <commctrl.h>

namespace quaverly {

bool CListingApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    CListingDlg dialog;
    dialog.DoModal();
    return false;
}

} // namespace quaverly
