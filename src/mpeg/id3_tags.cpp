#include "mpeg/id3_tags.h"

#include "mpeg/frame_header.h"
#include "mpeg/id3_genres.h"
#include "mpeg/id3_text.h"
#include "mpeg/id3v2_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace quaverly::mpeg {

namespace {

// The fields a frame gives.
enum class Slot {
    Title,
    Artist,
    Band,
    Album,
    Track,
    Year,
    RecordingTime,
    ReleaseTime,
    Genre,
    Picture
};
constexpr std::size_t kTextSlots = 9;

// A frame id as the big-endian number of its four bytes; v2.2's three and a zero.
constexpr std::uint32_t FrameId(std::string_view id) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        number = number << 8 | (i < id.size() ? static_cast<unsigned char>(id[i]) : 0U);
    }
    return number;
}

struct WantedFrame {
    std::uint32_t v22; // v2.2's three-letter id; 0 where it has none
    std::uint32_t id;  // v2.3 and v2.4
    Slot slot;
};

constexpr std::array<WantedFrame, 10> kWantedFrames = {{
    {FrameId("TT2"), FrameId("TIT2"), Slot::Title},
    {FrameId("TP1"), FrameId("TPE1"), Slot::Artist},
    {FrameId("TP2"), FrameId("TPE2"), Slot::Band}, // the artist where the lead artist is missing
    {FrameId("TAL"), FrameId("TALB"), Slot::Album},
    {FrameId("TRK"), FrameId("TRCK"), Slot::Track},
    {FrameId("TYE"), FrameId("TYER"), Slot::Year},
    {0, FrameId("TDRC"), Slot::RecordingTime}, // v2.4's year: a time stamp that starts with it
    {0, FrameId("TDRL"), Slot::ReleaseTime},   // where some writers put it instead
    {FrameId("TCO"), FrameId("TCON"), Slot::Genre},
    {FrameId("PIC"), FrameId("APIC"), Slot::Picture},
}};

// The picture types, by their byte.
constexpr std::array<std::string_view, 21> kPictureTypes = {
    "other",                // 0
    "file icon",            // 1
    "other file icon",      // 2
    "front cover",          // 3
    "back cover",           // 4
    "leaflet page",         // 5
    "media",                // 6
    "lead artist",          // 7
    "artist",               // 8
    "conductor",            // 9
    "band",                 // 10
    "composer",             // 11
    "lyricist",             // 12
    "recording location",   // 13
    "during recording",     // 14
    "during performance",   // 15
    "movie screen capture", // 16
    "bright coloured fish", // 17
    "illustration",         // 18
    "band logotype",        // 19
    "publisher logotype",   // 20
};
constexpr int kFrontCover = 3;

// Tag header flags as v2.2 has them: 0b0100'0000 compression, for which no method was ever
// given, so that such a tag cannot be read at all.
constexpr std::uint8_t kUnsynchronisedTag = 0x80;
constexpr std::uint8_t kV22Compression = 0x40;

// The frame format flags, the second byte of the frame's flags.
// v2.3: 0b1000'0000 compression, 0b0100'0000 encryption, 0b0010'0000 grouping identity.
constexpr std::uint8_t kV23Compression = 0x80;
constexpr std::uint8_t kV23Encryption = 0x40;
constexpr std::uint8_t kV23Grouping = 0x20;
// v2.4: 0b0100'0000 grouping identity, 0b0000'1000 compression, 0b0000'0100 encryption,
// 0b0000'0010 unsynchronisation, 0b0000'0001 data length indicator.
constexpr std::uint8_t kV24Grouping = 0x40;
constexpr std::uint8_t kV24Compression = 0x08;
constexpr std::uint8_t kV24Encryption = 0x04;
constexpr std::uint8_t kV24Unsynchronised = 0x02;
constexpr std::uint8_t kV24DataLength = 0x01;

// v2.4's several values of one text frame, at most: more are a trap.
constexpr std::size_t kMostValues = 16;
// ID3v2 tags in front of the audio, one behind the other: more are a trap.
constexpr int kMostPrependedTags = 16;

