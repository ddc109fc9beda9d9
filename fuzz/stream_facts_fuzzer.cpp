// A scan asked for everything the records show, over arbitrary bytes: the encoder's tag, the
// tags that close a file, the walk of every frame with its CRCs, and the playing time. Whatever
// the bytes, the facts stay within what the file can hold, each record of them is one whole
// line, and the CRC of the bytes is the same on every path the processor has.
//
// Input layout:
//   byte 0     bit 0: the file's stated size is more than its bytes (it shrank after it was
//              measured), by byte 1 times 4 KiB
//   byte 1     how far the size is off
//   bytes 2-   the file

#include "fuzz_check.h"
#include "listing/page_writer.h"
#include "listing/record_formats.h"
#include "mpeg/crc16.h"
#include "mpeg/file_scan.h"
#include "mpeg/frame_header.h"
#include "mpeg/tag_size_source.h"
#include "support/memory_file_system.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kPrefix = 2;

// The size the tag's header states, as when the tag helpers cannot be asked: the ID3 tag
// library, which a damaged tag can crash, stays out of this target.
class StatedTagSizes final : public quaverly::mpeg::TagSizeSource {
public:
    quaverly::mpeg::TagSize PrependedBytes(const std::string& /*path*/,
                                           quaverly::mpeg::PrereadFile& /*file*/,
                                           quaverly::mpeg::FileView& view,
                                           const CancelCheck& /*cancelled*/) override {
        return {quaverly::mpeg::StatedTagSize(view), std::nullopt};
    }
};

// The record of `scan` in `format`, as it writes it.
std::string Record(quaverly::listing::RecordFormat& format, const quaverly::mpeg::FileScan& scan,
                   std::int64_t size) {
    std::string written;
    quaverly::listing::PageWriter page(
        std::make_unique<quaverly::testing::MemoryOutputFile>(written));
    format.Begin(page, "/");
    format.WriteFileRow(page,
                        {.path = "/fuzz.mp3", .name = "fuzz.mp3", .mp3 = &scan, .size = size});
    page.Close();
    return written;
}

void CheckRecords(const quaverly::mpeg::FileScan& scan, std::int64_t size) {
    using namespace quaverly::listing;
    JsonLinesFormat json;
    const std::string line = Record(json, scan, size);
    // Every byte a stranger wrote is escaped: the only byte below a space is the line's end.
    FUZZ_CHECK(line.size() > 2 && line.front() == '{' && line.ends_with("}\n"));
    FUZZ_CHECK(std::none_of(line.begin(), line.end() - 1,
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
    CsvFormat csv;
    FUZZ_CHECK(Record(csv, scan, size).ends_with("\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quaverly;
    if (size < kPrefix) {
        return 0;
    }
    const std::span<const unsigned char> file(data + kPrefix, size - kPrefix);
    const std::uint64_t stated =
        file.size() + ((data[0] & 1) != 0 ? static_cast<std::uint64_t>(data[1]) * 4096 : 0);
    testing::MemoryFileSystem files;
    files.Serve("/fuzz.mp3", file, stated);
    mpeg::FileScanner scanner;
    StatedTagSizes tagSizes;
    const mpeg::FileScan scan = scanner.Scan(
        "/fuzz.mp3", {files,
                      &tagSizes,
                      {},
                      {.streamFacts = true, .playingTime = true, .tags = true, .verify = true}});
    for (const auto path : {mpeg::CrcPath::kFolded, mpeg::CrcPath::kWideFolded}) {
        if (mpeg::CanUse(path)) {
            FUZZ_CHECK(mpeg::TagCrc16On(path, file.data(), file.size(), data[1]) ==
                       mpeg::TagCrc16On(mpeg::CrcPath::kTables, file.data(), file.size(), data[1]));
        }
    }
    CheckRecords(scan, static_cast<std::int64_t>(stated));
    if (!scan.facts) {
        FUZZ_CHECK(!scan.HasFrame() || scan.readFailure);
        return 0;
    }
    const mpeg::StreamFacts& facts = *scan.facts;
    const auto bytes = static_cast<std::int64_t>(stated);
    FUZZ_CHECK(std::isfinite(facts.seconds) && facts.seconds >= 0);
    FUZZ_CHECK(facts.averageBitrate >= 0);
    FUZZ_CHECK(facts.frames >= 0);
    const std::string_view source = facts.durationSource;
    FUZZ_CHECK(source == "Xing" || source == "Info" || source == "VBRI" || source == "frames" ||
               source == "estimate");
    // Frames that were counted lie in the file: each takes more than its 4-byte header.
    if (facts.verifiedFrames) {
        FUZZ_CHECK(*facts.verifiedFrames >= 0 && *facts.verifiedFrames * 4 <= bytes);
    }
    if (source == "frames") {
        FUZZ_CHECK(facts.frames * 4 <= bytes);
    }
    if (facts.junkInsideAt) {
        FUZZ_CHECK(*facts.junkInsideAt > scan.frameOffset && *facts.junkInsideAt < bytes);
    }
    for (const std::string_view word : mpeg::HealthWords(facts.health)) {
        FUZZ_CHECK(!word.empty());
    }
    if (facts.encoderTag) {
        FUZZ_CHECK(facts.encoderTag->encoder.size() >= 4 && facts.encoderTag->encoder.size() <= 9);
        FUZZ_CHECK(facts.encoderTag->delay < 4096 && facts.encoderTag->padding < 4096);
    }
    return 0;
}
