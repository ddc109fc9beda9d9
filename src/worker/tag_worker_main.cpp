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

#include <cstdlib>
#include <string>

namespace {

using namespace quaverly;

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
    if (argc >= 2 && !platform::DieWithParent(
                         static_cast<platform::ProcessId>(std::strtoul(argv[1], nullptr, 10)))) {
        return 1;
    }
    platform::QuietCrashes();
    const char ready = 'R';
    if (!platform::WriteAnswer(&ready, 1)) {
        return 1;
    }
    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    // Tags are mostly small, and the rest of the file is the frame scan's business.
    mpeg::FileView view(32 * 1024);
    for (;;) {
        mpeg::TagRequestHeader header;
        if (!platform::ReadRequest(&header, sizeof header) ||
            header.pathLength > mpeg::kMaxRequestPath) {
            return 0;
        }
        std::string path(header.pathLength, '\0');
        if (!platform::ReadRequest(path.data(), path.size())) {
            return 0;
        }
        const mpeg::TagAnswer answer = Measure(fileSystem, path, view);
        if (!platform::WriteAnswer(&answer, sizeof answer)) {
            return 0;
        }
    }
}
