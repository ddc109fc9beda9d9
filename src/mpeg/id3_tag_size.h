#pragma once

#include <cstdint>
#include <optional>

class ID3_Reader;

namespace quaverly::mpeg {

class FileView;
class PrereadFile;

// How many bytes the ID3 tag library counts in front of the audio: the ID3v2 tags at the start
// and the zero bytes that follow them. 0 when there is no tag. The library reads only through
// `reader`, which it leaves at an arbitrary position.
std::int64_t Id3v2PrependedBytes(ID3_Reader& reader);

// The same count for the file `view` shows. A read of the file that fails throws its
// platform::FileError once the library is done: the library itself only sees an early end.
std::int64_t Id3v2PrependedBytes(FileView& view);

// The library's count, worked out from the tag headers alone where they settle it; nullopt where
// only the library can tell.
//
// The library skips each ID3v2 tag at the start by the size its header states, whatever its
// frames hold: its parse of a tag ends by setting the position to the end of the tag's window,
// which it sets from the header before it reads a frame. Behind the last tag it counts the
// zeros, and a 0xFF followed by three zeros and the zeros behind them. So the count follows
// from the headers and the bytes behind the tags, when each header in the chain is of version
// 2.2, 2.3 or 2.4 without an extended header (whose parse moves the position by what it holds),
// each tag ends before the file does, the zeros behind them end before it too (the library's
// reader has its own ways at the end of a file), and the file is below 4 GiB; a chain of more
// than 16 tags or more than 1 MiB of zeros is left to the library too. For such a file
// the count is the library's, when the library gives one at all: a damaged frame that crashes it
// does not change where its tags end. Throws platform::FileError.
std::optional<std::int64_t> PrependedBytesFromHeaders(FileView& view);

// Whether the bytes `file` holds in memory show that the headers do not settle its count, so
// that the library will be asked. false also when they cannot tell without reading further.
bool HeadersLeaveItToTheLibrary(const PrereadFile& file);

} // namespace quaverly::mpeg
