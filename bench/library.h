#pragma once

// A made-up music library for the benchmarks: folders of tagged MP3 files, constant and
// variable bitrate, some tags with a picture, and a few files of other kinds.

#include <cstddef>
#include <string>

namespace quaverly::bench {

struct LibraryShape {
    std::size_t folders = 250;
    std::size_t filesPerFolder = 20;
    // Bytes of audio per MP3 file; the tags come on top.
    std::size_t audioBytes = 96 * 1024;
    // One MP3 file in this many has a picture of pictureBytes in its tag.
    std::size_t pictureEvery = 5;
    std::size_t pictureBytes = 24 * 1024;
};

// A library like a real collection: albums of tracks, every track tagged with its title,
// artist, album and number, most albums with a front cover in every track's tag, and tracks
// whose heads are those of real tracks (an "Info" or "Xing" frame, then audio) though short.
struct CollectionShape {
    std::size_t files = 3000;
    std::size_t tracksPerAlbum = 12;
    // Albums with a cover, in five.
    std::size_t coversInFive = 4;
    std::size_t smallestCover = 100 * 1024;
    std::size_t largestCover = 600 * 1024;
    std::size_t audioBytes = 96 * 1024;
};

// Writes the library below `root` and returns the number of files written.
std::size_t MakeLibrary(const std::string& root, const LibraryShape& shape);

std::size_t MakeCollection(const std::string& root, const CollectionShape& shape);

void WriteBytes(const std::string& path, const std::string& bytes);

// Removes a folder tree.
void RemoveTree(const std::string& root);

} // namespace quaverly::bench
