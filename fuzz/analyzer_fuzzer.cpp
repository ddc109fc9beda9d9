// The analyser over arbitrary bytes, through the listing's per-file entry: header decoding, the
// frame scan, the "Xing" probe, the bitrate and its cell, with the ID3v2 tag size chosen by the
// input, where the tag headers do not settle it, so that the scan may start anywhere.
//
// Input layout:
//   byte 0     bit 0: the tag size is the one the file's own ID3v2 header states (as when the
//              tag helper fails), else bytes 1-2; bits 1-2: 0 the file's size is its length,
//              1 the size is more than the bytes (the file shrank after it was measured),
//              2 the size is less (the file grew); bits 3-5: the block size of a second view
//              of the file, 16 << n bytes

//   bytes 1-2  the tag size, little-endian
//   byte 3     how far the size is off, for bits 1-2
//   bytes 4-   the file

#include "fuzz_check.h"
#include "listing/html_format.h"
#include "listing/page_writer.h"
#include "listing/row_writer.h"
#include "listing/run_report.h"
#include "mpeg/frame_header.h"
#include "mpeg/mp3_analyzer.h"
#include "mpeg/tag_size_source.h"
#include "support/memory_file_system.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using quaverly::CMp3Analyzer;
using quaverly::mpeg::FileView;
using quaverly::mpeg::TagSize;

constexpr std::size_t kPrefix = 4;
constexpr const char* kPath = "/fuzz/input.mp3";

class InputTagSizes final : public quaverly::mpeg::TagSizeSource {
public:
    bool fromHeader = false;
    std::int64_t bytes = 0;
    bool asked = false; // not when the file's tag headers settle the size

    TagSize PrependedBytes(const std::string& /*path*/, quaverly::mpeg::PrereadFile& /*file*/,
                           FileView& view, const CancelCheck& /*cancelled*/) override {
        asked = true;
        if (fromHeader) {
            return {quaverly::mpeg::StatedTagSize(view), "the tag library is not asked"};
        }
        return {bytes, std::nullopt};
    }
};

// The byte the analyser sees at `offset`: the file's own where it has one, zero elsewhere.
unsigned char SeenByte(std::span<const unsigned char> file, std::uint64_t size,
                       std::int64_t offset) {
    const auto at = static_cast<std::uint64_t>(offset);
    return at < size && at < file.size() ? file[at] : 0;
}

std::uint32_t SeenWord(std::span<const unsigned char> file, std::uint64_t size,
                       std::int64_t offset) {
    std::uint32_t word = 0;
    for (std::int64_t i = 0; i < 4; ++i) {
        word = (word << 8) | SeenByte(file, size, offset + i);
    }
    return word;
}

