#pragma once

// Hands files to tag helpers ahead of their questions, as a run's read-ahead does.

#include "mpeg/preread_file.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_system.h"

#include <string>
#include <vector>

namespace quaverly::testing {

inline void Prefetch(mpeg::TagSizeSource& tags, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const mpeg::PrereadFile file(platform::SystemFileSystem().OpenForReading(path));
        tags.Prefetch(path, file, {});
    }
}

} // namespace quaverly::testing
