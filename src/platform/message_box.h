#pragma once

#include <string>

namespace quaverly::platform {

enum class MessageIcon {
    None,
    Information,
    Exclamation,
    Error,
};

// The application's message box: modal, one OK button, captioned with the application's name.
// The dialog supplies the real one; the command-line tool and the tests supply their own.
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

// For front ends that report a run's outcome themselves, as a command line does.
class SilentMessageBox final : public MessageBoxService {
public:
    void Show(const std::string& /*text*/, MessageIcon /*icon*/) override {}
};

} // namespace quaverly::platform
