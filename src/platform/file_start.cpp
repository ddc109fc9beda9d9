#include "platform/file_system.h"

#include <algorithm>

namespace quaverly::platform {

std::string ReadFileStart(FileSystem& fileSystem, const std::string& path, std::size_t limit) {
    const std::unique_ptr<InputFile> file = fileSystem.OpenForReading(path);
    std::string start(static_cast<std::size_t>(std::min<std::uint64_t>(file->Size(), limit)), '\0');
    std::size_t got = 0;
    // A file that grew since it was opened is read no further than its opening size.
    while (got < start.size()) {
        const std::size_t read = file->ReadAt(
            got, reinterpret_cast<unsigned char*>(start.data()) + got, start.size() - got);
        if (read == 0) {
            break;
        }
        got += read;
    }
    start.resize(got);
    return start;
}

} // namespace quaverly::platform
