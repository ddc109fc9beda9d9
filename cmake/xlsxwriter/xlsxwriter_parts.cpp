// The library's temporary files with large buffers, and the files it could not write; see
// temporary_file_shims.h.
#include "xlsxwriter_parts.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "xlsxwriter/utility.h"

namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20U;

std::mutex buffersGuard;
// Each file's buffer, until the file is closed (workbooks may be written on several threads).
// Never destroyed: a file the library leaves open when its close fails keeps its buffer until
// the C library flushes it at exit, after the static objects are gone.
std::map<FILE*, std::unique_ptr<char[]>>& buffers = *new std::map<FILE*, std::unique_ptr<char[]>>;

thread_local int partError = 0;

} // namespace

extern "C" FILE* quaverly_buffered_tmpfile(char* tmpdir) {
    FILE* const file = lxw_tmpfile(tmpdir);
    if (file == nullptr) {
        return nullptr;
    }
    // Without the memory, the file keeps stdio's own buffer.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBuffer]);
    if (buffer != nullptr && std::setvbuf(file, buffer.get(), _IOFBF, kBuffer) == 0) {
        try {
            const std::lock_guard<std::mutex> lock(buffersGuard);
            buffers[file] = std::move(buffer);
        } catch (...) {
            std::setvbuf(file, nullptr, _IOFBF, 0);
        }
    }
    return file;
}

extern "C" int quaverly_buffered_fclose(FILE* file) {
    // The buffer is taken first: once the file is closed, another thread may be given a file at
    // the same address.
    std::unique_ptr<char[]> buffer;
    {
        const std::lock_guard<std::mutex> lock(buffersGuard);
        if (const auto found = buffers.find(file); found != buffers.end()) {
            buffer = std::move(found->second);
            buffers.erase(found);
        }
    }
    return std::fclose(file);
}

extern "C" int quaverly_checked_fflush(FILE* file) {
    errno = 0;
    const int flushed = std::fflush(file);
    if ((flushed != 0 || (file != nullptr && std::ferror(file) != 0)) && partError == 0) {
        partError = errno != 0 ? errno : EIO;
    }
    return flushed;
}

extern "C" int quaverly_take_part_error(void) {
    const int error = partError;
    partError = 0;
    return error;
}
