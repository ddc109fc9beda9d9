// Speed of the MPEG analyser on three kinds of file, hot in the page cache:
//  - a typical 120 KB VBR file with an ID3v2.3 tag (and an ID3v1 tag at the end),
//  - a 5 MB file whose tag holds a 300 KB picture,
//  - 50 MB of random bytes, in which no frame is confirmed: the scan reads it to the end.
// For each, the whole analysis (tag size, scan, "Xing" probe, bitrate) and, for comparison,
// id3lib's Link(path) alone, which is how the tag size would be had without our reader.
// Also the peak resident memory before and after, which shows what analysing costs in memory.
//
// Usage: analyser_bench [scale]   (scale multiplies the iteration counts; default 1)

#include "mpeg/frame_header.h"
#include "mpeg/mp3_analyzer.h"

#include <id3/tag.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

void Append(Bytes& out, const Bytes& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes Word(std::uint32_t word) {
    return {static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
            static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
}

Bytes Synchsafe(std::uint32_t size) {
    return {static_cast<unsigned char>((size >> 21) & 0x7F),
            static_cast<unsigned char>((size >> 14) & 0x7F),
            static_cast<unsigned char>((size >> 7) & 0x7F),
            static_cast<unsigned char>(size & 0x7F)};
}

// An ID3v2.3 frame: identifier, 32-bit size, flags, content.
Bytes Id3Frame(const char* id, const Bytes& content) {
    Bytes frame(id, id + 4);
    Append(frame, Word(static_cast<std::uint32_t>(content.size())));
    Append(frame, {0, 0});
    Append(frame, content);
    return frame;
}

Bytes Text(const std::string& text) {
    Bytes content = {0}; // ISO-8859-1
    content.insert(content.end(), text.begin(), text.end());
    return content;
}

// An ID3v2.3 tag with the usual text frames, a picture of `pictureBytes` when asked, and
// 1 KiB of padding, as taggers leave it.
Bytes Id3v23Tag(std::size_t pictureBytes, std::mt19937& random) {
    Bytes frames;
    Append(frames, Id3Frame("TIT2", Text("A Song of Moderate Length")));
    Append(frames, Id3Frame("TPE1", Text("The Benchmark Players")));
    Append(frames, Id3Frame("TALB", Text("Figures and Measures")));
    Append(frames, Id3Frame("TYER", Text("2024")));
    Append(frames, Id3Frame("TRCK", Text("7/12")));
    Append(frames, Id3Frame("TCON", Text("(17)")));
    Append(frames, Id3Frame("TSSE", Text("LAME 64bits version 3.100")));
    if (pictureBytes > 0) {
        Bytes picture = Text("image/jpeg");
        Append(picture, {0, 3, 0}); // end of MIME type, front cover, empty description
        Append(picture, {0xFF, 0xD8, 0xFF, 0xE0});
        while (picture.size() < pictureBytes) {
            picture.push_back(static_cast<unsigned char>(random()));
        }
        Append(frames, Id3Frame("APIC", picture));
    }
    frames.resize(frames.size() + 1024, 0);
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    Append(tag, Synchsafe(static_cast<std::uint32_t>(frames.size())));
    Append(tag, frames);
    return tag;
}

// MPEG 1 Layer III at 44.1 kHz: a "Xing" frame, then frames of varying bitrate with random
// bodies, up to about `audioBytes`.
Bytes VbrAudio(std::size_t audioBytes, std::mt19937& random) {
    Bytes audio;
    const std::uint32_t xingWord = 0xFFFB9000;
    Bytes xing(417, 0);
    std::copy_n(Word(xingWord).begin(), 4, xing.begin());
    const Bytes header = {'X', 'i', 'n', 'g', 0, 0, 0, 0x0F};
    std::copy(header.begin(), header.end(), xing.begin() + 36);
    Append(audio, xing);
    std::uint32_t frames = 0;
    while (audio.size() < audioBytes) {
        const std::uint32_t index = 9 + random() % 4; // 128 to 192 kbit/s
        const std::uint32_t word = 0xFFFB0000 | (index << 12);
        Bytes frame(static_cast<std::size_t>(quaverly::mpeg::FrameLength(word)));
        for (unsigned char& byte : frame) {
            byte = static_cast<unsigned char>(random());
        }
        std::copy_n(Word(word).begin(), 4, frame.begin());
        Append(audio, frame);
        ++frames;
    }
    std::copy_n(Word(frames).begin(), 4, audio.begin() + 44);
    return audio;
}

Bytes Id3v1Tag() {
    Bytes tag = {'T', 'A', 'G'};
    tag.resize(128, ' ');
    return tag;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Random bytes written a megabyte at a time, so that making the file does not swell the
// process's peak memory.
void WriteRandomFile(const fs::path& path, std::size_t megabytes, std::mt19937& random) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint32_t> chunk(1024 * 1024 / 4);
    for (std::size_t i = 0; i < megabytes; ++i) {
        for (std::uint32_t& word : chunk) {
            word = static_cast<std::uint32_t>(random());
        }
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(chunk.size() * 4));
    }
}

// Random data holds a confirmed pair of frame headers every few tens of megabytes; clear the
// first byte of each until the scan has to read the whole file. Returns how many were cleared.
int DefuseFrames(const fs::path& path) {
    quaverly::mpeg::FileScanner scanner;
    const quaverly::mpeg::ScanSources sources{quaverly::platform::SystemFileSystem()};
    int cleared = 0;
    for (;;) {
        const quaverly::mpeg::FileScan scan = scanner.Scan(path.string(), sources);
        if (!scan.HasFrame()) {
            return cleared;
        }
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(scan.frameOffset);
        file.put('\0');
        ++cleared;
    }
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

using Clock = std::chrono::steady_clock;

struct Result {
    double microseconds;
    std::int32_t bitrate;
    std::int64_t frameOffset;
};

Result TimeAnalysis(quaverly::CMp3Analyzer& analyzer, const std::string& path, int iterations) {
    std::int32_t bitrate = 0;
    const auto analyse = [&] {
        analyzer.FindFirstFrame(path);
        bitrate = analyzer.LastScan().bitrate;
    };
    analyse(); // warm the cache
    const auto start = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        analyse();
    }
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    return {elapsed.count() / iterations, bitrate, analyzer.LastScan().frameOffset};
}

double TimeLinkPath(const std::string& path, int iterations) {
    const auto link = [&] {
        ID3_Tag tag;
        tag.Link(path.c_str(), ID3TT_ALL);
        const auto bytes = tag.GetPrependedBytes();
        tag.Clear();
        return bytes;
    };
    link();
    const auto start = Clock::now();
    for (int i = 0; i < iterations; ++i) {
        link();
    }
    const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
    return elapsed.count() / iterations;
}

} // namespace

