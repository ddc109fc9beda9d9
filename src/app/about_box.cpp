#include "app/about_box.h"

#include "app/resources.h"
#include "resource.h"

namespace quaverly {

wxIMPLEMENT_CLASS(CAboutBox, wxDialog);

CAboutBox::CAboutBox() {
    app::LoadDialogTemplate(*this, nullptr, resource::kAboutBoxDialog);
}

} // namespace quaverly
