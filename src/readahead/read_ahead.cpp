#include "readahead/read_ahead.h"

#include "mpeg/id3_tag_size.h"
#include "platform/file_error.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <optional>

namespace quaverly::readahead {

namespace {

using Entries = std::vector<platform::DirectoryEntry>;

// A search whose entries were read whole already: the same entries, then the same end.
class RecordedSearch final : public platform::DirectorySearch {
public:
    RecordedSearch(std::shared_ptr<const Entries> entries, platform::ErrorCode end)
        : m_entries(std::move(entries)), m_end(end) {}

    bool Next(platform::DirectoryEntry& entry, platform::ErrorCode& error) override {
        if (++m_next < m_entries->size()) {
            entry = (*m_entries)[m_next];
            return true;
        }
        error = m_end;
        return false;
    }

private:
    std::shared_ptr<const Entries> m_entries;
    std::size_t m_next = 0;
    platform::ErrorCode m_end;
};

std::unique_ptr<platform::DirectorySearch> Replay(const std::shared_ptr<const Entries>& entries,
                                                  platform::ErrorCode end,
                                                  platform::DirectoryEntry& first,
                                                  platform::ErrorCode& error) {
    if (entries->empty()) {
        error = end;
        return nullptr;
    }
    first = entries->front();
    error = platform::kErrorSuccess;
    return std::make_unique<RecordedSearch>(entries, end);
}

} // namespace

struct ReadAhead::Item {
    Kind kind = Kind::Status;
    std::string key;
    platform::StatusResult status;
    // A search: its entries, and the code it ended with (or failed with, when it has none).
    std::shared_ptr<const Entries> entries;
    platform::ErrorCode end = platform::kErrorSuccess;
    // A file: claimed by the thread that reads it, read when `done`, with the file or why it
    // could not be opened.
    bool listed = false;
    bool claimed = false;
    bool done = false;
    bool handedToTags = false;
    bool dropped = false;
    std::unique_ptr<mpeg::PrereadFile> file;
    std::optional<platform::FileError> failure;
    // The walk stopped waiting for the answer: the run was cancelled.
    bool cancelled = false;
    // What it holds, counted in the bytes ahead while it is among the items held.
    std::size_t bytes = 0;
    bool held = false;
};

namespace {

// What an answer holds in memory, roughly: the item, its key, and the entries of a search.
std::size_t AnswerBytes(const std::string& key, const Entries* entries) {
    std::size_t bytes = 256 + key.size();
    if (entries != nullptr) {
        for (const platform::DirectoryEntry& entry : *entries) {
            bytes += sizeof entry + entry.name.size();
        }
    }
    return bytes;
}

// How many of the walk's own reads are judged together, to tell a slow storage, and how many of
// them must have been slow.
constexpr std::size_t kReadsJudged = 4;
constexpr std::size_t kSlowReadsToJudge = 3;

// How long the walk waits before it asks again whether the run was cancelled.
constexpr std::chrono::milliseconds kCancelSlice{100};

} // namespace

ReadAhead::ReadAhead(platform::FileSystem& fileSystem, Options options, mpeg::TagSizeSource* tags,
                     std::function<bool()> cancelled)
    : m_fileSystem(fileSystem), m_options(options), m_tags(tags), m_cancelled(std::move(cancelled)),
      m_recorder(std::make_unique<Recorder>(*this)) {
    // Files held open ahead take at most half of the descriptors left, so that the walk, the
    // page and the tag helpers still get theirs under a low limit.
    m_options.filesAhead = std::min(m_options.filesAhead, platform::OpenFileRoom() / 2);
    m_options.filesAhead = std::max<std::size_t>(m_options.filesAhead, 1);
    m_options.threads = std::clamp<std::size_t>(m_options.threads, 1, m_options.filesAhead);
    m_options.startThreads = std::min(m_options.startThreads, m_options.threads);
    m_options.bytesAhead = std::clamp<std::size_t>(m_options.bytesAhead, 1, std::size_t{1} << 30);
}

ReadAhead::~ReadAhead() {
    Stop();
    if (m_lookAhead.joinable()) {
        m_lookAhead.join();
    }
    for (std::thread& reader : m_readers) {
        reader.join();
    }
}

void ReadAhead::Start(LookAhead lookAhead) {
    {
        const std::lock_guard lock(m_mutex);
        m_lookAheadEnded = false;
    }
    AddReaders(m_options.startThreads);
    m_lookAhead = std::thread([this, lookAhead = std::move(lookAhead)] {
        try {
            lookAhead(*m_recorder);
        } catch (...) {
            // What the look-ahead did not foresee, the walk asks the file system itself.
        }
        const std::lock_guard lock(m_mutex);
        m_lookAheadEnded = true;
        m_recorded.notify_all();
    });
}

void ReadAhead::Stop() {
    const std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_toRead.clear();
    m_work.notify_all();
    m_room.notify_all();
    m_done.notify_all();
    m_recorded.notify_all();
}

std::size_t ReadAhead::ReadingThreads() const {
    const std::lock_guard lock(m_mutex);
    return m_readers.size();
}

void ReadAhead::AddReaders(std::size_t count) {
    const std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < count && m_readers.size() < m_options.threads && !m_stopped; ++i) {
        try {
            m_readers.emplace_back([this] { ReadFiles(); });
        } catch (const std::system_error&) {
            // No more threads for this process: the walk reads on with those it has, and reads
            // the files none of them begins itself.
            m_options.threads = m_readers.size();
            return;
        }
    }
}

