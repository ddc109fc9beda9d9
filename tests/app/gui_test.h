#pragma once

// Support for tests that need a wx application and a display (Xvfb in CI).

#include <wx/window.h>

#include <functional>

class wxApp;

namespace quaverly::testing {

// The application object of the test program; each GUI test program defines it.
wxApp* CreateGuiTestApp();

// Lets the toolkit run until `done` holds, or gives up after a few seconds and returns false.
// The deadline only keeps a broken test from hanging; no test depends on how long this takes.
bool RunUntil(const std::function<bool()>& done);

// Lets the toolkit handle what is queued now.
void FlushEvents();

// The screen point at the centre of a window, for the input simulator.
wxPoint ScreenCentre(const wxWindow& window);

// While one lives, a modal dialog that no test expects is shown for real instead of failing the
// test: for a test that drives a native dialog with real input.
class RealModalDialogs {
public:
    RealModalDialogs();
    ~RealModalDialogs();
    RealModalDialogs(const RealModalDialogs&) = delete;
    RealModalDialogs& operator=(const RealModalDialogs&) = delete;
};

} // namespace quaverly::testing
