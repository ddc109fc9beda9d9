#pragma once

#include "mpeg/file_view.h"
#include "mpeg/tag_size_source.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quaverly::mpeg {

// The header fields that stay the same through one stream: sync, version, layer, sample rate.
inline constexpr std::uint32_t kStreamMask = 0xFFFE'0C00;

// Whether `word` heads a frame of the stream whose first frame's header is `first`.
bool InStream(std::uint32_t word, std::uint32_t first);

// What a walk from frame to frame, by their headers, found.
struct FrameRun {
    std::int64_t frames = 0; // whole frames
    std::int64_t bytes = 0;  // their bytes
    // A frame whose header lies before the limit and whose length passes it.
    bool lastFrameCut = false;
    // Where the frames first lost their sync and found it again further on.
    std::optional<std::int64_t> junkAt;
    // Whether the frames walked differ in bitrate, and the first one's rate in kbit/s.
    bool ratesDiffer = false;
    std::int32_t firstBitrate = 0;
    // Verifying walks only: the frames that carry a CRC and fail it, and the first of them.
    std::int64_t crcFailures = 0;
    std::optional<std::int64_t> firstCrcFailure;
    // Verifying walks only: the encoder tag's CRC over the frames' bytes asked for.
    std::uint16_t musicCrc = 0;
};

struct WalkOptions {
    // Check each protected frame's CRC, and the tag CRC of the first `musicBytes` bytes of the
    // frames walked: the audio as the encoder wrote it, wherever junk came between its frames.
    bool verify = false;
    std::int64_t musicBytes = 0;
    // Stop after this many frames (the walk of the bytes a window holds, say); -1: none.
    std::int64_t maxFrames = -1;
};

// Walks the frames of the stream headed by `first` from `from` up to `limit`, where the audio
// ends. Where a header is not of the stream, the walk searches on for a frame confirmed by its
// follower; bytes that are all zeros up to the limit end the stream as padding. Asks
// `cancelled` every kCancelCheckBytes and throws platform::FileError (Cancelled) when it says
// so; throws platform::FileError when a read fails.
FrameRun WalkFrames(FileView& view, const std::string& path, std::uint32_t first, std::int64_t from,
                    std::int64_t limit, const WalkOptions& options,
                    const TagSizeSource::CancelCheck& cancelled);

// Whether every byte in [from, limit) is zero. Asks `cancelled` every kCancelCheckBytes;
// throws platform::FileError (Cancelled) when it says so, or when a read fails.
bool ZerosBetween(FileView& view, const std::string& path, std::int64_t from, std::int64_t limit,
                  const TagSizeSource::CancelCheck& cancelled);

// The first frame of the stream headed by `first` at or after `from` whose follower is of the
// stream too, or that ends at `limit`; -1 when none is. Passes over the holes of a sparse file,
// asks `cancelled` every kCancelCheckBytes, and throws platform::FileError (Cancelled) when it
// says so, or when a read fails.
std::int64_t ResyncFrom(FileView& view, const std::string& path, std::uint32_t first,
                        std::int64_t from, std::int64_t limit,
                        const TagSizeSource::CancelCheck& cancelled);

// Whether the frame at `offset`, headed by `word`, carries a CRC that fails: over Layer III's
// side information, or Layers I and II's bit allocation (and Layer II's scale factor
// selection). Throws platform::FileError.
bool FrameCrcFails(FileView& view, std::int64_t offset, std::uint32_t word);

} // namespace quaverly::mpeg
