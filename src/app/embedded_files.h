#pragma once

#include <cstddef>
#include <span>

namespace quaverly::app {

// A file of res/ built into the program, so that it runs from its build folder as installed.
struct EmbeddedFile {
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

std::span<const EmbeddedFile> EmbeddedFiles();

} // namespace quaverly::app
