// quaverly-tag-worker: answers "how many bytes of ID3v2 tag does this file start with" for the
// program that started it, one request at a time, over its standard input and output.
//
// It exists so that the ID3 tag library runs outside the program: the library crashes on some
// damaged tags, and here that costs one file instead of the whole listing.

#include "mpeg/file_view.h"
#include "mpeg/id3_tag_size.h"
#include "mpeg/tag_worker_protocol.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/worker_process.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace quaverly;

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The same call, over the same kind of view, as the program makes when it reads tags itself.
mpeg::TagAnswer Measure(platform::FileSystem& fileSystem, const std::string& path,
                        mpeg::FileView& view) {
    const platform::StatusResult status = fileSystem.Status(path);
    std::unique_ptr<platform::InputFile> file;
    try {
        file = fileSystem.OpenForReading(path);
    } catch (const platform::FileError&) {
        return {0, mpeg::TagAnswerStatus::NotOpened, 0};
    }
    view.Attach(*file, static_cast<std::int64_t>(status.Ok() ? status.status.size : 0));
    mpeg::TagAnswer answer{0, mpeg::TagAnswerStatus::Measured, 0};
    try {
        answer.bytes = mpeg::Id3v2PrependedBytes(view);
    } catch (const platform::FileError& error) {
        answer = {0, mpeg::TagAnswerStatus::ReadFailed, error.SystemError()};
    }
    view.Detach();
    return answer;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !platform::DieWithParent(static_cast<pid_t>(std::atol(argv[1])))) {
        return 1;
    }
    // Crashes here are expected and handled; none may leave a core file in the folder that
    // is being listed, which is this process's current directory.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const char ready = 'R';
    if (!WriteAll(STDOUT_FILENO, &ready, 1)) {
        return 1;
    }
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    // Tags are mostly small, and the rest of the file is the frame scan's business.
    mpeg::FileView view(32 * 1024);
    for (;;) {
        mpeg::TagRequestHeader header;
        if (!ReadAll(STDIN_FILENO, &header, sizeof header) ||
            header.pathLength > mpeg::kMaxRequestPath) {
            return 0;
        }
        std::string path(header.pathLength, '\0');
        if (!ReadAll(STDIN_FILENO, path.data(), path.size())) {
            return 0;
        }
        const mpeg::TagAnswer answer = Measure(fileSystem, path, view);
        if (!WriteAll(STDOUT_FILENO, &answer, sizeof answer)) {
            return 0;
        }
    }
}
