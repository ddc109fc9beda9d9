#pragma once

#include "frontend/message_box.h"

#include <wx/string.h>
#include <wx/window.h>

#include <string>
#include <string_view>

namespace quaverly {

// The application's message box: modal over its owner, captioned with the application's name
// (the executable's base name). wxGTK would leave the caption empty if not given one.
class AppMessageBox final : public frontend::MessageBoxService {
public:
    explicit AppMessageBox(wxWindow* owner = nullptr) : m_owner(owner) {}
    void Show(const std::string& text, frontend::MessageIcon icon) override;
    void ShowCaptioned(const std::string& caption, const std::string& text,
                       frontend::MessageIcon icon) override;

private:
    wxWindow* m_owner;
};

// Text for a window, from bytes that the file system may have given in any encoding: valid
// UTF-8 as it stands, each byte that is not part of a valid sequence as U+FFFD. (wx turns a
// string with one invalid byte into an empty one.)
wxString DisplayString(std::string_view bytes);

// The caption of every box the application shows.
wxString ApplicationName();

// The wx style bits of a message icon.
long MessageIconStyle(frontend::MessageIcon icon);

} // namespace quaverly
