#pragma once

#include "platform/file_system.h"

#include <memory>

namespace quaverly::platform {

// The system calls that put a new file in the place of an old one, on one platform. The new
// file is written under a temporary name beside the old one.
class ReplacementSteps {
public:
    virtual ~ReplacementSteps() = default;

    // Each throws FileError.
    virtual void Write(const char* data, std::size_t size) = 0;
    // The new file's bytes to the device (fsync, FlushFileBuffers).
    virtual void Sync() = 0;
    virtual void Close() = 0;
    // The new file renamed over the old name.
    virtual void Rename() = 0;
    // The rename to the device: the folder synced, where the rename itself did not write
    // through.
    virtual void SyncFolder() = 0;
    // Closes the new file where it is still open and removes it. Never throws.
    virtual void Discard() noexcept = 0;
};

// The file that CreateReplacement gives, over one platform's steps. Close() takes them in the
// one order after which a crash at any moment leaves the old file or the whole new one, never
// an empty or a partial file under the old name: the new file synced and closed, renamed, the
// folder synced. A failure before the rename, or the file destroyed before Close(), removes the
// new file and leaves the old one as it was; a failed sync of the folder, when the new file is
// in place already, throws FileError with cause NotDurable.
std::unique_ptr<OutputFile> MakeReplacementFile(std::unique_ptr<ReplacementSteps> steps);

} // namespace quaverly::platform
