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

// What a run of zeros reads as, a piece at a time.
constexpr std::size_t kZerosPiece = 64 * 1024;
const std::vector<unsigned char> kZeros(kZerosPiece + 3, 0);

// The bytes of a file that the program sent, seen as the file itself. A read of any other
// bytes is noted and fails, so that the library's answer is never made from a guess.
class SentFile final : public platform::InputFile {
public:
    explicit SentFile(mpeg::TagRequest request)
        : m_size(request.fileSize), m_extents(std::move(request.extents)),
          m_bytes(std::move(request.bytes)) {
        // Three zeros behind the last bytes, so that a header word can be read at each.
        m_bytes.append(3, '\0');
    }

    std::uint64_t Size() const override { return static_cast<std::uint64_t>(m_size); }

    Buffered BufferedAt(std::uint64_t offset) const override {
        const auto at = static_cast<std::int64_t>(offset);
        for (const mpeg::TagRequest::Extent& extent : m_extents) {
            const mpeg::TagFileRange& range = extent.range;
            if (at >= range.offset && at < range.offset + range.length) {
                const auto skip = static_cast<std::size_t>(at - range.offset);
                const auto left = static_cast<std::size_t>(range.length) - skip;
                if (extent.start < 0) {
                    return {kZeros.data(), std::min(left, kZerosPiece)};
                }
                return {reinterpret_cast<const unsigned char*>(m_bytes.data()) +
                            static_cast<std::size_t>(extent.start) + skip,
                        left};
            }
        }
        return {};
    }

    std::size_t ReadAt(std::uint64_t offset, unsigned char*, std::size_t count) override {
        if (!m_missing) {
            m_missing = mpeg::TagFileRange{static_cast<std::int64_t>(offset),
                                           static_cast<std::int64_t>(count)};
        }
        throw platform::FileError(platform::FileErrorCause::Generic, 0, "read", "the bytes sent");
    }

    const std::optional<mpeg::TagFileRange>& Missing() const noexcept { return m_missing; }

private:
    std::int64_t m_size;
    std::vector<mpeg::TagRequest::Extent> m_extents;
    std::string m_bytes;
    std::optional<mpeg::TagFileRange> m_missing;
};

// The same call, over the same kind of view, as the program makes when it reads tags itself.
mpeg::TagAnswer Measure(mpeg::TagRequest request, mpeg::FileView& view) {
    const std::int64_t size = request.fileSize;
    SentFile file(std::move(request));
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
    if (!platform::WriteAnswer(&mpeg::kTagWorkerReady, 1)) {
        return 1;
    }
    mpeg::FileView view(32 * 1024);
    // Ends when the program is gone or speaks nonsense.
    while (std::optional<mpeg::TagRequest> request =
               mpeg::DecodeTagRequest(platform::ReadRequest)) {
        const std::string answer = mpeg::EncodeTagAnswer(Measure(std::move(*request), view));
        if (!platform::WriteAnswer(answer.data(), answer.size())) {
            return 0;
        }
    }
    return 0;
}
