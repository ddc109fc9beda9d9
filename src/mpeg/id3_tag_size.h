#pragma once

#include <cstdint>

class ID3_Reader;

namespace quaverly::mpeg {

class FileView;

// How many bytes the ID3 tag library counts in front of the audio: the ID3v2 tags at the start
// and the zero bytes that follow them. 0 when there is no tag. The library reads only through
// `reader`, which it leaves at an arbitrary position.
std::int64_t Id3v2PrependedBytes(ID3_Reader& reader);

// The same count for the file `view` shows. A read of the file that fails throws its
// platform::FileError once the library is done: the library itself only sees an early end.
std::int64_t Id3v2PrependedBytes(FileView& view);

} // namespace quaverly::mpeg