std::uint32_t Syncsafe32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} & 0x7F) << 21 | (std::uint32_t{bytes[1]} & 0x7F) << 14 |
           (std::uint32_t{bytes[2]} & 0x7F) << 7 | (std::uint32_t{bytes[3]} & 0x7F);
}

bool IsSyncsafe(const unsigned char* bytes) {
    return ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) & 0x80) == 0;
}

bool ValidFrameId(const unsigned char* id, std::size_t length) {
    return std::all_of(id, id + length, [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// Undoes unsynchronisation in place: each 0xFF 0x00 was 0xFF. Returns the bytes left.
std::size_t Resynchronise(unsigned char* bytes, std::size_t count) {
    std::size_t out = 0;
    unsigned char previous = 0;
    for (std::size_t in = 0; in < count; ++in) {
        const unsigned char byte = bytes[in];
        if (previous != 0xFF || byte != 0) {
            bytes[out++] = byte;
        }
        previous = byte;
    }
    return out;
}

// The bytes of a tag behind its header as its frames count them. With the unsynchronisation of
// a whole v2.2 or v2.3 tag, the frame sizes count the bytes as they were before it: it is undone
// as the bytes are read, a piece at a time, so that a tag of any size costs one piece of memory.
class TagStream {
public:
    TagStream(ByteSource& source, std::int64_t begin, std::int64_t end, bool unsynchronised)
        : m_source(source), m_end(end), m_unsynchronised(unsynchronised), m_position(begin) {
        if (unsynchronised) {
            m_piece.resize(kPiece);
        }
    }

    // Where the next byte lies in the source.
    std::int64_t Position() const noexcept { return m_position + static_cast<std::int64_t>(m_at); }
    // The bytes left; with unsynchronisation, at most that.
    std::int64_t Left() const noexcept { return m_end - Position(); }

    // Copies `count` bytes to `out`, or skips them where `out` is null; fewer only at the end.
    std::size_t Read(unsigned char* out, std::size_t count) {
        if (!m_unsynchronised) {
            const auto step = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(count), Left()));
            if (out != nullptr) {
                m_source.Copy(m_position, out, step);
            }
            m_position += static_cast<std::int64_t>(step);
            return step;
        }
        std::size_t done = 0;
        while (done < count && (m_at < m_held || Fill())) {
            if (m_afterFF) {
                m_afterFF = false;
                if (m_piece[m_at] == 0) {
                    ++m_at;
                    continue;
                }
            }
            // The bytes up to the next 0xFF, and that byte, stand as they are.
            const unsigned char* from = m_piece.data() + m_at;
            std::size_t run = std::min(count - done, m_held - m_at);
            if (const void* mark = std::memchr(from, 0xFF, run)) {
                run = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - from) + 1;
                m_afterFF = true;
            }
            if (out != nullptr) {
                std::memcpy(out + done, from, run);
            }
            m_at += run;
            done += run;
        }
        return done;
    }

    void Skip(std::int64_t count) {
        if (!m_unsynchronised) {
            m_position += std::min(std::max<std::int64_t>(count, 0), Left());
            return;
        }
        while (count > 0) {
            const auto step = static_cast<std::size_t>(std::min<std::int64_t>(count, kPiece));
            if (Read(nullptr, step) < step) {
                return;
            }
            count -= static_cast<std::int64_t>(step);
        }
    }

    std::int64_t End() const noexcept { return m_end; }

    // Copies `count` bytes at `position` without moving, in a tag without unsynchronisation.
    void Peek(std::int64_t position, unsigned char* out, std::size_t count) {
        m_source.Copy(position, out, count);
    }

private:
    static constexpr std::size_t kPiece = 8 * 1024;

    bool Fill() {
        m_position += static_cast<std::int64_t>(m_held);
        m_at = 0;
        m_held = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kPiece), m_end - m_position));
        if (m_held == 0) {
            return false;
        }
        m_source.Copy(m_position, m_piece.data(), m_held);
        return true;
    }

    ByteSource& m_source;
    std::int64_t m_end;
    bool m_unsynchronised;
    // Without unsynchronisation the next byte; with it, where the piece starts.
    std::int64_t m_position;
    std::vector<unsigned char> m_piece;
    std::size_t m_held = 0;
    std::size_t m_at = 0;
    bool m_afterFF = false;
};

