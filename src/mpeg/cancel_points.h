#pragma once

#include "mpeg/tag_size_source.h"
#include "platform/file_error.h"

#include <cstdint>
#include <string>

namespace quaverly::mpeg {

// The points of a walk through a file at which its cancel check is asked: one every
// kCancelCheckBytes from where the walk starts.
class CancelPoints {
public:
    CancelPoints(const std::string& path, const TagSizeSource::CancelCheck& cancelled,
                 std::int64_t from)
        : m_path(path), m_cancelled(cancelled), m_next(from + kCancelCheckBytes) {}

    // Throws platform::FileError (Cancelled) when the walk, at `position`, has passed a point
    // and the check says to stop.
    void Pass(std::int64_t position) {
        if (position < m_next) {
            return;
        }
        m_next = position + kCancelCheckBytes;
        if (m_cancelled && m_cancelled()) {
            throw platform::FileError(platform::FileErrorCause::Cancelled, 0, "read", m_path);
        }
    }

private:
    const std::string& m_path;
    const TagSizeSource::CancelCheck& m_cancelled;
    std::int64_t m_next;
};

} // namespace quaverly::mpeg
