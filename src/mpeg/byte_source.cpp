#include "mpeg/byte_source.h"

#include "mpeg/file_view.h"

namespace quaverly::mpeg {

std::int64_t FileViewSource::Size() const {
    return m_view.Size();
}

void FileViewSource::Copy(std::int64_t offset, unsigned char* out, std::size_t count) {
    m_view.Copy(offset, out, count);
}

} // namespace quaverly::mpeg
