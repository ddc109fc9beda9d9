#pragma once

#include "winapp/win32_dialog.h"

namespace quaverly {

// The About box, from template 100: the icon, the version and a notice. OK or Esc ends it.
class CAboutBox final : public win32::Dialog {
public:
    explicit CAboutBox(HWND owner = nullptr);
};

} // namespace quaverly
