// Writes the listing of a made-up collection in one format, rows made through the format (no
// files on disk), and prints its size and what it cost: the page the browser timings of
// bench/catalogue-browser open, or the records and workbook that bench/xlsx-vs-csv times.
//
//   format_bench [--format FORMAT] [--files N] [--output FILE]
//
//   --format FORMAT  catalogue (the default), csv, jsonl or xlsx
//   --files N        files in the collection (default 100000): albums of 12 tagged tracks by
//                    artists of 3 albums, each album with a cover.jpg beside its tracks
//   --output FILE    where the listing goes (default mp3_catalogue.html)
//
// The tracks are as a collection has them: most LAME -V 2, some -V 0 and CBR 320, 192 and
// 128, a few by another encoder, 1 in 50 with a health finding; titles of two to four words.

#include "listing/catalogue_format.h"
#include "listing/xlsx_format.h"
#include "platform/file_system.h"

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace quaverly;

constexpr std::array<const char*, 24> kWords = {
    "Blue",   "Night",  "River", "Song",    "Light",  "Dance", "Heart", "Rain",
    "Fire",   "Summer", "Road",  "Dream",   "Stone",  "Wind",  "Home",  "Gold",
    "Shadow", "Ocean",  "Ghost", "Morning", "Silver", "Train", "Echo",  "Garden"};

struct Preset {
    const char* mode;
    const char* settings;
    const char* encoder;
    int kbps;
};
constexpr std::array<Preset, 6> kPresets = {{{"VBR", "-V 2", "LAME3.100", 190},
                                             {"VBR", "-V 0", "LAME3.100", 245},
                                             {"CBR", "-b 320", "LAME3.99r", 320},
                                             {"CBR", "-b 192", "LAME3.98r", 192},
                                             {"CBR", "-b 128", "LAME3.97", 128},
                                             {"VBR", "", "Lavc58.13", 160}}};

// Which preset an album is encoded with: 14 of 20 the first, the rest by turns.
const Preset& PresetOf(int album) {
    const int turn = album % 20;
    return kPresets[turn < 14 ? 0 : static_cast<std::size_t>(turn - 13) % kPresets.size()];
}

std::string Words(unsigned seed, int count) {
    std::string words;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245U + 12345U;
        words += (i == 0 ? "" : " ");
        words += kWords[(seed >> 16) % kWords.size()];
    }
    return words;
}

class NullFile final : public platform::OutputFile {
public:
    explicit NullFile(std::FILE* file) : m_file(file) {}
    void Write(const char* data, std::size_t size) override {
        written += size;
        std::fwrite(data, 1, size, m_file);
    }
    void Close() override { std::fclose(m_file); }
    std::size_t written = 0;

private:
    std::FILE* m_file;
};

} // namespace

