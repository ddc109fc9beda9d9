#include "listing/page_writer.h"

#include "listing/html_format.h"

namespace quaverly::listing {

PageWriter::PageWriter(std::unique_ptr<platform::OutputFile> file) : m_file(std::move(file)) {
    m_buffer.reserve(kFlushSize + 4096);
}

PageWriter::~PageWriter() = default;

void PageWriter::Write(std::string_view bytes) {
    ThrowIfFailed();
    m_buffer.append(bytes);
    FlushIfFull();
}

void PageWriter::WriteEscaped(std::string_view text) {
    ThrowIfFailed();
    AppendEscaped(m_buffer, platform::ShownPath(text));
    FlushIfFull();
}

void PageWriter::Close() {
    ThrowIfFailed();
    Flush();
    try {
        m_file->Close();
    } catch (const platform::FileError& error) {
        m_failure = error;
        throw;
    }
}

void PageWriter::ThrowIfFailed() const {
    if (m_failure) {
        throw *m_failure;
    }
}

void PageWriter::FlushIfFull() {
    if (m_buffer.size() >= kFlushSize) {
        Flush();
    }
}

void PageWriter::Flush() {
    if (m_buffer.empty()) {
        return;
    }
    try {
        m_file->Write(m_buffer.data(), m_buffer.size());
    } catch (const platform::FileError& error) {
        m_failure = error;
        throw;
    }
    m_buffer.clear();
}

} // namespace quaverly::listing
