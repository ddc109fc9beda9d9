#pragma once

#include "frontend/progress_pacing.h"

#include <wx/progdlg.h>

#include <memory>

namespace quaverly::app {

// Shows a long run's progress: once a run has taken about a second, a progress dialog with the
// folder being read, the count of files so far, and Cancel. A short run never shows it. Cancel
// stops the walk after the current file; the run then ends the page properly.
class ListingProgress final : public frontend::PacedProgress {
public:
    // `clock` defaults to the steady clock; tests give one they move on themselves.
    explicit ListingProgress(wxWindow* owner, frontend::Clock clock = {});
    ~ListingProgress() override;

    ListingProgress(const ListingProgress&) = delete;
    ListingProgress& operator=(const ListingProgress&) = delete;

    bool CancelRequested() override { return m_cancelled; }

private:
    void Draw() override;

    wxWindow* m_owner;
    std::unique_ptr<wxProgressDialog> m_dialog;
    bool m_cancelled = false;
};

} // namespace quaverly::app
