#include "winapp/about_box.h"

#include "resource.h"

namespace quaverly {

CAboutBox::CAboutBox(HWND owner) : win32::Dialog(resource::kAboutBoxDialog, owner) {}

} // namespace quaverly
