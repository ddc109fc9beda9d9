#pragma once

#include <string>
#include <vector>

namespace quaverly::platform {

// Starts a program with these arguments (the first names the program, searched in PATH when it
// has no slash) and returns at once. Returns 0 when the program runs, otherwise the errno value
// that stopped it, including one from exec. The child is reaped when it ends.
int SpawnDetached(const std::vector<std::string>& arguments);

} // namespace quaverly::platform