// One frame, as its header has it.
struct Frame {
    std::int64_t size = 0;   // behind the header
    std::uint8_t format = 0; // the second flags byte
};

// The walk of one tag's frames, collecting the fields.
class TagWalk {
public:
    TagWalk(ByteSource& source, const Id3v2Header& header, std::int64_t begin, std::int64_t end)
        : m_header(header),
          m_stream(source, begin, end,
                   header.version < 4 && (header.flags & kUnsynchronisedTag) != 0) {}

    TagFields Run() {
        if (SkipExtendedHeader()) {
            while (NextFrame()) {
            }
        }
        return Fields();
    }

private:
    bool SkipExtendedHeader() {
        if (!m_header.HasExtendedHeader() || m_header.version < 3) {
            return true;
        }
        unsigned char size[4];
        if (m_stream.Read(size, 4) < 4) {
            return false;
        }
        // v2.3 counts the header without its size; v2.4 with it, syncsafe.
        if (m_header.version == 3) {
            m_stream.Skip(ReadBigEndian32(size));
            return true;
        }
        const std::uint32_t bytes = Syncsafe32(size);
        if (!IsSyncsafe(size) || bytes < 6) {
            return false;
        }
        m_stream.Skip(bytes - 4);
        return true;
    }

    std::size_t HeaderBytes() const { return m_header.version == 2 ? 6 : 10; }

    // Whether a frame that ends at `position` is followed by what may follow a frame: another
    // frame, the padding, or the end of the tag.
    bool LandsWell(std::int64_t position) {
        const std::int64_t left = m_stream.End() - position;
        if (left <= 0) {
            return left == 0;
        }
        unsigned char id[4];
        m_stream.Peek(position, id, sizeof id);
        return id[0] == 0 || (left >= 10 && ValidFrameId(id, 4));
    }

    // A v2.4 frame's size: syncsafe as the standard has it, or a plain number as some writers
    // wrote it. The plain reading is taken where the syncsafe one cannot be (a byte with its top
    // bit set) or where the syncsafe one ends the frame on anything but a frame, the padding or
    // the end of the tag and the plain one does not; a tag whose writer did so once is read so
    // from there on. `behind` is where the frame's body starts.
    std::int64_t V24FrameSize(const unsigned char* size, std::int64_t behind) {
        const std::uint32_t plain = ReadBigEndian32(size);
        if (m_plainSizes || !IsSyncsafe(size)) {
            m_plainSizes = true;
            return plain;
        }
        const std::uint32_t syncsafe = Syncsafe32(size);
        if (syncsafe == plain || LandsWell(behind + syncsafe) || !LandsWell(behind + plain)) {
            return syncsafe;
        }
        m_plainSizes = true;
        return plain;
    }

    bool NextFrame() {
        unsigned char header[10];
        const std::size_t headerBytes = HeaderBytes();
        if (m_stream.Read(header, headerBytes) < headerBytes || header[0] == 0) {
            return false; // the end, or the padding
        }
        const std::size_t idLength = m_header.version == 2 ? 3 : 4;
        if (!ValidFrameId(header, idLength)) {
            return false;
        }
        Frame frame;
        if (m_header.version == 2) {
            frame.size = header[3] << 16 | header[4] << 8 | header[5];
        } else if (m_header.version == 3) {
            frame.size = ReadBigEndian32(header + 4);
            frame.format = header[9];
        } else {
            frame.size = V24FrameSize(header + 4, m_stream.Position());
            frame.format = header[9];
        }
        if (frame.size == 0 || frame.size > m_stream.Left()) {
            return false;
        }
        // A valid id is never 0, which stands for none.
        const std::uint32_t id = ReadBigEndian32(header) & (idLength == 3 ? 0xFFFFFF00 : ~0U);
        const auto* wanted =
            std::find_if(kWantedFrames.begin(), kWantedFrames.end(), [&](const WantedFrame& w) {
                return (m_header.version == 2 ? w.v22 : w.id) == id;
            });
        std::int64_t read = 0;
        if (wanted != kWantedFrames.end()) {
            read = Read(wanted->slot, frame);
        }
        m_stream.Skip(frame.size - read);
        return true;
    }

