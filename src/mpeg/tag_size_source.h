#pragma once

#include "mpeg/file_view.h"
#include "mpeg/preread_file.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quaverly::mpeg {

// How many bytes a scan reads between two questions of its cancel check.
inline constexpr std::int64_t kCancelCheckBytes = 16 * 1024 * 1024;

// The ID3v2 tag size of one file, and why it is only the size its header states when the ID3
// tag library could not be asked.
struct TagSize {
    std::int64_t bytes = 0;
    std::optional<std::string> failure;
};

// Where the analyser gets the ID3v2 tag size of a file from, when not from the ID3 tag library
// in its own process.
class TagSizeSource {
public:
    virtual ~TagSizeSource() = default;

    // Asked while a source waits; true ends the wait.
    using CancelCheck = std::function<bool()>;

    // A file whose size will be asked for soon, after those handed in before it.
    virtual void Prefetch(const std::string& /*path*/, const PrereadFile& /*file*/,
                          const CancelCheck& /*cancelled*/) {}

    // The tag size of `file`, open at `path`, which `view` shows. Throws platform::FileError
    // when the file cannot be read, and when `cancelled` ends a wait (cause Cancelled).
    virtual TagSize PrependedBytes(const std::string& path, PrereadFile& file, FileView& view,
                                   const CancelCheck& cancelled) = 0;
};

// The size an ID3v2 header states for its tag: the 10 bytes of the header and its size field,
// or 0 when the view does not begin with an ID3v2 header. Throws platform::FileError.
std::int64_t StatedTagSize(FileView& view);

} // namespace quaverly::mpeg
