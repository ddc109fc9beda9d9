#include "app/listing_app.h"

#include "app/listing_dlg.h"
#include "app/resources.h"
#include "app/wx_services.h"

#include <exception>

namespace quaverly {

bool CListingApp::OnInit() {
    app::LoadResources();
    return true;
}

int CListingApp::OnRun() {
    InitInstance();
    return 0;
}

bool CListingApp::InitInstance() {
    // No control container or 3-D controls to enable: a wx dialog holds any window, and GTK
    // draws every control in its own style.
    CListingDlg dlg;
    SetTopWindow(&dlg);
    dlg.ShowModal();
    SetTopWindow(nullptr);
    return false;
}

bool CListingApp::OnExceptionInMainLoop() {
    try {
        throw;
    } catch (const std::exception& failure) {
        app::ShowCommandFailure(GetTopWindow(), failure.what());
        return true;
    } catch (...) {
        app::ShowCommandFailure(GetTopWindow(), "Unknown failure.");
        return true;
    }
}

} // namespace quaverly
