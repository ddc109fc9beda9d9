#include "listing/folder_walker.h"

#include "platform/temporary_files.h"

#include <algorithm>
#include <vector>

namespace quaverly::listing {

namespace {

using platform::ErrorCode;

// Joins a folder and a name; false when the result would not fit the system's path limit.
bool ComposePath(const std::string& folder, std::string_view name, std::string& out) {
    out.clear();
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder).append(1, platform::kPathSeparator).append(name);
    return out.size() < platform::kMaxPath;
}

bool IsDots(const std::string& name) {
    return name == "." || name == "..";
}

// One folder of a walk, from its entry to its rows. The walk keeps one for each folder on the
// path it is walking, on the heap: a tree as deep as paths go costs no stack.
class FolderWalk {
public:
    FolderWalk(std::string folder, const std::string& pattern, WalkContext& context)
        : m_folder(std::move(folder)), m_pattern(pattern), m_context(context) {}

    // Starts the search for sub-folders; a folder that cannot be listed at all gets no rows of
    // its own.
    void StartSubFolders();
    // The next sub-folder to walk, in `path`; false once there is none, or the walk stopped.
    bool NextSubFolder(std::string& path);
    // What the walk of the sub-folder that NextSubFolder gave came to.
    void SubFolderWalked(bool walked, ErrorCode code);
    // The folder's own rows, once its sub-folders are walked, and its leave.
    void Finish();

    // Starts a search of the folder for `pattern`. Null when it found nothing, or when it
    // failed: then the failure is recorded and `failed` set.
    std::unique_ptr<platform::DirectorySearch>
    StartSearch(std::string_view pattern, platform::DirectoryEntry& first, bool& failed);
    void WriteHeaderRow();
    void WriteFileRows();

    // Enters the folder into the path being walked; false, with the failure recorded, when
    // it is on that path already or was listed before through another way.
    bool Enter();
    void Leave();

    // Records a failure of this folder's own and keeps the first code.
    void Fail(std::string path, ErrorCode code) {
        m_context.report.RecordFailure(std::move(path), code, platform::DescribeErrorCode(code));
        Note(code);
    }
    // Keeps the first code, for a failure recorded elsewhere.
    void Note(ErrorCode code) {
        if (m_error == platform::kErrorSuccess) {
            m_error = code;
        }
    }
    // A failed page or a cancel ends every level at once.
    bool Stopped() const { return m_context.rows.Failed() || m_context.report.Cancelled(); }
    ErrorCode Error() const { return m_error; }

private:
    // A failure thrown by the rows' own writes (a file's scan says its own): the page keeps its
    // failure and the run reports it.
    void Caught(const platform::FileError& error) {
        if (!m_context.rows.Failed()) {
            m_context.report.RecordFailure(m_folder, error);
        }
        Note(ErrorCodeOf(error));
    }