// Room for one more item, when no more than `share` quarters of each bound are taken.
bool ReadAhead::HasRoom(bool file, std::size_t share) const {
    // In 64 bits: four times the bound would not fit the size type of a 32-bit build.
    const auto quarters = [share](std::size_t held, std::size_t bound) {
        return std::uint64_t{held} * 4 < std::uint64_t{bound} * share;
    };
    return quarters(m_heldBytes, m_options.bytesAhead) &&
           (!file || quarters(m_files, m_options.filesAhead));
}

bool ReadAhead::WaitForRoom(std::unique_lock<std::mutex>& lock, bool file) {
    if (!m_stopped && !HasRoom(file, 4)) {
        // Woken once three quarters of the room are taken no more: one wake for many answers.
        m_lookAheadWaits = true;
        m_room.wait(lock, [&] { return m_stopped || HasRoom(file, 3); });
        m_lookAheadWaits = false;
    }
    return !m_stopped;
}

void ReadAhead::Release(Item& item) {
    if (item.held) {
        item.held = false;
        m_heldBytes -= item.bytes;
        if (item.kind == Kind::File) {
            --m_files;
        }
    }
}

void ReadAhead::Record(std::shared_ptr<Item> item) {
    const std::lock_guard lock(m_mutex);
    if (m_stopped) {
        return;
    }
    item->held = true;
    item->bytes = AnswerBytes(item->key, item->entries.get());
    m_heldBytes += item->bytes;
    if (item->kind == Kind::File) {
        ++m_files;
        m_toRead.push_back(item);
        m_work.notify_one();
    }
    m_items.push_back(std::move(item));
    m_recorded.notify_one();
}

void ReadAhead::Read(Item& item, mpeg::PrereadPlan plan) {
    std::unique_ptr<mpeg::PrereadFile> file;
    std::optional<platform::FileError> failure;
    try {
        file =
            std::make_unique<mpeg::PrereadFile>(item.listed ? m_fileSystem.OpenListedFile(item.key)
                                                            : m_fileSystem.OpenForReading(item.key),
                                                plan);
    } catch (const platform::FileError& error) {
        failure.emplace(error);
    }
    const std::lock_guard lock(m_mutex);
    if (item.held && file) {
        item.bytes += file->HeldBytes();
        m_heldBytes += file->HeldBytes();
    }
    item.file = std::move(file);
    item.failure = std::move(failure);
    item.done = true;
    if (&item == m_awaited) {
        m_done.notify_one();
    }
}

void ReadAhead::ReadFiles() {
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::unique_lock lock(m_mutex);
            m_work.wait(lock, [&] { return m_stopped || !m_toRead.empty(); });
            if (m_stopped) {
                return;
            }
            item = std::move(m_toRead.front());
            m_toRead.pop_front();
            if (item->dropped || item->claimed) {
                continue;
            }
            item->claimed = true;
        }
        Read(*item, m_options.preread);
    }
}

template <typename Ready>
bool ReadAhead::WaitUnlessCancelled(std::unique_lock<std::mutex>& lock,
                                    std::condition_variable& event, Ready ready) {
    if (!m_cancelled) {
        event.wait(lock, ready);
        return true;
    }
    while (!event.wait_for(lock, kCancelSlice, ready)) {
        // Asked without the lock: the look-ahead and the readers go on meanwhile.
        lock.unlock();
        const bool cancelled = m_cancelled();
        lock.lock();
        if (cancelled) {
            return ready();
        }
    }
    return true;
}

