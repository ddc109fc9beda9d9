#pragma once

#include "mpeg/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quaverly::mpeg {

// A picture that a tag holds (APIC, v2.2 PIC), as the fields in front of its image tell it:
// the image itself is never read.
struct TagPicture {
    int type = 0;         // the picture type byte: 3 is the front cover
    std::string typeName; // "front cover", ...: "other" for 0, "" for a type beyond the list
    std::string mime;     // "image/jpeg"; v2.2's format "JPG" as "image/jpeg", "PNG" "image/png"
    // The image's bytes; -1 when the fields in front of it do not tell: a description that does
    // not end within kPictureFieldsBytes, or an unsynchronised v2.4 frame without the length
    // of its data.
    std::int64_t bytes = 0;
};

// The fields of a song that its tags give, as valid UTF-8; "" for a field they do not give.
struct TagFields {
    std::string artist; // TPE1, or TPE2 (band) where there is no TPE1
    std::string album;
    std::string title;
    std::string track; // as the tag writes it: "3", "3/12"
    // v2.4's recording time (TDRC) where it starts with 4 digits, else TYER, else the release
    // time (TDRL), where some writers put the year of v2.4.
    std::string year;
    std::string genre; // by name: "(13)" and "13" are "Pop" (id3_genres.h)
    // The front cover, or else the first picture.
    std::optional<TagPicture> cover;
    // The tags that gave the fields, joined by "+": "ID3v2.3", "ID3v2.4+ID3v1.1"; "" for none.
    std::string source;

    bool Empty() const noexcept;
};

// What a hostile tag may cost: a text frame is read up to this many bytes of its body, and a
// picture frame up to kPictureFieldsBytes, in which its type and description must end (a
// picture whose MIME type does not end there is left out). v2.4's several values of a text
// frame are joined by " / ".
inline constexpr std::size_t kMostTextBytes = 64 * 1024;
inline constexpr std::size_t kPictureFieldsBytes = 1024;

// The fields of the ID3v2 tag (v2.2, v2.3 or v2.4) whose header is at `offset`, its size as
// that header states; nothing when no such tag is there. The frames are walked by their headers
// and only those of the fields are read. The walk ends at the padding, at a frame header that is
// not one (a bad id, size 0, a size past the tag's end), and at the end of the tag or of the
// source. Compressed and encrypted frames are left out. A v2.4 frame size that some writers
// wrote as a plain number, not syncsafe, is read so where the syncsafe reading cannot be right
// or ends the frame on no frame and the plain one does. Throws what the source throws.
TagFields ReadId3v2Fields(ByteSource& source, std::int64_t offset);

// The fields of the ID3v1 or v1.1 tag in the 128 bytes before `end`; nothing when they do not
// start with "TAG". Throws what the source throws.
TagFields ReadId3v1Fields(ByteSource& source, std::int64_t end);

// The fields of a file: those of the ID3v2 tags at its start, one behind the other (some
// programs put a tag of their own in front of the one that was there), each filling the fields
// that the tags in front of it leave empty; then the ID3v1 tag before `id3v1End` fills those
// that are still empty. Throws what the source throws.
TagFields ReadTagFields(ByteSource& source, std::int64_t id3v1End);

} // namespace quaverly::mpeg
