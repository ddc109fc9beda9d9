#include "app/listing_app.h"

#include "app/app_message_box.h"
#include "app/listing_dlg.h"
#include "app/listing_progress.h"
#include "app/resources.h"
#include "frontend/catalogue_run.h"
#include "frontend/run_messages.h"

#include <exception>
#include <utility>

namespace quaverly {

bool CListingApp::OnInit() {
    app::LoadResources();
    if (m_arguments) {
        std::vector<std::string> arguments = std::move(*m_arguments);
        // GTK took options of its own (--display and the like): what it left, as wx read it,
        // which a name that is not text may not survive.
        if (arguments.size() != static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)) {
            arguments.clear();
            for (int i = 1; i < argc; ++i) {
                arguments.emplace_back(argv[i].fn_str());
            }
        }
        m_catalogue = frontend::CatalogueFromCommandLine(arguments);
        if (!m_catalogue) {
            m_request = frontend::FolderFromCommandLine(arguments);
        }
    }
    return true;
}

int CListingApp::OnRun() {
    InitInstance();
    return 0;
}

bool CListingApp::InitInstance() {
    if (m_catalogue) {
        // The file manager's verb: the catalogue and its browser window, without the dialog.
        AppMessageBox boxes;
        frontend::MakeCatalogueFromDesktop(
            {}, *std::exchange(m_catalogue, std::nullopt), boxes,
            [] { return std::make_unique<app::ListingProgress>(nullptr); });
        return false;
    }
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