std::shared_ptr<ReadAhead::Item> ReadAhead::Take(Kind kind, const std::string& key) {
    std::unique_lock lock(m_mutex);
    const auto matches = [&](const auto& item) { return item->kind == kind && item->key == key; };
    const auto cancelledAnswer = [&] {
        auto item = std::make_shared<Item>();
        item->kind = kind;
        item->key = key;
        item->cancelled = true;
        return item;
    };
    // When the walk has caught up with the look-ahead, the answer is on its way. Anything else
    // recorded in its place means the walks went apart: the file system answers.
    if (!WaitUnlessCancelled(lock, m_recorded,
                             [&] { return !m_items.empty() || m_lookAheadEnded || m_stopped; })) {
        return cancelledAnswer();
    }
    const auto found = std::find_if(m_items.begin(), m_items.end(), matches);
    if (found == m_items.end()) {
        return nullptr;
    }
    // What the walk passed over it will not ask for again.
    const auto taken = found + 1;
    for (auto item = m_items.begin(); item != taken; ++item) {
        (*item)->dropped = item != found;
        Release(**item);
    }
    std::shared_ptr<Item> item = *found;
    m_items.erase(m_items.begin(), taken);
    if (m_lookAheadWaits && HasRoom(false, 3) && HasRoom(true, 3)) {
        m_room.notify_one();
    }
    if (kind != Kind::File) {
        return item;
    }
    if (!item->claimed) {
        // No thread has begun it: reading it here costs no hand-off. Slow reads here call for
        // threads that overlap them.
        item->claimed = true;
        // The files in line for the threads are in walk order, this one and those passed first.
        while (!m_toRead.empty() && (m_toRead.front()->claimed || m_toRead.front()->dropped)) {
            m_toRead.pop_front();
        }
        lock.unlock();
        const auto start = std::chrono::steady_clock::now();
        Read(*item, {.tagEnd = m_options.preread.tagEnd});
        if (std::chrono::steady_clock::now() - start > m_options.slowRead) {
            ++m_slowOwnReads;
        }
        // Most of the reads, not one that met a busy processor, tell the storage slow.
        if (++m_ownReads == kReadsJudged) {
            if (m_slowOwnReads >= kSlowReadsToJudge) {
                AddReaders(std::max<std::size_t>(ReadingThreads(), 4));
            }
            m_ownReads = 0;
            m_slowOwnReads = 0;
        }
        return item;
    }
    if (!item->done) {
        // A reading thread has it: the walk waits, and more threads would have read further.
        m_awaited = item.get();
        const bool waited =
            WaitUnlessCancelled(lock, m_done, [&] { return item->done || m_stopped; });
        m_awaited = nullptr;
        if (!waited) {
            return cancelledAnswer();
        }
        if (!item->done) {
            return nullptr;
        }
        lock.unlock();
        AddReaders(ReadingThreads());
    }
    return item;
}

void ReadAhead::HandToTags() {
    if (m_tags == nullptr) {
        return;
    }
    std::vector<std::shared_ptr<Item>> ready;
    {
        const std::lock_guard lock(m_mutex);
        for (const std::shared_ptr<Item>& item : m_items) {
            if (item->kind != Kind::File || item->handedToTags) {
                continue;
            }
            if (!item->done) {
                break; // in walk order only
            }
            item->handedToTags = true;
            // The tags' headers settle most files; only the rest wait for the library.
            if (item->file && mpeg::HeadersLeaveItToTheLibrary(*item->file)) {
                ready.push_back(item);
            }
        }
    }
    // Only this thread takes items, so the files stay where they are meanwhile.
    for (const std::shared_ptr<Item>& item : ready) {
        m_tags->Prefetch(item->key, *item->file, m_cancelled);
    }
}

std::unique_ptr<platform::InputFile> ReadAhead::OpenFile(const std::string& path, bool listed) {
    const std::shared_ptr<Item> item = Take(Kind::File, path);
    HandToTags();
    // A file that found no descriptor free ahead of the walk is opened again now that the
    // files before it are closed: a descriptor limit costs no row.
    if (!item ||
        (item->failure && item->failure->Cause() == platform::FileErrorCause::TooManyOpenFiles)) {
        return listed ? m_fileSystem.OpenListedFile(path) : m_fileSystem.OpenForReading(path);
    }
    if (item->cancelled) {
        throw platform::FileError(platform::FileErrorCause::Cancelled, 0, "open", path);
    }
    if (item->failure) {
        throw *item->failure;
    }
    return std::move(item->file);
}

platform::StatusResult ReadAhead::Status(const std::string& path) {
    if (const std::shared_ptr<Item> item = Take(Kind::Status, path)) {
        return item->cancelled ? platform::StatusResult{ECANCELED, {}} : item->status;
    }
    return m_fileSystem.Status(path);
}

std::unique_ptr<platform::InputFile> ReadAhead::OpenForReading(const std::string& path) {
    return OpenFile(path, false);
}

std::unique_ptr<platform::InputFile> ReadAhead::OpenListedFile(const std::string& path) {
    return OpenFile(path, true);
}