    // Reads the fields of a frame of ours, up to the bound for its kind. Returns the bytes of
    // the frame that it read.
    std::int64_t Read(Slot slot, const Frame& frame) {
        if (slot != Slot::Picture && !m_texts[static_cast<std::size_t>(slot)].empty()) {
            return 0; // the first frame of a kind gives the field
        }
        if (slot == Slot::Picture && m_cover && m_cover->type == kFrontCover) {
            return 0;
        }
        // What stands in front of the data: v2.3's group byte; v2.4's group byte and data
        // length (in the order of their flags).
        std::size_t lead = 0;
        bool unsynchronised = false;
        std::optional<std::int64_t> dataLength;
        if (m_header.version == 3) {
            if ((frame.format & (kV23Compression | kV23Encryption)) != 0) {
                return 0;
            }
            lead = (frame.format & kV23Grouping) != 0 ? 1 : 0;
        } else if (m_header.version == 4) {
            if ((frame.format & (kV24Compression | kV24Encryption)) != 0) {
                return 0;
            }
            lead = ((frame.format & kV24Grouping) != 0 ? 1 : 0) +
                   ((frame.format & kV24DataLength) != 0 ? 4 : 0);
            unsynchronised = (frame.format & kV24Unsynchronised) != 0 ||
                             (m_header.flags & kUnsynchronisedTag) != 0;
        }
        if (frame.size <= static_cast<std::int64_t>(lead)) {
            return 0;
        }
        const std::int64_t body = frame.size - static_cast<std::int64_t>(lead);
        const std::size_t bound = slot == Slot::Picture ? kPictureFieldsBytes : kMostTextBytes;
        const auto wanted = lead + static_cast<std::size_t>(std::min<std::int64_t>(
                                       body, static_cast<std::int64_t>(bound)));
        unsigned char* const room = Room(wanted);
        const std::size_t got = m_stream.Read(room, wanted);
        if (got <= lead) {
            return static_cast<std::int64_t>(got);
        }
        if ((frame.format & kV24DataLength) != 0 && m_header.version == 4) {
            // Undoing unsynchronisation only takes bytes away.
            dataLength = std::min<std::int64_t>(Syncsafe32(room + lead - 4), body);
        }
        unsigned char* data = room + lead;
        std::size_t count = got - lead;
        if (unsynchronised) {
            count = Resynchronise(data, count);
        }
        const std::span<const unsigned char> bytes(data, count);
        if (slot == Slot::Picture) {
            // The image's size: the data's, less the fields in front of the image. Where
            // unsynchronisation may have added bytes that were not read, only the data length
            // tells it.
            const bool whole = got - lead == static_cast<std::size_t>(body);
            std::optional<std::int64_t> size = dataLength;
            if (whole) {
                size = static_cast<std::int64_t>(count);
            } else if (!unsynchronised) {
                size = body;
            }
            ReadPicture(bytes, size, whole);
        } else {
            ReadText(slot, bytes);
        }
        return static_cast<std::int64_t>(got);
    }

    void ReadText(Slot slot, std::span<const unsigned char> bytes) {
        const std::optional<Id3TextEncoding> encoding = Id3TextEncodingOf(bytes[0]);
        if (!encoding) {
            return;
        }
        // Only v2.4 has several values to a frame; before it a text ends at its terminator.
        m_values.clear();
        DecodeId3Strings(*encoding, bytes.subspan(1), m_header.version == 4 ? kMostValues : 1,
                         m_values);
        std::string& text = m_texts[static_cast<std::size_t>(slot)];
        for (std::string& value : m_values) {
            if (slot == Slot::Genre) {
                value = GenreFromContentType(value);
            }
            if (value.empty()) {
                continue;
            }
            if (text.empty()) {
                text = std::move(value);
            } else {
                text.append(" / ").append(value);
            }
        }
    }

