#pragma once

#include "hyperlink/app_message_box.h"
#include "platform/folder_chooser.h"
#include "platform/message_box.h"

#include <wx/window.h>

#include <optional>
#include <string>

namespace quaverly::app {

// The folder browser: a directory dialog owned by the main dialog, so that the main dialog
// cannot start a second run while the first one's browser is open.
class DirDialogChooser final : public platform::FolderChooser {
public:
    explicit DirDialogChooser(wxWindow* owner) : m_owner(owner) {}
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    wxWindow* m_owner;
};

// What the application shows for a failure that ended a command: a generic text, the reason,
// and the application's name as caption.
void ShowCommandFailure(wxWindow* owner, const std::string& reason);

// The generic first line of that box.
inline constexpr const char* kCommandFailureText = "The command could not be completed.";

} // namespace quaverly::app
