#include "mpeg/id3_tag_size.h"

#include <id3/tag.h>

namespace quaverly::mpeg {

std::int64_t Id3v2PrependedBytes(ID3_Reader& reader) {
    ID3_Tag tag;
    tag.Link(reader, ID3TT_ALL);
    const auto bytes = static_cast<std::int64_t>(tag.GetPrependedBytes());
    tag.Clear();
    return bytes;
}

} // namespace quaverly::mpeg