std::unique_ptr<platform::OutputFile> ReadAhead::CreateReplacement(const std::string& path) {
    return m_fileSystem.CreateReplacement(path);
}

std::unique_ptr<platform::DirectorySearch> ReadAhead::FindFirst(const std::string& searchPath,
                                                                platform::DirectoryEntry& first,
                                                                platform::ErrorCode& error) {
    if (const std::shared_ptr<Item> item = Take(Kind::Search, searchPath)) {
        if (item->cancelled) {
            error = platform::kErrorOperationAborted;
            return nullptr;
        }
        return Replay(item->entries, item->end, first, error);
    }
    return m_fileSystem.FindFirst(searchPath, first, error);
}

std::string ReadAhead::CurrentDirectory() {
    return m_fileSystem.CurrentDirectory();
}

int ReadAhead::SetCurrentDirectory(const std::string& path) {
    return m_fileSystem.SetCurrentDirectory(path);
}

void ReadAhead::Recorder::ReadFile(const std::string& path, bool listed) {
    auto item = std::make_shared<Item>();
    item->kind = Kind::File;
    item->key = path;
    item->listed = listed;
    {
        std::unique_lock lock(m_owner.m_mutex);
        if (!m_owner.WaitForRoom(lock, true)) {
            return;
        }
    }
    m_owner.Record(std::move(item));
}

bool ReadAhead::Recorder::Stopped() {
    const std::lock_guard lock(m_owner.m_mutex);
    return m_owner.m_stopped;
}

platform::StatusResult ReadAhead::Recorder::Status(const std::string& path) {
    {
        std::unique_lock lock(m_owner.m_mutex);
        if (!m_owner.WaitForRoom(lock, false)) {
            return {ECANCELED, {}};
        }
    }
    auto item = std::make_shared<Item>();
    item->kind = Kind::Status;
    item->key = path;
    item->status = m_owner.m_fileSystem.Status(path);
    const platform::StatusResult status = item->status;
    m_owner.Record(std::move(item));
    return status;
}

std::unique_ptr<platform::DirectorySearch>
ReadAhead::Recorder::FindFirst(const std::string& searchPath, platform::DirectoryEntry& first,
                               platform::ErrorCode& error) {
    {
        std::unique_lock lock(m_owner.m_mutex);
        if (!m_owner.WaitForRoom(lock, false)) {
            error = platform::kErrorOperationAborted;
            return nullptr;
        }
    }
    const std::size_t separator = searchPath.rfind(platform::kPathSeparator);
    const std::string folder = searchPath.substr(0, separator + 1);
    const std::string pattern = searchPath.substr(separator + 1);
    std::shared_ptr<const Entries> entries;
    platform::ErrorCode end = platform::kErrorSuccess;
    const auto listed =
        std::find_if(m_listed.rbegin(), m_listed.rend(),
                     [&](const Listing& listing) { return listing.folder == folder; });
    if (pattern == "*.*" && listed != m_listed.rend()) {
        // The folder's files, from the search that listed its sub-folders: "*.*" matches
        // every name that "*" does, and reading the folder again would only wait once more.
        entries = listed->entries;
        end = listed->end;
        m_listed.erase(std::next(listed).base());
    } else {
        // The whole folder at once: the walk takes the entries from memory.
        auto read = std::make_shared<Entries>();
        platform::DirectoryEntry entry;
        if (auto search = m_owner.m_fileSystem.FindFirst(searchPath, entry, end)) {
            do {
                read->push_back(std::move(entry));
            } while (search->Next(entry, end));
        }
        entries = std::move(read);
        // Kept for the folder's file search while its sub-folders are walked, when it read the
        // whole folder without a failure.
        if (pattern == "*" &&
            (end == platform::kErrorNoMoreFiles || end == platform::kErrorFileNotFound)) {
            m_listed.push_back({folder, entries, end});
        }
    }
    auto item = std::make_shared<Item>();
    item->kind = Kind::Search;
    item->key = searchPath;
    item->entries = entries;
    item->end = end;
    m_owner.Record(std::move(item));
    return Replay(entries, end, first, error);
}

std::unique_ptr<platform::InputFile> ReadAhead::Recorder::OpenForReading(const std::string& path) {
    return m_owner.m_fileSystem.OpenForReading(path);
}

std::unique_ptr<platform::OutputFile>
ReadAhead::Recorder::CreateReplacement(const std::string& path) {
    return m_owner.m_fileSystem.CreateReplacement(path);
}

std::string ReadAhead::Recorder::CurrentDirectory() {
    return m_owner.m_fileSystem.CurrentDirectory();
}

int ReadAhead::Recorder::SetCurrentDirectory(const std::string& path) {
    return m_owner.m_fileSystem.SetCurrentDirectory(path);
}

} // namespace quaverly::readahead
