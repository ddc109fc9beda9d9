#include "library.h"

#include "mpeg/crc16.h"

#include <array>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>

namespace quaverly::bench {

namespace {

void PutSyncsafe(std::string& out, std::size_t value) {
    for (int shift = 21; shift >= 0; shift -= 7) {
        out.push_back(static_cast<char>((value >> shift) & 0x7F));
    }
}

void PutBigEndian(std::string& out, std::size_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void AddTextFrame(std::string& frames, std::string_view id, std::string_view text) {
    frames.append(id);
    PutBigEndian(frames, text.size() + 1);
    frames.append(2, '\0');
    frames.push_back('\0'); // ISO-8859-1
    frames.append(text);
}

// Bytes as random as a compressed picture's, behind the start of a JPEG file.
std::string Picture(std::size_t bytes, std::mt19937& random) {
    std::string picture("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
    while (picture.size() < bytes) {
        picture.push_back(static_cast<char>(random() & 0xFF));
    }
    return picture;
}

// An ID3v2.3 tag with title, artist and album, and `picture` as its front cover when not empty.
std::string Id3v2Tag(std::size_t number, const std::string& picture,
                     const std::string& album = "Made-up Album") {
    std::string frames;
    AddTextFrame(frames, "TIT2", "Track " + std::to_string(number));
    AddTextFrame(frames, "TPE1", "Made-up Artist");
    AddTextFrame(frames, "TALB", album);
    AddTextFrame(frames, "TRCK", std::to_string(number));
    if (!picture.empty()) {
        std::string body;
        body.push_back('\0');
        body.append("image/jpeg");
        body.push_back('\0');
        body.push_back('\x03'); // front cover
        body.push_back('\0');   // empty description
        body.append(picture);
        frames.append("APIC");
        PutBigEndian(frames, body.size());
        frames.append(2, '\0');
        frames.append(body);
    }
    frames.append(256, '\0'); // padding, as taggers leave it
    std::string tag = "ID3";
    tag.push_back('\x03');
    tag.push_back('\0');
    tag.push_back('\0');
    PutSyncsafe(tag, frames.size());
    return tag + frames;
}

// MPEG-1 Layer III frames at 44.1 kHz behind a first frame that holds the encoder's headers, as
// encoders write them: "Xing" ahead of audio whose bitrate changes from frame to frame, "Info"
// ahead of a constant bitrate, each with the frames, the bytes, a table of contents and the
// quality, and the encoder's tag with its delay, padding and CRCs.
// Without `withHeaders`, a constant bitrate comes with none, as older encoders wrote it.
std::string Audio(std::size_t bytes, bool variable, bool withHeaders = true) {
    constexpr std::array<std::uint8_t, 4> kIndexes{9, 10, 11, 9}; // 128, 160, 192, 128
    constexpr std::array<std::size_t, 4> kLengths{417, 522, 626, 417};
    std::string audio;
    std::size_t frame = 0;
    while (audio.size() < bytes) {
        const std::size_t which = variable ? frame % kIndexes.size() : 0;
        std::string header{'\xFF', '\xFB', static_cast<char>(kIndexes[which] << 4), '\x40'};
        audio += header + std::string(kLengths[which] - 4, '\x55');
        ++frame;
    }
    if (!withHeaders && !variable) {
        return audio;
    }
    std::string xing = variable ? "Xing" : "Info";
    PutBigEndian(xing, 0x0F);
    PutBigEndian(xing, frame - 1); // the audio's frames, the header's own left out
    PutBigEndian(xing, audio.size());
    for (int percent = 0; percent < 100; ++percent) {
        xing.push_back(static_cast<char>(percent * 256 / 100));
    }
    PutBigEndian(xing, 78);
    std::string tag(36, '\0');
    tag.replace(0, 9, "LAME3.100");
    tag[9] = variable ? '\x04' : '\x01';
    tag[10] = static_cast<char>(170); // lowpass 17 kHz
    tag[20] = variable ? '\x20' : '\x80';
    tag.replace(21, 3, "\x24\x03\xF0"); // delay 576, padding 1,008
    tag[26] = variable ? '\x01' : '\x00';
    tag[27] = variable ? '\xE0' : '\x80'; // -V 2 (480), or 128
    std::string length;
    PutBigEndian(length, audio.size());
    tag.replace(28, 4, length);
    const auto* data = reinterpret_cast<const unsigned char*>(audio.data());
    const std::uint16_t music = mpeg::TagCrc16(data + kLengths[0], audio.size() - kLengths[0]);
    tag[32] = static_cast<char>(music >> 8);
    tag[33] = static_cast<char>(music & 0xFF);
    audio.replace(36, xing.size() + tag.size(), xing + tag);
    const std::size_t crcAt = 36 + xing.size() + 34;
    const std::uint16_t crc = mpeg::TagCrc16(data, crcAt);
    audio[crcAt] = static_cast<char>(crc >> 8);
    audio[crcAt + 1] = static_cast<char>(crc & 0xFF);
    return audio;
}

} // namespace

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t MakeLibrary(const std::string& root, const LibraryShape& shape) {
    std::mt19937 random(12345);
    const std::string cbr = Audio(shape.audioBytes, false, false);
    const std::string vbr = Audio(shape.audioBytes, true);
    const std::string cover(8 * 1024, '\x42');
    std::size_t written = 0;
    const std::size_t albumsPerArtist = 10;
    for (std::size_t folder = 0; folder < shape.folders; ++folder) {
        const std::filesystem::path album = std::filesystem::path(root) /
                                            ("Artist " + std::to_string(folder / albumsPerArtist)) /
                                            ("Album " + std::to_string(folder % albumsPerArtist));
        std::filesystem::create_directories(album);
        for (std::size_t file = 0; file < shape.filesPerFolder; ++file, ++written) {
            const std::size_t number = folder * shape.filesPerFolder + file;
            if (file == 0) {
                WriteBytes(album / "cover.jpg", cover);
                continue;
            }
            if (file == 1) {
                WriteBytes(album / "notes.txt", "ripped from the original disc\n");
                continue;
            }
            const bool picture = shape.pictureEvery != 0 && number % shape.pictureEvery == 0;
            const std::string tag =
                Id3v2Tag(number, picture ? Picture(shape.pictureBytes, random) : std::string());
            const bool variable = number % 2 == 0;
            WriteBytes(album / ("Track " + std::to_string(file) + ".mp3"),
                       tag + (variable ? vbr : cbr));
        }
    }
    return written;
}

std::size_t MakeCollection(const std::string& root, const CollectionShape& shape) {
    std::mt19937 random(54321);
    // Encoders write an "Info" frame ahead of constant-bitrate audio, and a "Xing" frame ahead
    // of variable.
    const std::string cbr = Audio(shape.audioBytes, false);
    const std::string vbr = Audio(shape.audioBytes, true);
    std::size_t written = 0;
    for (std::size_t album = 0; written < shape.files; ++album) {
        const std::string name = "Album " + std::to_string(album);
        const std::filesystem::path folder = std::filesystem::path(root) /
                                             ("Artist " + std::to_string(album / 5)) / name;
        std::filesystem::create_directories(folder);
        std::string cover;
        if (random() % 5 < shape.coversInFive) {
            const std::size_t span = shape.largestCover - shape.smallestCover + 1;
            cover = Picture(shape.smallestCover + random() % span, random);
        }
        const bool variable = album % 3 == 0;
        for (std::size_t track = 1; track <= shape.tracksPerAlbum && written < shape.files;
             ++track, ++written) {
            char file[32];
            std::snprintf(file, sizeof file, "%02zu Track %zu.mp3", track, track);
            WriteBytes(folder / file, Id3v2Tag(track, cover, name) + (variable ? vbr : cbr));
        }
    }
    return written;
}

void RemoveTree(const std::string& root) {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

} // namespace quaverly::bench
