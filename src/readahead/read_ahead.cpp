#include "readahead/read_ahead.h"

#include "mpeg/id3_tag_size.h"
#include "platform/file_error.h"

#include <algorithm>
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
    // A file: read when `done`, with the file or why it could not be opened.
    bool listed = false;
    bool done = false;
    bool handedToTags = false;
    bool dropped = false;
    std::unique_ptr<mpeg::PrereadFile> file;
    std::optional<platform::FileError> failure;
};

ReadAhead::ReadAhead(platform::FileSystem& fileSystem, Options options, mpeg::TagSizeSource* tags)
    : m_fileSystem(fileSystem), m_options(options), m_tags(tags),
      m_recorder(std::make_unique<Recorder>(*this)) {
    // Files held open ahead take at most half of the descriptors left, so that the walk, the
    // page and the tag helpers still get theirs under a low limit.
    m_options.filesAhead = std::min(m_options.filesAhead, platform::OpenFileRoom() / 2);
    m_options.threads = std::clamp<std::size_t>(m_options.threads, 1,
                                                std::max<std::size_t>(m_options.filesAhead, 1));
    m_options.filesAhead = std::max<std::size_t>(m_options.filesAhead, 1);
    m_options.itemsAhead = std::max(m_options.itemsAhead, m_options.filesAhead);
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
    for (std::size_t i = 0; i < m_options.threads; ++i) {
        m_readers.emplace_back([this] { ReadFiles(); });
    }
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

bool ReadAhead::WaitForRoom(std::unique_lock<std::mutex>& lock, bool file) {
    m_room.wait(lock, [&] {
        return m_stopped ||
               (m_items.size() < m_options.itemsAhead &&
                (!file || (m_files < m_options.filesAhead && m_heldBytes < m_options.bytesAhead)));
    });
    return !m_stopped;
}

void ReadAhead::Record(std::shared_ptr<Item> item) {
    const std::lock_guard lock(m_mutex);
    if (m_stopped) {
        return;
    }
    if (item->kind == Kind::File) {
        ++m_files;
        m_toRead.push_back(item);
        m_work.notify_one();
    }
    m_items.push_back(std::move(item));
    m_recorded.notify_one();
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
            if (item->dropped) {
                continue;
            }
        }
        std::unique_ptr<mpeg::PrereadFile> file;
        std::optional<platform::FileError> failure;
        try {
            file = std::make_unique<mpeg::PrereadFile>(
                item->listed ? m_fileSystem.OpenListedFile(item->key)
                             : m_fileSystem.OpenForReading(item->key));
        } catch (const platform::FileError& error) {
            failure.emplace(error);
        }
        const std::lock_guard lock(m_mutex);
        item->file = std::move(file);
        item->failure = std::move(failure);
        item->done = true;
        if (!item->dropped && item->file) {
            m_heldBytes += item->file->HeldBytes();
        }
        if (item.get() == m_awaited) {
            m_done.notify_one();
        }
    }
}

std::shared_ptr<ReadAhead::Item> ReadAhead::Take(Kind kind, const std::string& key) {
    std::unique_lock lock(m_mutex);
    const auto matches = [&](const auto& item) { return item->kind == kind && item->key == key; };
    // When the walk has caught up with the look-ahead, the answer is on its way. Anything else
    // recorded in its place means the walks went apart: the file system answers.
    m_recorded.wait(lock, [&] { return !m_items.empty() || m_lookAheadEnded || m_stopped; });
    const auto found = std::find_if(m_items.begin(), m_items.end(), matches);
    if (found == m_items.end()) {
        return nullptr;
    }
    // What the walk passed over it will not ask for again.
    for (auto item = m_items.begin(); item != found; ++item) {
        (*item)->dropped = true;
    }
    const auto taken = found + 1;
    for (auto item = m_items.begin(); item != taken; ++item) {
        const Item& passed = **item;
        if (passed.kind == Kind::File) {
            --m_files;
            if (passed.dropped && passed.done && passed.file) {
                m_heldBytes -= passed.file->HeldBytes();
            }
        }
    }
    std::shared_ptr<Item> item = *found;
    m_items.erase(m_items.begin(), taken);
    m_room.notify_one();
    if (kind == Kind::File) {
        m_awaited = item.get();
        m_done.wait(lock, [&] { return item->done || m_stopped; });
        m_awaited = nullptr;
        if (!item->done) {
            return nullptr;
        }
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
        m_tags->Prefetch(item->key, *item->file);
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
    if (item->failure) {
        throw *item->failure;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_heldBytes -= item->file->HeldBytes();
        m_room.notify_one();
    }
    return std::move(item->file);
}

platform::StatusResult ReadAhead::Status(const std::string& path) {
    if (const std::shared_ptr<Item> item = Take(Kind::Status, path)) {
        return item->status;
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
