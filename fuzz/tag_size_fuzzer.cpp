// The tag size worked out from the tag headers against the ID3 tag library itself: wherever
// the headers settle it, the library must count the same bytes. The input is the file, with the
// body of each tag in its chain of headers made zeros first, so that the library parses no
// frame (a damaged frame can crash it, which is why it runs in helpers): what is checked is
// where it takes the tags to end and the padding behind them to stop.

#include "fuzz_check.h"
#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/preread_file.h"
#include "support/memory_file_system.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Zeros the bodies of the tags that start the file, one behind the other, as their headers state.
void ZeroTagBodies(std::vector<unsigned char>& file) {
    std::size_t position = 0;
    while (file.size() - position >= 10) {
        const std::uint64_t end =
            quaverly::mpeg::StatedTagEnd(file.data() + position, file.size() - position, false);
        if (end == 0) {
            return;
        }
        const std::size_t stop = std::min<std::uint64_t>(file.size(), position + end);
        std::fill(file.begin() + static_cast<std::ptrdiff_t>(position + 10),
                  file.begin() + static_cast<std::ptrdiff_t>(std::max(stop, position + 10)), 0);
        position = stop;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quaverly::testing::MemoryFileSystem files;
    std::vector<unsigned char> file(data, data + size);
    ZeroTagBodies(file);
    files.Serve("/fuzz/input.mp3", file);

    auto preread = quaverly::mpeg::PrereadFile::From(files.OpenForReading("/fuzz/input.mp3"));
    quaverly::mpeg::FileView view;
    view.Attach(*preread, static_cast<std::int64_t>(preread->Size()));
    const std::optional<std::int64_t> settled = quaverly::mpeg::PrependedBytesFromHeaders(view);
    if (settled) {
        FUZZ_CHECK(*settled == quaverly::mpeg::Id3v2PrependedBytes(view));
        FUZZ_CHECK(!quaverly::mpeg::HeadersLeaveItToTheLibrary(*preread));
    }
    view.Detach();
    return 0;
}