    std::string m_folder;
    const std::string& m_pattern;
    WalkContext& m_context;
    ErrorCode m_error = platform::kErrorSuccess;
    bool m_entered = false;
    // The sub-folder search, open while the sub-folders are walked.
    std::unique_ptr<platform::DirectorySearch> m_search;
    platform::DirectoryEntry m_entry;
    bool m_entryTaken = false;
    bool m_listable = true;
};

void FolderWalk::StartSubFolders() {
    bool failed = false;
    try {
        m_search = StartSearch("*", m_entry, failed);
    } catch (const platform::FileError& error) {
        Caught(error);
        failed = true;
    }
    m_listable = !failed;
}

bool FolderWalk::NextSubFolder(std::string& path) {
    while (m_search) {
        if (m_entryTaken) {
            ErrorCode code = platform::kErrorSuccess;
            if (!m_search->Next(m_entry, code)) {
                if (code != platform::kErrorNoMoreFiles) {
                    Fail(m_folder, code);
                }
                m_search.reset();
                return false;
            }
        }
        m_entryTaken = true;
        if (!m_entry.isDirectory || IsDots(m_entry.name)) {
            continue;
        }
        if (!ComposePath(m_folder, m_entry.name, path)) {
            Fail(path, platform::kErrorBufferOverflow);
            continue;
        }
        return true;
    }
    return false;
}

void FolderWalk::SubFolderWalked(bool walked, ErrorCode code) {
    if (walked) {
        return;
    }
    if (Stopped()) {
        m_search.reset();
        return;
    }
    Note(code);
}

void FolderWalk::Finish() {
    m_search.reset();
    try {
        if (m_listable && !Stopped()) {
            WriteHeaderRow();
            WriteFileRows();
        }
    } catch (const platform::FileError& error) {
        Caught(error);
    }
    Leave();
    if (Stopped() && m_error == platform::kErrorSuccess) {
        Note(platform::kErrorOperationAborted);
    }
}

bool FolderWalk::Enter() {
    const platform::StatusResult status = m_context.fileSystem.Status(m_folder);
    if (!status.Ok()) {
        // The search below meets the same failure and reports it.
        return true;
    }
    const std::pair identity{status.status.device, status.status.inode};
    auto& open = m_context.openFolders;
    if (std::find(open.begin(), open.end(), identity) != open.end()) {
        Fail(m_folder, platform::kErrorCantResolveFilename);
        return false;
    }
    if (!m_context.enteredFolders.insert(identity).second) {
        m_context.report.RecordFailure(m_folder, platform::kErrorCantResolveFilename,
                                       "Folder already listed through another path");
        Note(platform::kErrorCantResolveFilename);
        return false;
    }
    open.push_back(identity);
    m_entered = true;
    return true;
}

void FolderWalk::Leave() {
    if (m_entered) {
        m_context.openFolders.pop_back();
        m_entered = false;
    }
}

std::unique_ptr<platform::DirectorySearch>
FolderWalk::StartSearch(std::string_view pattern, platform::DirectoryEntry& first, bool& failed) {
    failed = false;
    std::string search;
    if (!ComposePath(m_folder, pattern, search)) {
        // Named by the folder: the pattern is ours, not the user's.
        Fail(m_folder, platform::kErrorBufferOverflow);
        failed = true;
        return nullptr;
    }
    ErrorCode code = platform::kErrorSuccess;
    auto handle = m_context.fileSystem.FindFirst(search, first, code);
    if (!handle && code != platform::kErrorFileNotFound) {
        // A search that a cancel cut short is no failure of the folder: the run was cancelled.
        if (code == platform::kErrorOperationAborted && m_context.report.Cancelled()) {
            Note(code);
        } else {
            Fail(m_folder, code);
        }
        failed = true;
    }
    return handle;
}

void FolderWalk::WriteHeaderRow() {
    m_context.rows.FolderRow(m_folder);
}

void FolderWalk::WriteFileRows() {
    platform::DirectoryEntry entry;
    bool failed = false;
    auto handle = StartSearch(m_pattern, entry, failed);
    if (!handle) {
        return;
    }
    ErrorCode code = platform::kErrorSuccess;
    // The whole search first, so that none stays open while rows are written. Names only: a
    // folder of 40,000 files deep down a long path would hold its path 40,000 times.
    std::vector<std::pair<std::string, bool>> files;
    do {
        // A page being written, or one a killed run left, is no file of the tree.
        if (!entry.isDirectory && !platform::OwnerOfTemporaryFile(entry.name)) {
            files.emplace_back(std::move(entry.name), entry.isRegular);
        }
    } while (handle->Next(entry, code));
    handle.reset();
    std::string path;
    for (const auto& [name, listed] : files) {
        // A path too long stays in its place among the rows, to fail there.
        if (!ComposePath(m_folder, name, path)) {
            Fail(path, platform::kErrorBufferOverflow);
            continue;
        }
        m_context.rows.FileRow(path, listed);
        if (m_context.report.CancelRequested()) {
            return;
        }
    }
    if (code != platform::kErrorNoMoreFiles) {
        Fail(m_folder, code);
    }
}

} // namespace

WalkResult WalkFolder(const std::string& folder, const std::string& pattern, bool recurse,
                      WalkContext& context) {
    // The folders on the path being walked, each waiting for its sub-folder's walk.
    std::vector<std::unique_ptr<FolderWalk>> path;
    // Enters `next`; false, with the code, when it is not walked at all.
    const auto enter = [&](std::string next, ErrorCode& code) {
        context.report.FolderEntered(next);
        // Asked in every folder too: a tree of empty folders meets no file to ask after.
        if (context.report.CancelRequested()) {
            code = platform::kErrorOperationAborted;
            return false;
        }
        auto walk = std::make_unique<FolderWalk>(std::move(next), pattern, context);
        if (!walk->Enter()) {
            code = walk->Error();
            return false;
        }
        if (recurse) {
            walk->StartSubFolders();
        }
        path.push_back(std::move(walk));
        return true;
    };
    ErrorCode code = platform::kErrorSuccess;
    if (!enter(folder, code)) {
        return {code};
    }
    std::string next;
    for (;;) {
        FolderWalk& walk = *path.back();
        if (walk.NextSubFolder(next)) {
            if (!enter(std::move(next), code)) {
                walk.SubFolderWalked(false, code);
            }
            continue;
        }
        walk.Finish();
        code = walk.Error();
        path.pop_back();
        if (path.empty()) {
            break;
        }
        path.back()->SubFolderWalked(code == platform::kErrorSuccess, code);
    }
    return {code};
}

} // namespace quaverly::listing
