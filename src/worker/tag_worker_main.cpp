// quaverly-tag-worker: answers "how many bytes of ID3v2 tag does this file start with" for the
// program that started it, one request at a time, over its standard input and output.
//
// It exists so that the ID3 tag library runs outside the program: the library crashes on some
// damaged tags, and here that costs one file instead of the whole listing. It opens no file:
// the program sends the bytes the library reads, so each file is opened and read once.

#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/tag_worker_protocol.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/worker_process.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace quaverly;

struct Range {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    // Where its bytes start among those sent; -1 for a run of zeros, which comes without them.
    std::int64_t start = -1;
};

// What a run of zeros reads as, a piece at a time.
constexpr std::size_t kZerosPiece = 64 * 1024;
const std::vector<unsigned char> kZeros(kZerosPiece + 3, 0);

// The bytes of a file that the program sent, seen as the file itself. A read of any other
// bytes is noted and fails, so that the library's answer is never made from a guess.
class SentFile final : public platform::InputFile {
public:
    SentFile(std::int64_t size, std::vector<Range> ranges, std::string bytes)
        : m_size(size), m_ranges(std::move(ranges)), m_bytes(std::move(bytes)) {
        // Three zeros behind the last bytes, so that a header word can be read at each.
        m_bytes.append(3, '\0');
    }

    std::uint64_t Size() const override { return static_cast<std::uint64_t>(m_size); }

    Buffered BufferedAt(std::uint64_t offset) const override {
        const auto at = static_cast<std::int64_t>(offset);
        for (const Range& range : m_ranges) {
            if (at >= range.offset && at < range.offset + range.length) {
                const auto skip = static_cast<std::size_t>(at - range.offset);
                const auto left = static_cast<std::size_t>(range.length) - skip;
                if (range.start < 0) {
                    return {kZeros.data(), std::min(left, kZerosPiece)};
                }
                return {reinterpret_cast<const unsigned char*>(m_bytes.data()) +
                            static_cast<std::size_t>(range.start) + skip,
                        left};
            }
        }
        return {};
    }

    std::size_t ReadAt(std::uint64_t offset, unsigned char*, std::size_t count) override {
        if (!m_missing) {
            m_missing = Range{static_cast<std::int64_t>(offset), static_cast<std::int64_t>(count)};
        }
        throw platform::FileError(platform::FileErrorCause::Generic, 0, "read", "the bytes sent");
    }

    const std::optional<Range>& Missing() const noexcept { return m_missing; }

private:
    std::int64_t m_size;
    std::vector<Range> m_ranges;
    std::string m_bytes;
    std::optional<Range> m_missing;
};

// Reads one request; false when the program is gone or speaks nonsense.
bool ReadRequest(mpeg::TagRequestHeader& header, std::vector<Range>& ranges, std::string& bytes) {
    if (!platform::ReadRequest(&header, sizeof header) ||
        header.pathLength > mpeg::kMaxRequestPath ||
        header.extentCount > mpeg::kMaxRequestExtents) {
        return false;
    }
    std::string path(header.pathLength, '\0');
    if (!platform::ReadRequest(path.data(), path.size())) {
        return false;
    }
    ranges.clear();
    bytes.clear();
    std::int64_t end = 0;
    for (std::uint32_t i = 0; i < header.extentCount; ++i) {
        mpeg::TagRequestExtent extent;
        if (!platform::ReadRequest(&extent, sizeof extent) || extent.offset < end ||
            extent.length < 0 || extent.length > header.fileSize - extent.offset ||
            (extent.zeros == 0 &&
             static_cast<std::int64_t>(bytes.size()) + extent.length > mpeg::kMaxRequestBytes)) {
            return false;
        }
        const auto at = static_cast<std::int64_t>(bytes.size());
        if (extent.zeros == 0) {
            bytes.resize(bytes.size() + static_cast<std::size_t>(extent.length));
            if (!platform::ReadRequest(bytes.data() + at,
                                       static_cast<std::size_t>(extent.length))) {
                return false;
            }
        }
        ranges.push_back({extent.offset, extent.length, extent.zeros == 0 ? at : -1});
        end = extent.offset + extent.length;
    }
    return true;
}

// The same call, over the same kind of view, as the program makes when it reads tags itself.
mpeg::TagAnswer Measure(std::int64_t size, std::vector<Range> ranges, std::string bytes,
                        mpeg::FileView& view) {
    SentFile file(size, std::move(ranges), std::move(bytes));
    view.Attach(file, size);
    mpeg::TagAnswer answer;
    try {
        answer.bytes = mpeg::Id3v2PrependedBytes(view);
    } catch (const platform::FileError&) {
        // Only a read of bytes not sent can fail here.
    }
    view.Detach();
    if (file.Missing()) {
        answer.bytes = 0;
        answer.status = mpeg::TagAnswerStatus::NeedsBytes;
        answer.missingOffset = file.Missing()->offset;
        answer.missingLength = file.Missing()->length;
    }
    return answer;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !platform::DieWithParent(
                         static_cast<platform::ProcessId>(std::strtoul(argv[1], nullptr, 10)))) {
        return 1;
    }
    platform::QuietCrashes();
    const char ready = 'R';
    if (!platform::WriteAnswer(&ready, 1)) {
        return 1;
    }
    mpeg::FileView view(32 * 1024);
    mpeg::TagRequestHeader header;
    std::vector<Range> ranges;
    std::string bytes;
    while (ReadRequest(header, ranges, bytes)) {
        const mpeg::TagAnswer answer = Measure(header.fileSize, ranges, std::move(bytes), view);
        if (!platform::WriteAnswer(&answer, sizeof answer)) {
            return 0;
        }
    }
    return 0;
}
