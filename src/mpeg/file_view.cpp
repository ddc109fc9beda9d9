#include "mpeg/file_view.h"

#include "mpeg/frame_header.h"

#include <algorithm>
#include <cstring>

namespace quaverly::mpeg {

FileView::FileView(std::size_t blockSize)
    : m_blockSize(std::max<std::size_t>(blockSize, 16)), m_window(m_blockSize + 3 + kReadSlack),
      m_data(m_window.data()), m_nextRead(std::min(kFirstRead, m_blockSize)) {}

void FileView::Attach(platform::InputFile& file, std::int64_t size) {
    m_file = &file;
    m_size = std::max<std::int64_t>(size, 0);
    m_base = 0;
    m_length = 0;
    m_wordsEnd = 0;
    m_nextRead = std::min(kFirstRead, m_blockSize);
}

void FileView::Detach() noexcept {
    m_file = nullptr;
    m_size = 0;
    m_base = 0;
    m_length = 0;
    m_wordsEnd = 0;
}

void FileView::Load(std::int64_t offset) {
    // Forget the old window first: if the read throws, no stale bytes stay behind.
    m_base = offset;
    m_length = 0;
    m_wordsEnd = offset;
    m_data = m_window.data() + ReadLead(static_cast<std::uint64_t>(offset), m_window.data());
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(m_size - offset, static_cast<std::int64_t>(m_nextRead)));
    m_nextRead = std::min(m_nextRead * 2, m_blockSize);
    // A block that lies in a hole of a sparse file, as a download not yet finished leaves
    // them, reads as the zeros it holds without copying them from the kernel.
    const bool hole = m_file->DataFrom(static_cast<std::uint64_t>(offset)) >=
                      static_cast<std::uint64_t>(offset) + wanted;
    const std::size_t got =
        hole ? 0 : m_file->ReadAt(static_cast<std::uint64_t>(offset), m_data, wanted);
    std::memset(m_data + got, 0, wanted - got + 3);
    m_length = static_cast<std::int64_t>(wanted);
    const bool reachesEnd = offset + m_length >= m_size;
    m_wordsEnd = reachesEnd ? offset + m_length : offset + m_length - 3;
}

FileView::Span FileView::BufferedWords(std::int64_t offset) const {
    const platform::InputFile::Buffered buffered =
        m_file->BufferedAt(static_cast<std::uint64_t>(offset));
    auto count = static_cast<std::int64_t>(
        std::min<std::uint64_t>(buffered.count, static_cast<std::uint64_t>(m_size - offset)));
    // Up to the end of the file the zeros behind the bytes complete the last words; short of
    // it, a word needs its three following bytes in memory too.
    if (offset + count < m_size) {
        count -= 3;
    }
    return count > 0 ? Span{buffered.data, count} : Span{nullptr, 0};
}

void FileView::Hold(std::int64_t offset) {
    if (offset < m_size && !HoldsWordAt(offset) &&
        m_file->BufferedAt(static_cast<std::uint64_t>(offset)).count == 0) {
        Load(offset);
    }
}

void FileView::Copy(std::int64_t offset, unsigned char* out, std::size_t count) {
    while (count > 0) {
        if (offset >= m_size) {
            std::memset(out, 0, count);
            return;
        }
        if (offset >= m_base && offset < m_base + m_length) {
            const auto step = std::min(count, static_cast<std::size_t>(m_base + m_length - offset));
            std::memcpy(out, m_data + (offset - m_base), step);
            out += step;
            offset += static_cast<std::int64_t>(step);
            count -= step;
            continue;
        }
        if (const platform::InputFile::Buffered buffered =
                m_file->BufferedAt(static_cast<std::uint64_t>(offset));
            buffered.count > 0) {
            const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(
                {count, buffered.count, static_cast<std::uint64_t>(m_size - offset)}));
            std::memcpy(out, buffered.data, step);
            out += step;
            offset += static_cast<std::int64_t>(step);
            count -= step;
        } else if (count >= m_nextRead) {
            // A large read (a picture in a tag) goes straight to the caller's buffer.
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(m_size - offset, static_cast<std::int64_t>(count)));
            const auto at = static_cast<std::uint64_t>(offset);
            const bool hole = m_file->DataFrom(at) >= at + wanted;
            const std::size_t got = hole ? 0 : m_file->ReadAt(at, out, wanted);
            std::memset(out + got, 0, count - got);
            return;
        } else {
            Load(offset);
        }
    }
}

FileView::Span FileView::WordsFrom(std::int64_t offset) {
    if (offset >= m_size) {
        return {nullptr, 0};
    }
    if (!HoldsWordAt(offset)) {
        if (const Span buffered = BufferedWords(offset); buffered.count > 0) {
            return buffered;
        }
        Load(offset);
    }
    return {m_data + (offset - m_base), m_wordsEnd - offset};
}

std::int64_t FileView::DataFrom(std::int64_t offset) const {
    if (offset >= m_size) {
        return m_size;
    }
    const std::uint64_t data = m_file->DataFrom(static_cast<std::uint64_t>(offset));
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(data, static_cast<std::uint64_t>(offset)),
                                static_cast<std::uint64_t>(m_size)));
}

std::uint32_t FileView::WordAt(std::int64_t offset) {
    if (offset >= m_size) {
        return 0;
    }
    if (!HoldsWordAt(offset)) {
        if (const Span buffered = BufferedWords(offset); buffered.count > 0) {
            return ReadBigEndian32(buffered.data);
        }
        Load(offset);
    }
    return ReadBigEndian32(m_data + (offset - m_base));
}

} // namespace quaverly::mpeg
