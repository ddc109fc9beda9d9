#pragma once

#include "platform/file_error.h"
#include "platform/file_system.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quaverly::listing {

// Buffers the page's fragments and hands them to the listing file in large writes.
//
// The first failed write is kept: it is thrown then, and again by every later call, so that a
// page cut short can never be taken for a whole one.
class PageWriter {
public:
    explicit PageWriter(std::unique_ptr<platform::OutputFile> file);
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    void Write(std::string_view bytes);
    // Text from the file system, with & < > " escaped.
    void WriteEscaped(std::string_view text);
    // Writes what is buffered and closes the file. Throws the write's or the close's failure.
    void Close();

    bool Failed() const noexcept { return m_failure.has_value(); }
    const std::optional<platform::FileError>& Failure() const noexcept { return m_failure; }

private:
    void ThrowIfFailed() const;
    void FlushIfFull();
    void Flush();

    static constexpr std::size_t kFlushSize = 64 * 1024;

    std::unique_ptr<platform::OutputFile> m_file;
    std::string m_buffer;
    std::optional<platform::FileError> m_failure;
};

} // namespace quaverly::listing
