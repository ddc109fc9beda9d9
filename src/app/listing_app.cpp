#include "app/listing_app.h"

#include "app/listing_dlg.h"
#include "app/resources.h"
#include "frontend/run_messages.h"
#include "app/app_message_box.h"

#include <exception>
#include <utility>

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
    CListingDlg dlg(nullptr, {}, std::exchange(m_request, {}));
    SetTopWindow(&dlg);
    dlg.ShowModal();
    SetTopWindow(nullptr);
    return false;
}

void CListingApp::ShowFailure(const std::string& reason) {
    const frontend::RunMessage message = frontend::MessageForFailure(reason);
    AppMessageBox(GetTopWindow()).Show(message.text, message.icon);
}

bool CListingApp::OnExceptionInMainLoop() {
    try {
        throw;
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure("Unknown failure.");
    }
    return true;
}

} // namespace quaverly
