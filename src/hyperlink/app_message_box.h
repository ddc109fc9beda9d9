#pragma once

#include "platform/message_box.h"

#include <wx/string.h>
#include <wx/window.h>

#include <string>

namespace quaverly {

// The application's message box: modal over its owner, captioned with the application's name
// (the executable's base name). wxGTK would leave the caption empty if not given one.
class AppMessageBox final : public platform::MessageBoxService {
public:
    explicit AppMessageBox(wxWindow* owner = nullptr) : m_owner(owner) {}
    void Show(const std::string& text, platform::MessageIcon icon) override;

private:
    wxWindow* m_owner;
};

// The caption of every box the application shows.
wxString ApplicationName();

// The wx style bits of a message icon.
long MessageIconStyle(platform::MessageIcon icon);

} // namespace quaverly
