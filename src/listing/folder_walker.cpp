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

// The part of one WalkFolder call that runs under its guard.
class FolderWalk {
public:
    FolderWalk(const std::string& folder, const std::string& pattern, WalkContext& context)
        : m_folder(folder), m_pattern(pattern), m_context(context) {}

    // False when the folder cannot be listed at all; it then gets no rows of its own.
    bool WalkSubFolders();
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
    bool Stopped() const { return m_context.page.Failed() || m_context.report.Cancelled(); }
    ErrorCode Error() const { return m_error; }

private:
    const std::string& m_folder;
    const std::string& m_pattern;
    WalkContext& m_context;
    ErrorCode m_error = platform::kErrorSuccess;
    bool m_entered = false;
};

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
        Fail(m_folder, code);
        failed = true;
    }
    return handle;
}

bool FolderWalk::WalkSubFolders() {
    platform::DirectoryEntry entry;
    bool failed = false;
    auto handle = StartSearch("*", entry, failed);
    if (!handle) {
        return !failed;
    }
    ErrorCode code = platform::kErrorSuccess;
    std::string subFolder;
    do {
        if (!entry.isDirectory || IsDots(entry.name)) {
            continue;
        }
        if (!ComposePath(m_folder, entry.name, subFolder)) {
            Fail(subFolder, platform::kErrorBufferOverflow);
            continue;
        }
        if (!WalkFolder(subFolder, m_pattern, true, m_context)) {
            if (Stopped()) {
                return true;
            }
            Note(platform::GetLastErrorCode());
        }
    } while (handle->Next(entry, code));
    if (code != platform::kErrorNoMoreFiles) {
        Fail(m_folder, code);
    }
    return true;
}

void FolderWalk::WriteHeaderRow() {
    m_context.format.FolderRow(m_context.page, m_folder);
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
        if (m_context.visitFile) {
            m_context.visitFile(path, listed);
        } else {
            WriteFileRow(path, m_context.page, m_context.analyzer, m_context.shading,
                         m_context.report, m_context.format);
        }
        if (m_context.report.CancelRequested()) {
            return;
        }
    }
    if (code != platform::kErrorNoMoreFiles) {
        Fail(m_folder, code);
    }
}

} // namespace

bool WalkFolder(const std::string& folder, const std::string& pattern, bool recurse,
                WalkContext& context) {
    FolderWalk walk(folder, pattern, context);
    context.report.FolderEntered(folder);
    // Asked in every folder too: a tree of empty folders meets no file to ask after.
    if (context.report.CancelRequested()) {
        platform::SetLastErrorCode(platform::kErrorOperationAborted);
        return false;
    }
    if (!walk.Enter()) {
        platform::SetLastErrorCode(walk.Error());
        return false;
    }
    try {
        const bool listable = !recurse || walk.WalkSubFolders();
        if (listable && !walk.Stopped()) {
            walk.WriteHeaderRow();
            walk.WriteFileRows();
        }
    } catch (const platform::FileError& error) {
        // Only the page's own writes get here (the row writer handles the analyser's
        // failures); the page keeps its failure and the run reports it.
        if (!context.page.Failed()) {
            context.report.RecordFailure(folder, error);
        }
        walk.Note(ErrorCodeOf(error));
    }
    walk.Leave();
    if (walk.Stopped() && walk.Error() == platform::kErrorSuccess) {
        walk.Note(platform::kErrorOperationAborted);
    }
    platform::SetLastErrorCode(walk.Error());
    return walk.Error() == platform::kErrorSuccess;
}

} // namespace quaverly::listing
