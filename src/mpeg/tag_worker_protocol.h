#pragma once

// What the program and its tag helper say to each other over the helper's standard input and
// output: the records, the ready byte, and the one encoder and decoder of each message, which
// both ends link. Both ends are built from this source, so the layout is the machine's own.
//
// The helper opens no file: the program sends the bytes of the file that the ID3 tag library
// reads, and the helper asks for more when the library reads elsewhere.
//
// The helper's output is its ready byte, once it is up, then one TagAnswer for each request,
// in the order of the requests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::mpeg {

inline constexpr const char* kTagWorkerProgram = "quaverly-tag-worker";

// The helper writes this once it is up, so that one that cannot start is told apart from one
// that crashed on a file.
inline constexpr char kTagWorkerReady = 'R';

// A request is a TagRequestHeader, `pathLength` bytes of the path, then `extentCount` times a
// TagRequestExtent followed by its bytes of the file, in file order. Runs of zeros, which the
// library reads through one by one in a file of silence or an unfinished download, travel as
// their length alone.
struct TagRequestHeader {
    std::uint32_t pathLength = 0;
    std::uint32_t extentCount = 0;
    std::int64_t fileSize = 0;
};

// `length` bytes of the file at `offset`; they follow unless they are all zeros.
struct TagRequestExtent {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    std::int32_t zeros = 0;
    std::int32_t reserved = 0;
};

inline constexpr std::uint32_t kMaxRequestPath = 1U << 20;
inline constexpr std::uint32_t kMaxRequestExtents = 1U << 16;
inline constexpr std::int64_t kMaxRequestBytes = std::int64_t{1} << 30;

enum class TagAnswerStatus : std::int32_t {
    Measured = 0,   // bytes is the library's answer
    NeedsBytes = 1, // the library read bytes that were not sent: missingOffset, missingLength
};

struct TagAnswer {
    std::int64_t bytes = 0;
    TagAnswerStatus status = TagAnswerStatus::Measured;
    std::int32_t reserved = 0;
    std::int64_t missingOffset = 0;
    std::int64_t missingLength = 0;
};

inline constexpr std::size_t kTagAnswerBytes = sizeof(TagAnswer);

// The records travel as they lie in memory: no padding of the compiler's own in them.
static_assert(sizeof(TagRequestHeader) == 16);
static_assert(sizeof(TagRequestExtent) == 24);
static_assert(kTagAnswerBytes == 32);

// `length` bytes of a file at `offset`.
struct TagFileRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;

    bool operator==(const TagFileRange&) const = default;
};

// The program's side: a request for `path`, a file of `fileSize` bytes, carrying `ranges` of it
// (in file order, apart from each other), whose bytes `read(offset, count, out)` gives.
using ReadFileBytes =
    std::function<void(std::int64_t offset, std::size_t count, unsigned char* out)>;
struct EncodedTagRequest {
    std::string message;
    // The bytes of the file that travel in it: runs of zeros do not.
    std::int64_t carried = 0;
};
EncodedTagRequest EncodeTagRequest(const std::string& path, std::int64_t fileSize,
                                   const std::vector<TagFileRange>& ranges,
                                   const ReadFileBytes& read);

// The helper's side: a request as it was sent.
struct TagRequest {
    struct Extent {
        TagFileRange range;
        // Where its bytes start in `bytes`; -1 for a run of zeros, which comes without them.
        std::int64_t start = -1;

        bool operator==(const Extent&) const = default;
    };
    std::string path;
    std::int64_t fileSize = 0;
    std::vector<Extent> extents;
    // The bytes of the extents that are not zeros, one behind the other.
    std::string bytes;
};
// Reads exactly `size` bytes into `data`; false when there are no more.
using ReadExactly = std::function<bool(void* data, std::size_t size)>;
// The next request that `read` gives; nothing when the input ends, or breaks a rule of the
// format or its bounds: extents out of order or beyond the file, a path or bytes too long.
std::optional<TagRequest> DecodeTagRequest(const ReadExactly& read);

// The helper's answer to one request.
std::string EncodeTagAnswer(const TagAnswer& answer);
// The answer that `bytes` starts with; nothing while they hold less than a whole one. Its
// fields are as the helper wrote them: whether they can be right for the file is the caller's
// to judge.
std::optional<TagAnswer> DecodeTagAnswer(std::string_view bytes);

} // namespace quaverly::mpeg