int main(int argc, char** argv) {
    long files = 100000;
    std::string output = "mp3_catalogue.html";
    std::string formatName = "catalogue";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0) {
            files = std::stol(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--output") == 0) {
            output = argv[i + 1];
        } else if (std::strcmp(argv[i], "--format") == 0) {
            formatName = argv[i + 1];
        }
    }
    std::unique_ptr<listing::ListingFormat> made;
    if (formatName == "catalogue") {
        made = std::make_unique<listing::CatalogueFormat>(std::string("../Music/"));
    } else if (formatName == "csv") {
        made = std::make_unique<listing::CsvFormat>();
    } else if (formatName == "jsonl") {
        made = std::make_unique<listing::JsonLinesFormat>();
    } else if (formatName == "xlsx") {
        made = std::make_unique<listing::XlsxFormat>(platform::SystemFileSystem());
    } else {
        std::fprintf(stderr, "format_bench: no format %s\n", formatName.c_str());
        return 2;
    }
    listing::ListingFormat& format = *made;
    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        std::perror(output.c_str());
        return 2;
    }
    auto file = std::make_unique<NullFile>(out);
    NullFile& counted = *file;
    listing::PageWriter page(std::move(file));
    const auto start = std::chrono::steady_clock::now();
    const std::string root = "/music";
    format.Begin(page, root);
    long written = 0;
    int albums = 0;
    for (int artist = 0; written < files; ++artist) {
        const std::string artistName = Words(static_cast<unsigned>(artist) * 7919U, 2);
        const std::string artistFolder = root + "/" + artistName + " " + std::to_string(artist);
        for (int album = 0; album < 3 && written < files; ++album, ++albums) {
            const std::string albumName = Words(static_cast<unsigned>(albums) * 104729U, 3);
            const std::string folder =
                artistFolder + "/" + std::to_string(1990 + albums % 30) + " - " + albumName;
            format.FolderRow(page, folder);
            const Preset& preset = PresetOf(albums);
            for (int track = 1; track <= 12 && written < files; ++track, ++written) {
                mpeg::FileScan scan;
                const double seconds =
                    150.0 +
                    static_cast<double>(written * 37 % 240 * 1000 + written % 1000) / 1000.0;
                const int kbps = preset.kbps + (preset.mode[0] == 'V' ? track % 20 - 10 : 0);
                scan.size = static_cast<std::int64_t>(seconds * kbps * 125) + 250000;
                scan.bitrate = kbps;
                mpeg::StreamFacts& facts = scan.facts.emplace();
                facts.mpegVersion = 1;
                facts.layer = 3;
                facts.sampleRate = 44100;
                facts.channelMode = 1;
                facts.vbrHeader = preset.mode[0] == 'V' ? "Xing" : "Info";
                facts.durationSource = facts.vbrHeader;
                facts.frames = static_cast<std::int64_t>(seconds * 44100 / 1152) + 1;
                facts.seconds = seconds;
                facts.averageBitrate = kbps;
                facts.tagBytes = 250000;
                facts.bitrateMode = preset.mode;
                facts.encoderSettings = preset.settings;
                facts.health = written % 50 == 7 ? 1U : 0U;
                auto& tag = facts.encoderTag.emplace();
                tag.encoder = preset.encoder;
                tag.fieldsKnown = true;
                tag.lowpassHz = 19500;
                tag.delay = 576;
                tag.padding = static_cast<int>(written * 131 % 1152);
                tag.tagCrcHolds = true;
                mpeg::TagFields& tags = scan.tags.emplace();
                tags.artist = artistName;
                tags.album = albumName;
                tags.title =
                    Words(static_cast<unsigned>(written), 2 + static_cast<int>(written % 3));
                tags.track = std::to_string(track) + "/12";
                tags.year = std::to_string(1990 + albums % 30);
                tags.genre = "Rock";
                tags.cover = mpeg::TagPicture{3, "front cover", "image/jpeg", 250000 - 2000};
                char number[8];
                std::snprintf(number, sizeof number, "%02d", track);
                const std::string name = std::string(number) + " - " + tags.title + ".mp3";
                const std::string path = folder + "/" + name;
                format.WriteFileRow(
                    page, listing::FileRow{path, name, listing::RowShade::Plain, &scan, scan.size});
            }
            const std::string cover = folder + "/cover.jpg";
            format.WriteFileRow(page, listing::FileRow{cover, "cover.jpg", listing::RowShade::Plain,
                                                       nullptr, 248000});
        }
        format.FolderRow(page, artistFolder);
    }
    format.FolderRow(page, root);
    format.End(page, listing::RunReport());
    page.Close();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s of %ld tracks and %d covers in %d folders: %zu bytes, %.1f bytes a "
                "track, %.0f ms, peak memory %ld KiB\n",
                formatName.c_str(), written, albums, albums + albums / 3 + 1, counted.written,
                static_cast<double>(counted.written) / static_cast<double>(written), ms,
                usage.ru_maxrss);
    return 0;
}
