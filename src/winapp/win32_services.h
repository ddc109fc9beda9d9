#pragma once

#include "listing/run_report.h"
#include "platform/folder_chooser.h"
#include "platform/message_box.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace quaverly::win32 {

// The shell's folder browser, owned by the main dialog so that no second run can start while it
// is open. It starts at the desktop and offers only folders of the file system.
class ShellFolderBrowser final : public platform::FolderChooser {
public:
    explicit ShellFolderBrowser(HWND owner) : m_owner(owner) {}
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    HWND m_owner;
};

// The application's message box over `owner`, captioned with the application's name, or with
// `caption` when one is given.
class WindowMessageBox final : public platform::MessageBoxService {
public:
    explicit WindowMessageBox(HWND owner, std::string caption = {})
        : m_owner(owner), m_caption(std::move(caption)) {}
    void Show(const std::string& text, platform::MessageIcon icon) override;

private:
    HWND m_owner;
    std::string m_caption;
};

// A long run's progress: once a run has taken a second, a small window over the dialog with the
// folder being read, the count of files so far and Cancel. Its messages are handled between
// files, so the dialog stays drawn and Cancel is heard.
class ListingProgress final : public listing::RunObserver {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kShowAfter{1000};
    static constexpr std::chrono::milliseconds kUpdateEvery{100};

    ListingProgress(HWND owner, Clock clock = {});
    ~ListingProgress() override;
    ListingProgress(const ListingProgress&) = delete;
    ListingProgress& operator=(const ListingProgress&) = delete;

    void FolderEntered(const std::string& folder) override;
    void FileListed(const std::string& path) override;
    bool CancelRequested() override;

    HWND Window() const noexcept { return m_window; }

private:
    void Update();
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_owner;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastUpdate;
    HWND m_window = nullptr;
    HWND m_text = nullptr;
    std::string m_folder;
    std::size_t m_files = 0;
    bool m_cancelled = false;
};

// The first line of the box for a failure that ended a command.
inline constexpr const char* kCommandFailureText = "The command could not be completed.";

} // namespace quaverly::win32
