#pragma once

#include "mpeg/preread_file.h"
#include "mpeg/tag_size_source.h"
#include "platform/file_system.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quaverly::readahead {

struct Options {
    // Threads that open and read files at most; 0 turns reading ahead off. They start only when
    // the storage proves slow: until then the walk reads each file itself.
    std::size_t threads = 32;
    // Reading threads from the start, whatever the storage.
    std::size_t startThreads = 0;
    // Files held open for the walk at most, and bytes held for it: recorded answers and the
    // bytes of the files read.
    std::size_t filesAhead = 64;
    std::size_t bytesAhead = 2 * 1024 * 1024;
    // Reads by the walk itself slower than this, most of them, show the storage slow.
    std::chrono::microseconds slowRead{100};
    // What the reading threads read of each file beyond its start; a file the walk reads
    // itself is read without its end, which the scan reads where it needs it.
    mpeg::PrereadPlan preread{};
};

// Reads ahead of a walk, so that on a slow disk or a network share the waiting overlaps.
//
// A second walk of the same tree, the look-ahead, runs on a thread of its own a bounded
// distance in front: every status query and directory search it makes is answered by the file
// system and recorded, and every file it names is put in line to be opened and read
// (mpeg::PrereadFile). The walk itself then runs over this object as its file system: each call
// takes the answer recorded for it, waiting for it if need be, so both walks see the same tree
// and the walk makes the same calls, in the same order, as without reading ahead. A call that
// was not foreseen goes to the file system itself.
//
// Who reads a file follows the storage. Where files come from memory, a hand-off to another
// thread costs more than the read: the walk reads each file itself, when it reaches it. When
// those reads prove slow (a disk, a share), reading threads start, twice as many each time the
// walk still waits, up to `threads`, and read the files in line in walk order, several at a time;
// the walk takes each file read, or reads one no thread has begun. The look-ahead is woken only
// when a quarter of its room is free again, not at every answer taken. Files read ahead are
// handed to the tag helpers in walk order, when their headers leave the size to the library.
//
// The walk's calls come from one thread; Stop() and the destructor end the reading ahead at once
// (calls already made to the file system end first).
class ReadAhead final : public platform::FileSystem {
public:
    class Recorder;
    // The look-ahead: it walks the tree through `recorder`, and calls recorder.ReadFile for each
    // file the walk will open. It should end soon once recorder.Stopped() says so.
    using LookAhead = std::function<void(Recorder& recorder)>;

    // `fileSystem` and `tags` (which may be null) must outlive this object. `cancelled` is
    // asked, on the walk's thread, at least every 100 ms while the walk waits for an answer:
    // once it says yes, the call fails as cancelled (ECANCELED, kErrorOperationAborted, or
    // platform::FileError with cause Cancelled) instead of waiting on.
    ReadAhead(platform::FileSystem& fileSystem, Options options, mpeg::TagSizeSource* tags,
              std::function<bool()> cancelled = {});
    ~ReadAhead() override;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    void Start(LookAhead lookAhead);
    void Stop();

    // The reading threads started so far.
    std::size_t ReadingThreads() const;

    platform::StatusResult Status(const std::string& path) override;
    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& path) override;
    std::unique_ptr<platform::InputFile> OpenListedFile(const std::string& path) override;
    std::unique_ptr<platform::OutputFile> CreateReplacement(const std::string& path) override;
    std::unique_ptr<platform::DirectorySearch> FindFirst(const std::string& searchPath,
                                                         platform::DirectoryEntry& first,
                                                         platform::ErrorCode& error) override;
    std::string CurrentDirectory() override;
    int SetCurrentDirectory(const std::string& path) override;

private:
    struct Item;
    enum class Kind { Status, Search, File };

    // The recorded answer to the walk's next call of `kind` on `key`, dropping the answers the
    // walk passed over; null when none was recorded. A file no thread has begun is read here.
    std::shared_ptr<Item> Take(Kind kind, const std::string& key);
    // Waits on `event` until `ready` says so; false when the run was cancelled first.
    template <typename Ready>
    bool WaitUnlessCancelled(std::unique_lock<std::mutex>& lock, std::condition_variable& event,
                             Ready ready);
    std::unique_ptr<platform::InputFile> OpenFile(const std::string& path, bool listed);
    // Waits until there is room for one more item, or reading ahead stops; false then.
    bool WaitForRoom(std::unique_lock<std::mutex>& lock, bool file);
    bool HasRoom(bool file, std::size_t share) const;
    // Takes `item` out of the items held, with the bytes it holds. Under the lock.
    void Release(Item& item);
    void Record(std::shared_ptr<Item> item);
    // Opens and reads the file of `item`, which this thread has claimed, as `plan` says, and
    // stores the result.
    void Read(Item& item, mpeg::PrereadPlan plan);
    void ReadFiles();
    // One more reading thread, or several, when reads are slow and the walk waits for them.
    void AddReaders(std::size_t count);
    // Hands the files read since the last call, in walk order, to the tag helpers.
    void HandToTags();

    platform::FileSystem& m_fileSystem;
    Options m_options;
    mpeg::TagSizeSource* m_tags;
    std::function<bool()> m_cancelled;
    std::unique_ptr<Recorder> m_recorder;

    mutable std::mutex m_mutex;
    std::condition_variable m_work;     // a file to read, for the reading threads
    std::condition_variable m_room;     // room for more, for the look-ahead
    std::condition_variable m_done;     // m_awaited read, for the walk
    std::condition_variable m_recorded; // an answer recorded, for the walk
    const Item* m_awaited = nullptr;
    bool m_lookAheadEnded = true;              // or not started
    bool m_lookAheadWaits = false;             // for room
    std::deque<std::shared_ptr<Item>> m_items; // recorded, not yet taken, in walk order
    std::deque<std::shared_ptr<Item>> m_toRead;
    std::size_t m_files = 0;     // file items in m_items
    std::size_t m_heldBytes = 0; // bytes of the items in m_items
    bool m_stopped = false;
    // The walk's own reads lately, to tell a slow storage.
    std::size_t m_ownReads = 0;
    std::size_t m_slowOwnReads = 0;

    std::thread m_lookAhead;
    std::vector<std::thread> m_readers;
};

// The file system the look-ahead walks through: the real one, with every answer recorded.
class ReadAhead::Recorder final : public platform::FileSystem {
public:
    explicit Recorder(ReadAhead& owner) : m_owner(owner) {}

    // The walk will open `path`, which a search listed as a regular file when `listed` is set.
    void ReadFile(const std::string& path, bool listed);
    bool Stopped();

    platform::StatusResult Status(const std::string& path) override;
    std::unique_ptr<platform::DirectorySearch> FindFirst(const std::string& searchPath,
                                                         platform::DirectoryEntry& first,
                                                         platform::ErrorCode& error) override;
    // Not asked by a look-ahead; they go to the file system.
    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& path) override;
    std::unique_ptr<platform::OutputFile> CreateReplacement(const std::string& path) override;
    std::string CurrentDirectory() override;
    int SetCurrentDirectory(const std::string& path) override;

private:
    struct Listing {
        std::string folder; // with its separator
        std::shared_ptr<const std::vector<platform::DirectoryEntry>> entries;
        platform::ErrorCode end;
    };

    ReadAhead& m_owner;
    // A whole listing of each folder on the path being walked, until its files are listed.
    std::vector<Listing> m_listed;
};

} // namespace quaverly::readahead
