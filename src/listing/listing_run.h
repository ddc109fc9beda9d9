#pragma once

#include "listing/row_writer.h"
#include "listing/run_report.h"
#include "mpeg/mp3_analyzer.h"
#include "mpeg/tag_worker_pool.h"
#include "platform/file_system.h"
#include "readahead/read_ahead.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quaverly::listing {

// What one program keeps from run to run: the analyser, the row shading and the helpers that
// read tags. The current directory, which a run also leaves changed, belongs to the process.
struct ListingSession {
    // Without tag helpers a run's scans ask the ID3 tag library in this process.
    explicit ListingSession(platform::FileSystem& fileSystem = platform::SystemFileSystem(),
                            std::unique_ptr<mpeg::TagWorkerPool> workers = nullptr)
        : tagWorkers(std::move(workers)), analyzer(fileSystem) {}

    std::unique_ptr<mpeg::TagWorkerPool> tagWorkers;
    CMp3Analyzer analyzer;
    RowShading shading;
    // How far a run reads ahead of its rows; threads 0 reads nothing ahead.
    readahead::Options readAhead;
};

// The services a run asks for, supplied by the dialog, the command-line tool or a test.
struct ListingServices {
    platform::FileSystem& fileSystem;
    RunObserver* observer = nullptr;
    // Resolved against the current directory when the run starts.
    std::string listingFileName = "mp3_listing.html";
    // How the listing is written; null for the page, HtmlFormat.
    ListingFormat* format = nullptr;
    // Where it is written when not to listingFileName: standard output, say.
    std::function<std::unique_ptr<platform::OutputFile>()> openOutput{};
};

enum class RunOutcome {
    Complete,        // every folder and file was read
    Incomplete,      // the page is whole, but some folders or files could not be read
    Cancelled,       // the walk was stopped; the page is ended properly but lacks the rest,
                     // unless the stop came while its reader took nothing
    FolderNotChosen, // nothing was chosen, nothing was written
    Failed,          // the listing file could not be created or written
};

struct RunResult {
    RunOutcome outcome = RunOutcome::FolderNotChosen;
    std::string folder;
    // Where the page was written, as a full path when the current directory could be read.
    std::string listingPath;
    // The first of the failures; failureCount counts them all.
    std::vector<Failure> failures;
    std::size_t failureCount = 0;
    std::size_t folderCount = 0;
    std::size_t fileCount = 0;
    // For a failed run: what could not be done and why, and the cause of that.
    std::string failureReason;
    platform::FileErrorCause failureCause = platform::FileErrorCause::Generic;
    // A failed run that wrote nothing: the listing file could not be created.
    bool listingNotCreated = false;
};

// One listing run of `folder`: writes the listing file into the directory current at the start,
// makes the folder current, and walks it. An empty folder is none: nothing is written.
RunResult MakeListing(ListingSession& session, const std::string& folder,
                      const ListingServices& services);

} // namespace quaverly::listing
