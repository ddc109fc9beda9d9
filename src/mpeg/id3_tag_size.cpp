#include "mpeg/id3_tag_size.h"

#include "mpeg/file_view_reader.h"

#include <id3/tag.h>

namespace quaverly::mpeg {

std::int64_t Id3v2PrependedBytes(ID3_Reader& reader) {
    ID3_Tag tag;
    tag.Link(reader, static_cast<flags_t>(ID3TT_ALL));
    const auto bytes = static_cast<std::int64_t>(tag.GetPrependedBytes());
    tag.Clear();
    return bytes;
}

std::int64_t Id3v2PrependedBytes(FileView& view) {
    FileViewReader reader(view);
    const std::int64_t bytes = Id3v2PrependedBytes(reader);
    // A read past the end is just that, as for the library's own reader.
    if (reader.Failure() && reader.Failure()->Cause() != platform::FileErrorCause::EndOfFile) {
        throw *reader.Failure();
    }
    return bytes;
}

} // namespace quaverly::mpeg
