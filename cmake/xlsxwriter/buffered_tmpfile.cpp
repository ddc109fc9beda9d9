// The library's temporary files with large buffers; see buffered_tmpfile.h.
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "xlsxwriter/utility.h"

namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20U;

std::mutex buffersGuard;
// Each file's buffer, until the file is closed (workbooks may be written on several threads).
std::map<FILE*, std::unique_ptr<char[]>> buffers;

} // namespace

extern "C" FILE* quaverly_buffered_tmpfile(char* tmpdir) {
    FILE* const file = lxw_tmpfile(tmpdir);
    if (file == nullptr) {
        return nullptr;
    }
    auto buffer = std::make_unique<char[]>(kBuffer);
    if (std::setvbuf(file, buffer.get(), _IOFBF, kBuffer) == 0) {
        const std::lock_guard<std::mutex> lock(buffersGuard);
        buffers[file] = std::move(buffer);
    }
    return file;
}

extern "C" int quaverly_buffered_fclose(FILE* file) {
    const int closed = std::fclose(file);
    const std::lock_guard<std::mutex> lock(buffersGuard);
    buffers.erase(file);
    return closed;
}
