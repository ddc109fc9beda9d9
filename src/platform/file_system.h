#pragma once

#include "platform/last_error.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quaverly::platform {

#ifdef _WIN32
// The longest path the system takes, terminator included (MAX_PATH), and what joins a folder
// and a name.
inline constexpr std::size_t kMaxPath = 260;
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr std::size_t kMaxPath = PATH_MAX;
inline constexpr char kPathSeparator = '/';
#endif

// A path or name as a person is shown it. On Windows the seam carries a name that the ANSI code
// page cannot spell together with what reopens it; only the ANSI rendering is shown. Elsewhere
// the path itself.
std::string ShownPath(std::string_view path);

// A path in UTF-8, as an address spells it: on Windows each name in its real spelling, read
// from the ANSI code page or from what the path carries. Elsewhere the path's own bytes.
std::string Utf8Path(std::string_view path);

#ifdef _WIN32
// A path the system gave in its own characters, as the program carries it: each name the ANSI
// code page cannot spell carried with its real spelling (see ShownPath).
std::string CarriedPath(std::wstring_view path);
#endif

// Whether a path names its file without the current directory: /a here; C:\a or \\server\share
// on Windows.
bool IsAbsolutePath(const std::string& path) noexcept;

enum class FileKind {
    Regular,
    Directory,
    Other, // FIFO, socket, device
};

struct FileStatus {
    std::uint64_t size = 0;
    FileKind kind = FileKind::Other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // When the contents last changed, in nanoseconds since 1970-01-01 UTC, on both platforms.
    std::int64_t modificationTime = 0;
};

// The outcome of a status query: the status, or the errno value that stopped it.
struct StatusResult {
    int error = 0;
    FileStatus status;

    bool Ok() const noexcept { return error == 0; }
};

// A file open for reading. Reads are positioned, so a reader never depends on where an earlier
// read left off.
class InputFile {
public:
    virtual ~InputFile() = default;

    // The size the file had when it was opened, from the open file itself.
    virtual std::uint64_t Size() const = 0;

    // Bytes of the file from `offset` on that are in memory already, without a read: a view
    // that is empty when none are. Valid as long as the file is open.
    struct Buffered {
        const unsigned char* data = nullptr;
        std::size_t count = 0;
    };
    virtual Buffered BufferedAt(std::uint64_t /*offset*/) const { return {}; }

    // Reads up to `count` bytes at `offset` into `buffer` and returns how many it read: fewer at
    // the end of the file, 0 at or past it. Throws FileError when the read fails.
    virtual std::size_t ReadAt(std::uint64_t offset, unsigned char* buffer, std::size_t count) = 0;

    // The first position from `offset` on that may hold data rather than a hole of a sparse
    // file; a hole reads as zeros. UINT64_MAX when only a hole follows. Where holes are not
    // known, `offset` itself.
    virtual std::uint64_t DataFrom(std::uint64_t offset) { return offset; }
};

// A file open for writing. Every failure, including a write the device took only in part,
// throws FileError: nothing is dropped without a word.
class OutputFile {
public:
    virtual ~OutputFile() = default;

    virtual void Write(const char* data, std::size_t size) = 0;
    // Closes the file, reporting an error the system held back until then. Further calls do
    // nothing; the destructor closes a file that is still open and swallows its error.
    virtual void Close() = 0;
};

// A file made new for a library that writes to a path of its own: in the system's temporary
// folder, for this user only, and removed when destroyed.
class ScratchFile {
public:
    virtual ~ScratchFile() = default;
    // The path, in UTF-8.
    virtual const std::string& Path() const = 0;
    // What the library wrote there. Throws FileError.
    virtual std::unique_ptr<InputFile> OpenForReading() = 0;
};

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    // The search saw a regular file (a link followed), so opening it acts on no device.
    bool isRegular = false;
};

// An open directory search. Entries come in a fixed order: "." and ".." first (every folder has
// them but the root), then the names ordered by their bytes with ASCII letters folded to upper
// case, ties broken by the raw bytes.
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;

    // Moves to the next entry. Returns false at the end, with kErrorNoMoreFiles in `error`, or
    // when the search fails, with that failure's code.
    virtual bool Next(DirectoryEntry& entry, ErrorCode& error) = 0;
};

// Everything the analyser and the listing ask of the file system. Tests replace it to make a
// particular call fail, which permissions alone cannot do when the tests run as root.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The file a path names, following symbolic links.
    virtual StatusResult Status(const std::string& path) = 0;

    // Opens a regular file for reading without keeping others from reading or writing it.
    // Never blocks: a FIFO, socket or device fails with FileErrorCause::NotRegularFile without
    // being opened. Throws FileError.
    virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;

    // The same for a file that a search has just listed as regular (DirectoryEntry::isRegular):
    // the look before opening may be left out, so that opening costs one status query, of the
    // open file. A file that is no longer regular still fails with NotRegularFile.
    virtual std::unique_ptr<InputFile> OpenListedFile(const std::string& path) {
        return OpenForReading(path);
    }

    // Creates a file that takes the place of `path` once it is whole: it is written under a
    // name of its own in the same folder and renamed over `path` by Close(), so that a run
    // that fails, or a program that is killed, leaves the file that was there as it was. A
    // link at `path` is replaced, not followed, unless it leads to something other than a
    // regular file; that, or a folder, FIFO or device at `path`, is refused (NotRegularFile).
    // A file destroyed before Close(), or whose Close() fails, is removed. The file's folder
    // is held from here on, so a change of the current folder meanwhile does not move it.
    // Throws FileError.
    virtual std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) = 0;

    // Starts a search for `searchPath`, a folder, a separator and a pattern in which "*" and
    // "*.*" match every name. Returns the search with its first entry in `first`, or null with
    // the reason in `error`: kErrorFileNotFound when nothing matches (an empty result, not a
    // failure), kErrorPathNotFound when there is no such folder, or the failure's code.
    virtual std::unique_ptr<DirectorySearch> FindFirst(const std::string& searchPath,
                                                       DirectoryEntry& first, ErrorCode& error) = 0;

    // The directory that relative names are resolved against. Throws FileError.
    virtual std::string CurrentDirectory() = 0;
    // Returns 0, or the errno value of the failure.
    virtual int SetCurrentDirectory(const std::string& path) = 0;

    // Makes a folder, its parent being there. Returns 0, or the system error number of the
    // failure (as Status gives one); a file system that only reads makes none.
    virtual int CreateFolder(const std::string& path);

    // A scratch file. Throws FileError; a file system that only reads makes none.
    virtual std::unique_ptr<ScratchFile> CreateScratchFile();
};

// The first `limit` bytes of a file, or all of it when it is shorter: a file may be anything
// at all, so none is read whole. Throws FileError.
std::string ReadFileStart(FileSystem& fileSystem, const std::string& path, std::size_t limit);

// The real file system of this machine.
FileSystem& SystemFileSystem();

// The program's standard output, to write a listing to as it comes: nothing is replaced, and
// Close() leaves the descriptor open. A failed write throws FileError, named "standard output".
// A reader that takes nothing is waited for only until `stopRequested` (asked while waiting)
// says to stop, and half a second more: then a write throws FileError (cause Cancelled).
std::unique_ptr<OutputFile> StandardOutputFile(std::function<bool()> stopRequested = {});

// Raises this process's limit of open files to the most it may have. Called at start.
void RaiseOpenFileLimit() noexcept;
// How many more files this process may open now; SIZE_MAX when there is no such limit.
std::size_t OpenFileRoom() noexcept;

} // namespace quaverly::platform
