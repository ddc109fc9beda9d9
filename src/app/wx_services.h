#pragma once

#include "app/app_message_box.h"
#include "frontend/folder_chooser.h"
#include "frontend/message_box.h"

#include <wx/dnd.h>
#include <wx/window.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quaverly::app {

// The folder browser: a directory dialog owned by the main dialog, so that the main dialog
// cannot start a second run while the first one's browser is open. It opens in the folder chosen
// last, the first time in `homeFolder`, and it gives only folders that were there: one that the
// dialog made for a name the user typed is taken away again, reported in `boxes`, and the
// dialog opens once more.
class DirDialogChooser final : public frontend::FolderChooser {
public:
    DirDialogChooser(wxWindow* owner, std::string homeFolder, frontend::MessageBoxService& boxes)
        : m_owner(owner), m_homeFolder(std::move(homeFolder)), m_boxes(boxes) {}
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    wxWindow* m_owner;
    std::string m_homeFolder;
    frontend::MessageBoxService& m_boxes;
    std::string m_lastChosen;
};

// The user's home folder, where the first folder browser of a run opens.
std::string HomeFolder();

// Takes files and folders dropped on a window, and hands their paths, as the file system spells
// them, to `dropped`, which says whether it takes them.
class FolderDropTarget final : public wxFileDropTarget {
public:
    using Dropped = std::function<bool(const std::vector<std::string>& paths)>;
    explicit FolderDropTarget(Dropped dropped) : m_dropped(std::move(dropped)) {}
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& names) override;

private:
    Dropped m_dropped;
};

} // namespace quaverly::app
