#pragma once

#include "frontend/message_box.h"
#include "listing/listing_run.h"

#include <cstddef>
#include <optional>
#include <string>

namespace quaverly::frontend {

// A box the dialog shows: its text, its icon and its caption (empty: the application's name).
struct RunMessage {
    std::string text;
    MessageIcon icon = MessageIcon::None;
    std::string caption;
};

// The folder browser's title.
inline constexpr const char* kChooserTitle = "Select Folder";
// The box, before the failure's own, when the listing file could not be created.
inline constexpr const char* kListingNotCreatedText = "error";
inline constexpr const char* kListMadeText = "MP3 File list made";
inline constexpr const char* kRunCaption = "Quaverly";
inline constexpr const char* kCatalogueMadeText = "MP3 catalogue made";
// The first line of the box for a failure that ended a command.
inline constexpr const char* kCommandFailureText = "The command could not be completed.";
// Failures named one by one in the box; the rest are counted.
inline constexpr std::size_t kFailuresShown = 10;

// Whether the box that ends a run names where the page went: for a folder that came from a
// file manager, whose user has not seen where runs put their page.
enum class SayWhere { No, Yes };

// What the user is told after a run: nothing when no folder was chosen; "MP3 File list made"
// after a complete run; the same with the folders and files that could not be read after an
// incomplete one; that the page is incomplete after a cancelled one; and why the page could not
// be written after a failed one.
std::optional<RunMessage> MessageForRun(const listing::RunResult& result,
                                        SayWhere where = SayWhere::No);

// What the user is told after a catalogue run, whose page opens in the browser by itself:
// nothing when it opened after a complete run; where the page is, why it did not open
// (`openFailure`) and what could not be read, as far as these apply, after a run that wrote
// it; that it is incomplete and was not opened after a cancelled one; why it could not be
// written after a failed one.
std::optional<RunMessage> MessageForCatalogue(const listing::RunResult& result,
                                              const std::optional<std::string>& openFailure);

// The box for a failure that ended a command: a generic line, then the reason.
RunMessage MessageForFailure(const std::string& reason);

// The progress window's text: the folder being read and the count of files so far.
std::string ProgressText(const std::string& folder, std::size_t files);

} // namespace quaverly::frontend