    // The fields in front of a picture's image: v2.3 and v2.4 its encoding, MIME type (Latin-1,
    // ended by a zero byte), picture type and description; v2.2 the same with a format of three
    // letters for the MIME type. `dataSize` is the size of the whole data, where known; `whole`
    // says whether `bytes` hold all of it.
    void ReadPicture(std::span<const unsigned char> bytes, std::optional<std::int64_t> dataSize,
                     bool whole) {
        const std::optional<Id3TextEncoding> encoding = Id3TextEncodingOf(bytes[0]);
        if (!encoding) {
            return;
        }
        TagPicture picture;
        std::size_t at = 1;
        if (m_header.version == 2) {
            if (bytes.size() < 4) {
                return;
            }
            std::string format(reinterpret_cast<const char*>(bytes.data()) + 1, 3);
            format.resize(std::min(format.find('\0'), format.size()));
            std::transform(format.begin(), format.end(), format.begin(), [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            });
            picture.mime = Latin1ToUtf8("image/" + std::string(format == "jpg" ? "jpeg" : format));
            at = 4;
        } else {
            const std::optional<std::size_t> mime =
                TerminatedLength(Id3TextEncoding::Latin1, bytes.subspan(at));
            if (!mime) {
                return;
            }
            picture.mime = Latin1ToUtf8(
                std::string_view(reinterpret_cast<const char*>(bytes.data()) + at, *mime - 1));
            at += *mime;
        }
        if (at >= bytes.size()) {
            return;
        }
        picture.type = bytes[at++];
        if (picture.type < static_cast<int>(kPictureTypes.size())) {
            picture.typeName = kPictureTypes[static_cast<std::size_t>(picture.type)];
        }
        const std::optional<std::size_t> description =
            TerminatedLength(*encoding, bytes.subspan(at));
        if (description && dataSize) {
            picture.bytes =
                std::max<std::int64_t>(*dataSize - static_cast<std::int64_t>(at + *description), 0);
        } else {
            // A description without its end runs to the end of the data: no image behind it.
            picture.bytes = whole ? 0 : -1;
        }
        if (!m_cover || picture.type == kFrontCover) {
            m_cover = std::move(picture);
        }
    }

    // The fields, taken from the walk's texts: once, at its end.
    TagFields Fields() {
        const auto take = [&](Slot slot) {
            return std::move(m_texts[static_cast<std::size_t>(slot)]);
        };
        TagFields fields;
        fields.title = take(Slot::Title);
        fields.artist = take(Slot::Artist);
        if (fields.artist.empty()) {
            fields.artist = take(Slot::Band);
        }
        fields.album = take(Slot::Album);
        fields.track = take(Slot::Track);
        // A time stamp gives the year it starts with.
        const auto year = [&](Slot slot) {
            std::string time = take(slot);
            const bool dated =
                time.size() >= 4 && std::all_of(time.begin(), time.begin() + 4,
                                                [](char c) { return c >= '0' && c <= '9'; });
            time.resize(dated ? 4 : 0);
            return time;
        };
        fields.year = year(Slot::RecordingTime);
        if (fields.year.empty()) {
            fields.year = take(Slot::Year);
        }
        if (fields.year.empty()) {
            fields.year = year(Slot::ReleaseTime);
        }
        fields.genre = take(Slot::Genre);
        fields.cover = std::move(m_cover);
        if (!fields.Empty()) {
            fields.source = "ID3v2." + std::to_string(m_header.version);
        }
        return fields;
    }

    const Id3v2Header& m_header;
    TagStream m_stream;
    bool m_plainSizes = false;
    std::array<std::string, kTextSlots> m_texts;
    std::optional<TagPicture> m_cover;
    // Room for `count` bytes of a frame: in the walk itself for a picture's fields and for most
    // texts, else on the heap.
    unsigned char* Room(std::size_t count) {
        if (count <= m_room.size()) {
            return m_room.data();
        }
        m_buffer.resize(count);
        return m_buffer.data();
    }

    std::array<unsigned char, kPictureFieldsBytes + 8> m_room; // each read fills what it uses
    std::vector<unsigned char> m_buffer;
    std::vector<std::string> m_values; // a text frame's
};

