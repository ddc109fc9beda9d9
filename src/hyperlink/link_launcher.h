#pragma once

#include "frontend/message_box.h"
#include "platform/desktop/desktop.h"

#include <string>

namespace quaverly {

// Opens a link target (a URL or a document name) the way the user's desktop opens it. When the
// desktop refuses, the program registered for ".htm" documents is run with the target instead,
// whatever kind of target it is. Returns the launch result: above 32 the target was opened,
// otherwise a failure code for ReportLaunchError. The show command reaches whichever launch is
// made unchanged.
int OpenLinkTarget(const std::string& target, int showCommand, platform::Desktop& desktop);
int OpenLinkTarget(const std::string& target, int showCommand);

// The registered open command up to its placeholder: a quoted "%1" goes with its quotes, and
// whatever follows the placeholder goes too. Without a placeholder the whole command stays.
std::string CommandBeforePlaceholder(const std::string& command);

// Reads the default value of a key under the class root into `value` and returns 0; or returns
// the error number of opening the key and leaves `value` alone. `value` may be `subKey` itself.
long ReadRegistryDefault(const std::string& subKey, std::string& value, platform::Desktop& desktop);

// The text for a launch's failure code, as the shell's failures have always read.
std::string DescribeLaunchError(int code);

// Tells the user why a link did not open: "Can't open link:", an empty line, then the text for
// the failure code, in an exclamation box.
void ReportLaunchError(int code, frontend::MessageBoxService& boxes);

} // namespace quaverly
