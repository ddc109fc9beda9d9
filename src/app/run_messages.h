#pragma once

#include "listing/listing_run.h"
#include "platform/message_box.h"

#include <optional>
#include <string>

namespace quaverly::app {

// The box that closes a listing run, shown with the caption "Quaverly".
struct RunMessage {
    std::string text;
    platform::MessageIcon icon = platform::MessageIcon::None;
};

inline constexpr const char* kListMadeText = "MP3 File list made";
inline constexpr const char* kRunCaption = "Quaverly";
// Failures named one by one in the box; the rest are counted.
inline constexpr std::size_t kFailuresShown = 10;

// What the user is told after a run: nothing when no folder was chosen, or when the run failed
// (the failure has a box of its own); "MP3 File list made" after a complete run; the same with
// the folders and files that could not be read after an incomplete one; and that the page is
// incomplete after a cancelled one.
std::optional<RunMessage> MessageForRun(const listing::RunResult& result);

// The progress window's text: the folder being read and the count of files so far.
std::string ProgressText(const std::string& folder, std::size_t files);

} // namespace quaverly::app
