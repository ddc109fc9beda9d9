#pragma once

namespace quaverly {

// The application: its start runs the main dialog modally, and the program ends with it.
class CListingApp {
public:
    // Runs the main dialog; always false, so that no message loop of the program's own follows.
    bool InitInstance();
};

} // namespace quaverly
