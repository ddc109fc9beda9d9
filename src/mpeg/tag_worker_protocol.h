#pragma once

// What the program and its tag helper say to each other over the helper's standard input and
// output. Both ends are built from this source, so the layout is the machine's own.
//
// The helper opens no file: the program sends the bytes of the file that the ID3 tag library
// reads, and the helper asks for more when the library reads elsewhere.

#include <cstdint>

namespace quaverly::mpeg {

inline constexpr const char* kTagWorkerProgram = "quaverly-tag-worker";

// A request is a TagRequestHeader, `pathLength` bytes of the path, then `extentCount` times a
// TagRequestExtent followed by its bytes of the file, in file order. Runs of zeros, which the
// library reads through one by one in a file of silence or an unfinished download, travel as
// their length alone.
struct TagRequestHeader {
    std::uint32_t pathLength = 0;
    std::uint32_t extentCount = 0;
    std::int64_t fileSize = 0;
};

// `length` bytes of the file at `offset`; they follow unless they are all zeros.
struct TagRequestExtent {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::int32_t zeros = 0;
    std::int32_t reserved = 0;
};

inline constexpr std::uint32_t kMaxRequestPath = 1U << 20;
inline constexpr std::uint32_t kMaxRequestExtents = 1U << 16;
inline constexpr std::int64_t kMaxRequestBytes = std::int64_t{1} << 30;

enum class TagAnswerStatus : std::int32_t {
    Measured = 0,   // bytes is the library's answer
    NeedsBytes = 1, // the library read bytes that were not sent: missingOffset, missingLength
};

struct TagAnswer {
    std::int64_t bytes = 0;
    TagAnswerStatus status = TagAnswerStatus::Measured;
    std::int32_t reserved = 0;
    std::int64_t missingOffset = 0;
    std::int64_t missingLength = 0;
};

} // namespace quaverly::mpeg
