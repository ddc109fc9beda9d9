#pragma once

// What the program and its tag helper say to each other over the helper's standard input and
// output. Both ends are built from this source, so the layout is the machine's own.

#include <cstdint>

namespace quaverly::mpeg {

inline constexpr const char* kTagWorkerProgram = "quaverly-tag-worker";

// A request is a TagRequestHeader followed by `pathLength` bytes of the path.
struct TagRequestHeader {
    std::uint32_t pathLength = 0;
};

inline constexpr std::uint32_t kMaxRequestPath = 1U << 20;

enum class TagAnswerStatus : std::int32_t {
    Measured = 0,   // bytes is the library's answer
    NotOpened = 1,  // the file could not be opened: no tag, as the library says too
    ReadFailed = 2, // a read of the file failed with systemError
};

struct TagAnswer {
    std::int64_t bytes = 0;
    TagAnswerStatus status = TagAnswerStatus::Measured;
    std::int32_t systemError = 0;
};

} // namespace quaverly::mpeg
