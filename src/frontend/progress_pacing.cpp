#include "frontend/progress_pacing.h"

namespace quaverly::frontend {

PacedProgress::PacedProgress(ProgressTiming timing, Clock clock)
    : m_timing(timing),
      m_clock(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      m_start(m_clock()), m_lastDraw(m_start) {}

void PacedProgress::FolderEntered(const std::string& folder) {
    ++m_folders;
    m_folder = folder;
    Paced();
}

void PacedProgress::FileListed(const std::string&) {
    ++m_files;
    Paced();
}

void PacedProgress::Paced() {
    // A cancelled run is ending: nothing more to show.
    if (CancelRequested()) {
        return;
    }
    const auto now = m_clock();
    if (!m_shown ? now - m_start < m_timing.showAfter
                 : !m_drawNext && now - m_lastDraw < m_timing.every) {
        return;
    }
    m_lastDraw = now;
    m_shown = true;
    m_drawNext = false;
    Draw();
}

} // namespace quaverly::frontend
