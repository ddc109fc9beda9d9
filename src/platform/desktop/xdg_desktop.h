#pragma once

#include "platform/desktop/desktop.h"

#include <optional>
#include <string>

namespace quaverly::platform {

// The desktop of a freedesktop.org (XDG) session: GIO opens targets with their default
// handlers, mimeapps.list and the desktop entries stand in for the class root, and command
// lines are started with posix_spawnp. The XDG directories are read from the environment on
// every lookup; GIO reads them once, when it is first used.
class XdgDesktop final : public Desktop {
public:
    int OpenTarget(const std::string& target, int showCommand) override;
    ClassValue ReadClassDefault(const std::string& key) override;
    int RunCommandLine(const std::string& commandLine, int showCommand) override;
};

namespace xdg {

// Whether a target begins with a URI scheme (RFC 3986: a letter, then letters, digits, "+",
// "-" or ".", then ":"). A target without one is a document name.
bool HasUriScheme(const std::string& target);

// The launch result for an errno value from starting a program.
int LaunchCodeForSpawnError(int error);

} // namespace xdg

} // namespace quaverly::platform
