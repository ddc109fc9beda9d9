#include "mpeg/file_view_reader.h"

#include <algorithm>

namespace quaverly::mpeg {

namespace {

// 0xFFFFFFFF is how a failed stream reports its position, so the last usable end is one less.
constexpr std::int64_t kLargestEnd = 0xFFFF'FFFE;
constexpr ID3_Reader::pos_type kFailedPosition = 0xFFFF'FFFF;

} // namespace

FileViewReader::FileViewReader(FileView& view)
    : m_view(view), m_end(std::min(view.Size(), kLargestEnd)) {}

bool FileViewReader::Usable() {
    if (m_atEof || m_failed) {
        m_failed = true;
        return false;
    }
    return true;
}

ID3_Reader::pos_type FileViewReader::getCur() {
    if (!Usable()) {
        return kFailedPosition;
    }
    return static_cast<pos_type>(m_cur);
}

ID3_Reader::pos_type FileViewReader::setCur(pos_type pos) {
    m_atEof = false; // a seek clears the end-of-file state, not a failure
    if (Usable()) {
        m_cur = pos;
    }
    return pos;
}

ID3_Reader::pos_type FileViewReader::getEnd() {
    const pos_type cur = getCur();
    m_atEof = false;
    if (Usable()) {
        m_cur = m_end;
    }
    const pos_type end = getCur();
    setCur(cur);
    return end;
}

ID3_Reader::int_type FileViewReader::peekChar() {
    if (!Usable()) {
        return END_OF_READER;
    }
    if (m_cur >= m_end) {
        m_atEof = true;
        return END_OF_READER;
    }
    unsigned char byte = 0;
    try {
        m_view.Copy(m_cur, &byte, 1);
    } catch (const platform::FileError& error) {
        m_failure.emplace(error);
        m_failed = true;
        return END_OF_READER;
    }
    return byte;
}

ID3_Reader::size_type FileViewReader::readChars(char_type buf[], size_type len) {
    if (!Usable()) {
        return 0;
    }
    const std::int64_t available = std::max<std::int64_t>(m_end - m_cur, 0);
    const auto count = static_cast<size_type>(std::min<std::int64_t>(len, available));
    try {
        m_view.Copy(m_cur, buf, count);
    } catch (const platform::FileError& error) {
        m_failure.emplace(error);
        m_failed = true;
        return 0;
    }
    m_cur += count;
    if (count < len) {
        m_atEof = true;
        m_failed = true;
    }
    return count;
}

ID3_Reader::size_type FileViewReader::readChars(char buf[], size_type len) {
    return readChars(reinterpret_cast<char_type*>(buf), len);
}

} // namespace quaverly::mpeg
