#include "app/listing_progress.h"

#include "app/app_message_box.h"
#include "frontend/run_messages.h"

namespace quaverly::app {

ListingProgress::ListingProgress(wxWindow* owner, frontend::Clock clock)
    : frontend::PacedProgress(frontend::kDialogProgress, std::move(clock)), m_owner(owner) {}

ListingProgress::~ListingProgress() = default;

void ListingProgress::Draw() {
    const wxString text = DisplayString(frontend::ProgressText(Folder(), Files()));
    if (!m_dialog) {
        // The walk's length is not known beforehand: the gauge only shows that it goes on.
        m_dialog = std::make_unique<wxProgressDialog>(frontend::kRunCaption, text, 100, m_owner,
                                                      wxPD_APP_MODAL | wxPD_CAN_ABORT |
                                                          wxPD_ELAPSED_TIME);
    }
    // Pulse also lets the dialog see a press of Cancel.
    if (!m_dialog->Pulse(text)) {
        m_cancelled = true;
    }
}

} // namespace quaverly::app
