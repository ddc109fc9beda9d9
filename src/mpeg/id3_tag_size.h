#pragma once

#include <cstdint>

class ID3_Reader;

namespace quaverly::mpeg {

// How many bytes the ID3 tag library counts in front of the audio: the ID3v2 tags at the start
// and the zero bytes that follow them. 0 when there is no tag. The library reads only through
// `reader`, which it leaves at an arbitrary position.
std::int64_t Id3v2PrependedBytes(ID3_Reader& reader);

} // namespace quaverly::mpeg
