#include "mpeg/id3_tag_size.h"

#include "mpeg/file_view_reader.h"
#include "mpeg/id3v2_header.h"
#include "mpeg/preread_file.h"

#include <id3/tag.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace quaverly::mpeg {

namespace {

constexpr auto kHeaderSize = static_cast<std::int64_t>(Id3v2Header::kBytes);
// The library's reader counts positions in 32 bits, and a failed stream reports 0xFFFFFFFF.
constexpr std::int64_t kLargestSettled = 0xFFFF'FFFE;
// A file of tags and zeros beyond these is not a song's but a trap: the library, in a helper
// with its bounds, is left to count it.
constexpr int kMostTags = 16;
constexpr std::int64_t kMostZeros = 1024 * 1024;

enum class Outcome { Settled, Library, NotHeld };

struct Count {
    Outcome outcome;
    std::int64_t bytes = 0;
};

// The headers' count for a file of `size` bytes, read through `read(offset, out, count)`, which
// returns false when it does not hold those bytes.
template <typename Read>
Count CountFromHeaders(std::int64_t size, Read read) {
    if (size > kLargestSettled) {
        return {Outcome::Library};
    }
    std::int64_t position = 0;
    std::array<unsigned char, kHeaderSize> header{};
    // The chain of tags: the library parses one tag after the other until a header fails.
    for (int tags = 0;; ++tags) {
        if (tags > kMostTags) {
            return {Outcome::Library};
        }
        if (size - position < kHeaderSize) {
            return {Outcome::Library}; // a header cut by the end of the file
        }
        if (!read(position, header.data(), header.size())) {
            return {Outcome::NotHeld};
        }
        const std::optional<Id3v2Header> tag = DecodeId3v2Header(header.data(), header.size());
        if (!tag || !tag->Conforms()) {
            break;
        }
        const bool knownVersion = tag->revision == 0 && tag->version >= 2 && tag->version <= 4;
        if (!knownVersion || tag->HasExtendedHeader()) {
            return {Outcome::Library};
        }
        position += kHeaderSize + tag->tagSize;
        if (position >= size) {
            return {Outcome::Library};
        }
    }
    // The zeros from `from` on: where they end, or the outcome that stops the count. Most tags
    // have a frame right behind them, so a few bytes are looked at first.
    std::array<unsigned char, 4096> chunk; // filled by each read before it is looked at
    const auto skipZeros = [&](std::int64_t from, std::int64_t& end) {
        std::size_t step = 64;
        for (end = from; end < size; step = chunk.size()) {
            if (end - from > kMostZeros) {
                return Outcome::Library;
            }
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(step), size - end));
            if (!read(end, chunk.data(), count)) {
                return Outcome::NotHeld;
            }
            const auto* nonZero = std::find_if(chunk.data(), chunk.data() + count,
                                               [](unsigned char byte) { return byte != 0; });
            end += nonZero - chunk.data();
            if (nonZero != chunk.data() + count) {
                return end - from > kMostZeros ? Outcome::Library : Outcome::Settled;
            }
        }
        return Outcome::Library; // zeros up to the end of the file
    };
    if (const Outcome outcome = skipZeros(position, position); outcome != Outcome::Settled) {
        return {outcome};
    }
    if (size - position > 4) {
        std::array<unsigned char, 4> padding{};
        if (!read(position, padding.data(), padding.size())) {
            return {Outcome::NotHeld};
        }
        if (padding == std::array<unsigned char, 4>{0xFF, 0, 0, 0}) {
            if (const Outcome outcome = skipZeros(position + 4, position);
                outcome != Outcome::Settled) {
                return {outcome};
            }
        }
    }
    return {Outcome::Settled, position};
}

} // namespace

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

std::optional<std::int64_t> PrependedBytesFromHeaders(FileView& view) {
    const Count count =
        CountFromHeaders(view.Size(), [&](std::int64_t offset, unsigned char* out, std::size_t n) {
            view.Copy(offset, out, n);
            return true;
        });
    if (count.outcome != Outcome::Settled) {
        return std::nullopt;
    }
    return count.bytes;
}

bool HeadersLeaveItToTheLibrary(const PrereadFile& file) {
    const auto size = static_cast<std::int64_t>(file.Size());
    const Count count =
        CountFromHeaders(size, [&](std::int64_t offset, unsigned char* out, std::size_t n) {
            const platform::InputFile::Buffered held =
                file.BufferedAt(static_cast<std::uint64_t>(offset));
            if (held.count < n) {
                return false;
            }
            std::memcpy(out, held.data, n);
            return true;
        });
    return count.outcome == Outcome::Library;
}

} // namespace quaverly::mpeg
