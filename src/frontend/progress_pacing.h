#pragma once

#include "listing/run_report.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace quaverly::frontend {

using Clock = std::function<std::chrono::steady_clock::time_point()>;

// When a progress display draws: not before `showAfter` has passed since the run began, then
// at most once every `every`.
struct ProgressTiming {
    std::chrono::milliseconds showAfter;
    std::chrono::milliseconds every;
};

// A dialog's window: a short run never shows one.
inline constexpr ProgressTiming kDialogProgress{std::chrono::milliseconds(1000),
                                                std::chrono::milliseconds(100)};
// A terminal's line: at once, and no faster than a person reads.
inline constexpr ProgressTiming kTerminalProgress{std::chrono::milliseconds(0),
                                                  std::chrono::milliseconds(200)};

// A run's progress as every front end shows it: the counts of folders and files so far and the
// folder being read, drawn when the timing says so. A display only draws; the clock is the
// steady clock unless a test gives its own.
class PacedProgress : public listing::RunObserver {
public:
    explicit PacedProgress(ProgressTiming timing, Clock clock = {});

    void FolderEntered(const std::string& folder) override;
    void FileListed(const std::string& path) override;

    std::size_t Folders() const noexcept { return m_folders; }
    std::size_t Files() const noexcept { return m_files; }
    const std::string& Folder() const noexcept { return m_folder; }
    bool WasShown() const noexcept { return m_shown; }

protected:
    // Shows the counts of now.
    virtual void Draw() = 0;
    // The next count draws at once, whatever the timing: the display was wiped.
    void DrawNextAtOnce() noexcept { m_drawNext = true; }

private:
    void Paced();

    ProgressTiming m_timing;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::size_t m_folders = 0;
    std::size_t m_files = 0;
    std::string m_folder;
    bool m_shown = false;
    bool m_drawNext = false;
};

} // namespace quaverly::frontend