int main(int argc, char** argv) {
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    std::string pattern = (fs::temp_directory_path() / "quaverly-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    std::mt19937 random(2024);

    const fs::path typical = dir / "typical_vbr_id3v23.mp3";
    {
        Bytes file = Id3v23Tag(0, random);
        Append(file, VbrAudio(118 * 1024, random));
        Append(file, Id3v1Tag());
        WriteFile(typical, file);
    }
    const fs::path picture = dir / "picture_300k_5mb.mp3";
    {
        Bytes file = Id3v23Tag(300 * 1024, random);
        Append(file, VbrAudio(5 * 1024 * 1024 - file.size(), random));
        Append(file, Id3v1Tag());
        WriteFile(picture, file);
    }
    const fs::path noise = dir / "random_50mb.mp3";
    WriteRandomFile(noise, 50, random);
    const int defused = DefuseFrames(noise);
    const long peakBefore = PeakKilobytes();

    quaverly::CMp3Analyzer analyzer;
    struct Case {
        const char* label;
        fs::path path;
        int iterations;
    };
    const Case cases[] = {
        {"typical 120 KB VBR, ID3v2.3 tag", typical, 4000 * scale},
        {"5 MB, 300 KB picture in the tag", picture, 1000 * scale},
        {"50 MB random bytes, no frame", noise, 20 * scale},
    };
    std::printf("%-34s %10s %10s %12s %9s %8s %8s\n", "file", "size", "analyse", "Link(path)",
                "speed-up", "offset", "kbit/s");
    for (const Case& c : cases) {
        const Result result = TimeAnalysis(analyzer, c.path.string(), c.iterations);
        const double link = TimeLinkPath(c.path.string(), std::max(1, c.iterations / 4));
        std::printf("%-34s %10ju %8.1f us %9.1f us %8.1fx %8lld %8d\n", c.label,
                    static_cast<std::uintmax_t>(fs::file_size(c.path)), result.microseconds, link,
                    link / result.microseconds, static_cast<long long>(result.frameOffset),
                    result.bitrate);
        if (c.path == noise) {
            const double megabytes = static_cast<double>(fs::file_size(c.path)) / 1e6;
            std::printf("%-34s %10s %8.0f MB/s (analysis)  %.0f MB/s (Link(path) alone)\n", "", "",
                        megabytes / (result.microseconds / 1e6), megabytes / (link / 1e6));
        }
    }
    std::printf("(%d confirmed pairs of headers in the random bytes were broken up first)\n",
                defused);
    const long peakAfter = PeakKilobytes();
    std::printf("peak resident memory: %ld KiB before analysing, %ld KiB after (+%ld KiB; the "
                "largest file is %ju KiB)\n",
                peakBefore, peakAfter, peakAfter - peakBefore,
                static_cast<std::uintmax_t>(fs::file_size(noise) / 1024));

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
