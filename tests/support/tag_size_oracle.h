#pragma once

#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/preread_file.h"
#include "mpeg/tag_worker_pool.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace quaverly::testing {

// For the file at `path`, where its tag headers settle the ID3 tag library's count, expects the
// library's own, asked of `pool` (a helper survives the frames that crash the library), to be
// the same. Returns whether the two were compared: the headers settled it and the library
// answered. The library is not asked for a file its headers do not settle.
inline bool ExpectHeadersGiveTheLibrarysCount(mpeg::TagWorkerPool& pool, const std::string& path) {
    std::unique_ptr<mpeg::PrereadFile> file;
    try {
        file = mpeg::PrereadFile::From(platform::SystemFileSystem().OpenForReading(path));
    } catch (const platform::FileError&) {
        return false; // nothing to count
    }
    mpeg::FileView view;
    view.Attach(*file, static_cast<std::int64_t>(file->Size()));
    bool compared = false;
    if (const std::optional<std::int64_t> settled = mpeg::PrependedBytesFromHeaders(view)) {
        EXPECT_FALSE(mpeg::HeadersLeaveItToTheLibrary(*file)) << path;
        const mpeg::TagSize library = pool.PrependedBytes(path, *file, view, {});
        if (!library.failure) {
            compared = true;
            EXPECT_EQ(*settled, library.bytes) << path;
        }
    }
    view.Detach();
    return compared;
}

} // namespace quaverly::testing
