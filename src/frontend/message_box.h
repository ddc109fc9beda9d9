#pragma once

#include <string>

namespace quaverly::frontend {

enum class MessageIcon {
    None,
    Information,
    Exclamation,
    Error,
};

// The application's message box: modal, one OK button, captioned with the application's name.
// Each dialog supplies its toolkit's; the tests supply their own.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;

    virtual void Show(const std::string& text, MessageIcon icon) = 0;
    // The same under a caption of its own; an empty one is the application's name. A box that
    // has no caption to choose shows it as Show does.
    virtual void ShowCaptioned(const std::string& /*caption*/, const std::string& text,
                               MessageIcon icon) {
        Show(text, icon);
    }
};

} // namespace quaverly::frontend
