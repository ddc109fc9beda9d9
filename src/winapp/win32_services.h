#pragma once

#include "frontend/folder_chooser.h"
#include "frontend/message_box.h"
#include "frontend/progress_pacing.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quaverly::win32 {

// The shell's folder browser, owned by the main dialog so that no second run can start while it
// is open. It starts at the desktop and offers only folders of the file system.
class ShellFolderBrowser final : public frontend::FolderChooser {
public:
    explicit ShellFolderBrowser(HWND owner) : m_owner(owner) {}
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    HWND m_owner;
};

// The application's message box over `owner`, captioned with the application's name, or with
// `caption` when one is given.
class WindowMessageBox final : public frontend::MessageBoxService {
public:
    explicit WindowMessageBox(HWND owner, std::string caption = {})
        : m_owner(owner), m_caption(std::move(caption)) {}
    void Show(const std::string& text, frontend::MessageIcon icon) override;
    void ShowCaptioned(const std::string& caption, const std::string& text,
                       frontend::MessageIcon icon) override;

private:
    HWND m_owner;
    std::string m_caption;
};

// A long run's progress: once a run has taken a second, a small window over the dialog with the
// folder being read, the count of files so far and Cancel. Its messages are handled between
// files, so the dialog stays drawn and Cancel is heard.
class ListingProgress final : public frontend::PacedProgress {
public:
    explicit ListingProgress(HWND owner, frontend::Clock clock = {});
    ~ListingProgress() override;
    ListingProgress(const ListingProgress&) = delete;
    ListingProgress& operator=(const ListingProgress&) = delete;

    bool CancelRequested() override { return m_cancelled; }

    HWND Window() const noexcept { return m_window; }

private:
    void Draw() override;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_owner;
    HWND m_window = nullptr;
    HWND m_text = nullptr;
    bool m_cancelled = false;
};

// The paths of files and folders dropped on a window, as the program carries names; the drop's
// memory is freed.
std::vector<std::string> DroppedPaths(HDROP drop);

// The arguments of a command line (the program's own, GetCommandLineW), without the program's
// name, as the program carries names. A backslash before a closing quote ends the argument, as a
// folder typed with its trailing backslash ("C:\My Music\") means, where the system's rules
// would take the quote into it.
std::vector<std::string> CommandLineArguments(const wchar_t* commandLine);

} // namespace quaverly::win32