// The header of the ID3v2 tag at `offset`, when it is one of ours to read.
std::optional<Id3v2Header> ReadableHeader(ByteSource& source, std::int64_t offset) {
    unsigned char bytes[Id3v2Header::kBytes];
    source.Copy(offset, bytes, sizeof bytes);
    std::optional<Id3v2Header> header = DecodeId3v2Header(bytes, sizeof bytes);
    if (!header || !header->Conforms() || header->version < 2 || header->version > 4) {
        return std::nullopt;
    }
    return header;
}

TagFields ReadTag(ByteSource& source, std::int64_t offset, const Id3v2Header& header) {
    if (header.version == 2 && (header.flags & kV22Compression) != 0) {
        return {};
    }
    const std::int64_t begin = offset + static_cast<std::int64_t>(Id3v2Header::kBytes);
    const std::int64_t end = std::min(begin + header.tagSize, source.Size());
    if (begin >= end) {
        return {};
    }
    return TagWalk(source, header, begin, end).Run();
}

// Fills the fields of `into` that are empty with those of `from`.
void Fill(TagFields& into, TagFields&& from) {
    bool gave = false;
    for (auto member : {&TagFields::artist, &TagFields::album, &TagFields::title, &TagFields::track,
                        &TagFields::year, &TagFields::genre}) {
        if ((into.*member).empty() && !(from.*member).empty()) {
            into.*member = std::move(from.*member);
            gave = true;
        }
    }
    if (!into.cover && from.cover) {
        into.cover = std::move(from.cover);
        gave = true;
    }
    if (gave && into.source.find(from.source) == std::string::npos) {
        into.source.append(into.source.empty() ? "" : "+").append(from.source);
    }
}

std::string V1Text(const unsigned char* bytes, std::size_t count) {
    const auto length = static_cast<std::size_t>(std::find(bytes, bytes + count, 0) - bytes);
    std::string text = Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length));
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

} // namespace

bool TagFields::Empty() const noexcept {
    return artist.empty() && album.empty() && title.empty() && track.empty() && year.empty() &&
           genre.empty() && !cover;
}

TagFields ReadId3v2Fields(ByteSource& source, std::int64_t offset) {
    const std::optional<Id3v2Header> header = ReadableHeader(source, offset);
    return header ? ReadTag(source, offset, *header) : TagFields{};
}

// The 128 bytes of ID3v1:
//
//   offset   0  "TAG"
//            3  title    30 bytes, Latin-1, padded with zeros or spaces
//           33  artist   30
//           63  album    30
//           93  year      4
//           97  comment  30; v1.1: 28 bytes, a zero, and the track number
//          127  genre     1: by number, 255 for none
TagFields ReadId3v1Fields(ByteSource& source, std::int64_t end) {
    std::array<unsigned char, 128> tag{};
    if (end < static_cast<std::int64_t>(tag.size())) {
        return {};
    }
    source.Copy(end - static_cast<std::int64_t>(tag.size()), tag.data(), tag.size());
    if (tag[0] != 'T' || tag[1] != 'A' || tag[2] != 'G') {
        return {};
    }
    TagFields fields;
    fields.title = V1Text(tag.data() + 3, 30);
    fields.artist = V1Text(tag.data() + 33, 30);
    fields.album = V1Text(tag.data() + 63, 30);
    fields.year = V1Text(tag.data() + 93, 4);
    const bool v11 = tag[125] == 0 && tag[126] != 0;
    if (v11) {
        fields.track = std::to_string(tag[126]);
    }
    fields.genre = Id3GenreName(tag[127]);
    if (!fields.Empty()) {
        fields.source = v11 ? "ID3v1.1" : "ID3v1";
    }
    return fields;
}

TagFields ReadTagFields(ByteSource& source, std::int64_t id3v1End) {
    TagFields fields;
    std::int64_t offset = 0;
    for (int tags = 0; tags < kMostPrependedTags && offset < source.Size(); ++tags) {
        const std::optional<Id3v2Header> header = ReadableHeader(source, offset);
        if (!header) {
            break;
        }
        Fill(fields, ReadTag(source, offset, *header));
        offset += static_cast<std::int64_t>(header->TotalSize());
    }
    Fill(fields, ReadId3v1Fields(source, id3v1End));
    return fields;
}

} // namespace quaverly::mpeg
