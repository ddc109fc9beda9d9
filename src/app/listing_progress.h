#pragma once

#include "listing/run_report.h"

#include <wx/progdlg.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace quaverly::app {

// Shows a long run's progress: once a run has taken about a second, a progress dialog with the
// folder being read, the count of files so far, and Cancel. A short run never shows it. Cancel
// stops the walk after the current file; the run then ends the page properly.
class ListingProgress final : public listing::RunObserver {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds kShowAfter{1000};
    // The dialog is redrawn, and asked about Cancel, at most this often.
    static constexpr std::chrono::milliseconds kUpdateEvery{100};

    // `clock` defaults to the steady clock; tests give one they move on themselves.
    ListingProgress(wxWindow* owner, Clock clock = {});
    ~ListingProgress() override;

    ListingProgress(const ListingProgress&) = delete;
    ListingProgress& operator=(const ListingProgress&) = delete;

    void FolderEntered(const std::string& folder) override;
    void FileListed(const std::string& path) override;
    bool CancelRequested() override { return m_cancelled; }

    bool WasShown() const noexcept { return m_shown; }

    // The dialog's text: the folder being read and the count of files so far.
    static std::string ProgressText(const std::string& folder, std::size_t files);

private:
    void Update();

    wxWindow* m_owner;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastUpdate;
    std::unique_ptr<wxProgressDialog> m_dialog;
    std::string m_folder;
    std::size_t m_files = 0;
    bool m_shown = false;
    bool m_cancelled = false;
};

} // namespace quaverly::app
