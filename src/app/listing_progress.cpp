#include "app/listing_progress.h"

#include "app/app_message_box.h"
#include "app/run_messages.h"

namespace quaverly::app {

ListingProgress::ListingProgress(wxWindow* owner, Clock clock)
    : m_owner(owner),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      m_start(m_clock()) {}

ListingProgress::~ListingProgress() = default;

std::string ListingProgress::ProgressText(const std::string& folder, std::size_t files) {
    return app::ProgressText(folder, files);
}

void ListingProgress::FolderEntered(const std::string& folder) {
    m_folder = folder;
    Update();
}

void ListingProgress::FileListed(const std::string&) {
    ++m_files;
    Update();
}

void ListingProgress::Update() {
    if (m_cancelled) {
        return;
    }
    const auto now = m_clock();
    const wxString text = DisplayString(ProgressText(m_folder, m_files));
    if (!m_dialog) {
        if (now - m_start < kShowAfter) {
            return;
        }
        // The walk's length is not known beforehand: the gauge only shows that it goes on.
        m_dialog = std::make_unique<wxProgressDialog>(
            kRunCaption, text, 100, m_owner, wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME);
        m_shown = true;
    } else if (now - m_lastUpdate < kUpdateEvery) {
        return;
    }
    m_lastUpdate = now;
    // Pulse also lets the dialog see a press of Cancel.
    if (!m_dialog->Pulse(text)) {
        m_cancelled = true;
    }
}

} // namespace quaverly::app