// The analyser's view reads 256 KiB blocks, more than any input holds, so its block edges are
// walked here with a view of small blocks: every word of a span, words read backwards across
// the edges, and copies that start anywhere and run over several blocks.
void CheckFileView(quaverly::platform::InputFile& input, std::span<const unsigned char> file,
                   std::uint64_t size, std::size_t blockSize) {
    // The bytes as the view must show them, with room for a word at the last position and a
    // copy that runs past the end. Compared with memcmp: a byte loop here would have every
    // comparison traced by the fuzzer.
    const auto end = static_cast<std::int64_t>(size);
    std::vector<unsigned char> copy(3 * blockSize + 5);
    std::vector<unsigned char> seen(static_cast<std::size_t>(end) + copy.size() + 8, 0);
    std::memcpy(seen.data(), file.data(), std::min<std::size_t>(file.size(), seen.size()));
    std::fill(seen.begin() + end, seen.end(), 0);

    FileView view(blockSize);
    view.Attach(input, end);
    for (std::int64_t position = 0; position < end;) {
        const FileView::Span span = view.WordsFrom(position);
        FUZZ_CHECK(span.count > 0 && position + span.count <= end);
        FUZZ_CHECK(std::memcmp(span.data, seen.data() + position,
                               static_cast<std::size_t>(span.count) + 3) == 0);
        position += span.count;
    }
    FUZZ_CHECK(view.WordsFrom(end).count == 0);
    const auto stride = static_cast<std::int64_t>(blockSize / 3 + 1);
    for (std::int64_t position = end + 3; position >= 0; position -= stride) {
        FUZZ_CHECK(view.WordAt(position) == SeenWord(file, size, position));
    }
    const std::int64_t step = static_cast<std::int64_t>(blockSize) - 1;
    for (std::int64_t offset = 0; offset < end + 8; offset += step) {
        const std::size_t count = static_cast<std::size_t>(offset) % copy.size() + 1;
        view.Copy(offset, copy.data(), count);
        FUZZ_CHECK(std::memcmp(copy.data(), seen.data() + offset, count) == 0);
    }
    view.Detach();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPrefix) {
        return 0;
    }
    // One file system and one analyser for the whole run, as the program keeps them: the
    // analyser's window is allocated once.
    static quaverly::testing::MemoryFileSystem files;
    static CMp3Analyzer analyzer(files);
    static InputTagSizes tagSizes;
    analyzer.SetTagSizeSource(&tagSizes);

    const std::span<const unsigned char> file(data + kPrefix, size - kPrefix);
    tagSizes.fromHeader = (data[0] & 1) != 0;
    tagSizes.bytes = data[1] | (data[2] << 8);
    tagSizes.asked = false;
    std::uint64_t statedSize = file.size();
    switch ((data[0] >> 1) & 3) {
    case 1:
        statedSize += std::uint64_t{data[3]} * 17;
        break;
    case 2:
        statedSize -= std::min<std::uint64_t>(statedSize, data[3]);
        break;
    default:
        break;
    }
    files.Serve(kPath, file, statedSize);

    // The row's two cells, as the page writes them for every MP3 file.
    std::string page;
    {
        quaverly::listing::PageWriter writer(
            std::make_unique<quaverly::testing::MemoryOutputFile>(page));
        quaverly::listing::RunReport report;
        quaverly::listing::RowShading shading;
        quaverly::listing::HtmlFormat html;
        const quaverly::mpeg::ScanSources sources{files, &tagSizes};
        quaverly::listing::WriteFileRow(kPath, writer, analyzer, sources, shading, report, html);
        writer.Close();
        // The scan's own value and the analyser's operations say the same.
        FUZZ_CHECK(analyzer.LastScan().bitrate == analyzer.GetBitrate());
        // Only the tag size taken from the header is reported, as the tag helper's failure.
        FUZZ_CHECK(report.Failures().size() == (tagSizes.asked && tagSizes.fromHeader ? 1U : 0U));
    }
    FUZZ_CHECK(!analyzer.OpenFailure());
    {
        const auto input = files.OpenForReading(kPath);
        CheckFileView(*input, file, statedSize, std::size_t{16} << ((data[0] >> 3) & 7));
    }

    const std::int64_t offset = analyzer.m_nFrameOffset;
    const std::int32_t bitrate = analyzer.GetBitrate();
    FUZZ_CHECK(page == std::string(quaverly::listing::kFirstFileRowStart) + "input.mp3</td><td> " +
                           std::to_string(bitrate) + " Kbs");
    if (offset < 0) {
        FUZZ_CHECK(offset == -1);
        FUZZ_CHECK(bitrate == 0);
        return 0;
    }

    // A frame: inside the file, behind the tag, and confirmed by a valid follower or by the end
    // of the file.
    const auto stated = static_cast<std::int64_t>(statedSize);
    FUZZ_CHECK(offset < stated);
    if (tagSizes.asked && !tagSizes.fromHeader) {
        FUZZ_CHECK(offset >= tagSizes.bytes);
    }
    const std::uint32_t word = analyzer.m_dwHeader;
    FUZZ_CHECK(quaverly::mpeg::IsValidHeaderWord(word));
    FUZZ_CHECK(word == SeenWord(file, statedSize, offset));
    const std::int32_t length = analyzer.GetFrameLength();
    FUZZ_CHECK(length > 0);
    FUZZ_CHECK(offset + length < stated);
    FUZZ_CHECK(quaverly::mpeg::IsValidHeaderWord(SeenWord(file, statedSize, offset + length)));

    FUZZ_CHECK(analyzer.GetSampleRate() > 0);
    FUZZ_CHECK(analyzer.GetHeaderBitrate() > 0);
    const float version = analyzer.GetMpegVersion();
    FUZZ_CHECK(version == 1.0F || version == 2.0F || version == 2.5F);

    // The "Xing" probe: the flag says whether the tag is there, and only then is the count the
    // one it holds.
    const std::int64_t probe = offset + quaverly::mpeg::XingProbeOffset(word);
    const bool xing = SeenByte(file, statedSize, probe) == 'X' &&
                      SeenByte(file, statedSize, probe + 1) == 'i' &&
                      SeenByte(file, statedSize, probe + 2) == 'n' &&
                      SeenByte(file, statedSize, probe + 3) == 'g';
    FUZZ_CHECK(analyzer.m_bVbr == (xing ? 1 : 0));
    if (xing) {
        FUZZ_CHECK(analyzer.GetFrameCount() ==
                   static_cast<std::int32_t>(SeenWord(file, statedSize, probe + 8)));
    } else {
        FUZZ_CHECK(analyzer.GetFrameCount() == -1);
    }
    FUZZ_CHECK(bitrate >= 0);
    if (!xing || analyzer.GetFrameCount() <= 0) {
        FUZZ_CHECK(bitrate == analyzer.GetHeaderBitrate());
    }
    return 0;
}
