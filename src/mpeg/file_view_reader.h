#pragma once

#include "mpeg/file_view.h"
#include "platform/file_error.h"

#include <id3/reader.h>

#include <cstdint>
#include <optional>

namespace quaverly::mpeg {

// Feeds the ID3 tag library from the analyser's FileView. It behaves, call for call, like the
// library's own reader of a file stream opened on the path: reading past the end, or peeking at
// it, puts the reader into a failed state in which positions read as -1 and seeks do nothing,
// until the library seeks again. The library's answers therefore match those it gives for the
// path, while the bytes come from memory instead of a seek and a read per call.
//
// A failed read of the file is kept (Failure()) and shows the library a failed stream, so no
// exception travels through the library's code.
//
// The library's reader base has a public non-virtual destructor; nothing here deletes through it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FileViewReader final : public ID3_Reader {
public:
    explicit FileViewReader(FileView& view);

    void close() override {}
    pos_type getBeg() override { return 0; }
    pos_type getEnd() override;
    pos_type getCur() override;
    pos_type setCur(pos_type pos) override;
    int_type peekChar() override;
    size_type readChars(char_type buf[], size_type len) override;
    size_type readChars(char buf[], size_type len) override;

    const std::optional<platform::FileError>& Failure() const noexcept { return m_failure; }

private:
    // The stream's check before each operation: any earlier end or failure makes it fail.
    bool Usable();

    FileView& m_view;
    std::int64_t m_end; // the view's size, kept below 4 GiB - 1 (positions are 32-bit here)
    std::int64_t m_cur = 0;
    bool m_atEof = false;  // the stream's end-of-file state
    bool m_failed = false; // the stream's failure state
    std::optional<platform::FileError> m_failure;
};
#pragma GCC diagnostic pop

} // namespace quaverly::mpeg
