// quaverly-list: makes the listing page of a folder tree from the command line.

#include "frontend/given_folder.h"
#include "frontend/progress_pacing.h"
#include "listing/catalogue_format.h"
#include "listing/listing_run.h"
#include "listing/record_formats.h"
#include "listing/visible_text.h"
#include "listing/xlsx_format.h"
#include "platform/file_system.h"
#include "platform/last_error.h"
#include "platform/terminal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <variant>

namespace {

using namespace quaverly;

constexpr const char* kProgram = "quaverly-list";
constexpr const char* kVersion = "1.0.0.1";

constexpr int kExitComplete = 0;
constexpr int kExitIncomplete = 1;
constexpr int kExitFailed = 2;
constexpr int kExitInterrupted = 130;
constexpr unsigned long kMaxJobs = 64;

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt() {
    g_interrupted = 1;
}

// Where the listing was written, once it is whole and in its place. Never freed: the watch
// below may read it while the program ends.
std::atomic<const std::string*> g_listingWritten = nullptr;

std::string InterruptedMessage(const std::string& listingPath) {
    return std::string(kProgram) + ": interrupted; the listing in " +
           listing::VisibleText(listingPath) + " is incomplete\n";
}

// Once interrupted, with the listing whole and in its place, the program ends within a second
// even while a thread that read ahead still waits for a share that does not answer, which the
// run would wait for: nothing of the listing is left to lose, and the helpers die with it.
void EndSoonAfterAnInterrupt() {
    std::thread([] {
        constexpr auto kSlice = std::chrono::milliseconds(100);
        int slices = 0;
        for (;;) {
            std::this_thread::sleep_for(kSlice);
            const std::string* written = g_listingWritten.load();
            slices = g_interrupted != 0 && written != nullptr ? slices + 1 : 0;
            if (slices * kSlice >= std::chrono::seconds(1)) {
                std::fputs(InterruptedMessage(*written).c_str(), stderr);
                std::_Exit(kExitInterrupted);
            }
        }
    }).detach();
}

void PrintUsage(std::ostream& out) {
    out << "Usage: " << kProgram << " [-f FORMAT] [-o FILE] [-j N] [--verify] [--no-links] FOLDER\n"
        << "Writes a listing of the MP3 files under FOLDER, with their bitrates, to\n"
        << "mp3_listing.html (or .csv, .jsonl, .xlsx; mp3_catalogue.html) in the current\n"
        << "directory, or to FILE.\n"
        << "\n"
        << "  -f, --format FORMAT  html (the default), csv, jsonl, xlsx or catalogue: a page;\n"
        << "                       one record per folder and file with what the frames say,\n"
        << "                       for scripts (csv, jsonl) or as a workbook for spreadsheets\n"
        << "                       (xlsx, which keeps every name as it is); or a page to\n"
        << "                       search, sort and filter them in\n"
        << "  -o, --output FILE  write the listing to FILE; - writes it to standard output\n"
        << "  -j, --jobs N       read ID3 tags in N helper processes (default: one per core;\n"
        << "                     0 reads them in this process, where a damaged tag can crash it)\n"
        << "      --verify       with csv, jsonl, xlsx or catalogue: walk every frame of every\n"
        << "                     file and check its CRC and the encoder's CRC of the audio\n"
        << "                     (reads every byte)\n"
        << "      --no-links     with catalogue: no links to the files, and no path to the\n"
        << "                     folder listed, for a page to share\n"
        << "  -h, --help         show this help and exit\n"
        << "      --version      show the version and exit\n"
        << "\n"
        << "Exit status: 0 when the listing is complete, 1 when it was written but some\n"
        << "folders or files could not be read, 2 on bad usage or when the listing could\n"
        << "not be written.\n";
}

int UsageError(const std::string& message) {
    std::cerr << kProgram << ": " << listing::VisibleText(message) << "\n"
              << "Try '" << kProgram << " --help' for more information.\n";
    return kExitFailed;
}

// What a format is made with: every frame checked, the catalogue's links, and the file system
// the workbook's scratch file is made in.
struct FormatOptions {
    bool verify = false;
    std::optional<std::string> linkBase;
    platform::FileSystem* fileSystem = nullptr;
};

// The formats -f names, each with the listing file's name and what writes it; null for the page.
struct Format {
    std::string_view name;
    std::string_view fileName;
    std::unique_ptr<listing::ListingFormat> (*make)(const FormatOptions& options);
};
template <typename Made>
std::unique_ptr<listing::ListingFormat> Make(const FormatOptions& options) {
    std::unique_ptr<Made> made;
    if constexpr (std::is_same_v<Made, listing::CatalogueFormat>) {
        made = std::make_unique<Made>(options.linkBase);
    } else if constexpr (std::is_same_v<Made, listing::XlsxFormat>) {
        made = std::make_unique<Made>(*options.fileSystem);
    } else {
        made = std::make_unique<Made>();
    }
    made->Verify(options.verify);
    return made;
}
constexpr std::array<Format, 5> kFormats{{
    {"html", "mp3_listing.html", nullptr},
    {"csv", "mp3_listing.csv", Make<listing::CsvFormat>},
    {"jsonl", "mp3_listing.jsonl", Make<listing::JsonLinesFormat>},
    {"xlsx", "mp3_listing.xlsx", Make<listing::XlsxFormat>},
    {"catalogue", listing::kCatalogueFileName, Make<listing::CatalogueFormat>},
}};

// What the command line asks for.
struct Arguments {
    std::string folder;
    std::optional<std::string> output;
    std::optional<std::size_t> jobs;
    std::string format = "html";
    bool verify = false;
    bool noLinks = false;
};

// The long options return values of their own, so that a message names the form that was
// typed: "-o" or "--output".
enum LongOption : int {
    kLongHelp = 256,
    kLongVersion,
    kLongOutput,
    kLongJobs,
    kLongFormat,
    kLongVerify,
    kLongNoLinks,
};

constexpr std::array<option, 8> kLongOptions{{
    {"format", required_argument, nullptr, kLongFormat},
    {"help", no_argument, nullptr, kLongHelp},
    {"version", no_argument, nullptr, kLongVersion},
    {"output", required_argument, nullptr, kLongOutput},
    {"jobs", required_argument, nullptr, kLongJobs},
    {"verify", no_argument, nullptr, kLongVerify},
    {"no-links", no_argument, nullptr, kLongNoLinks},
    {nullptr, 0, nullptr, 0},
}};

// The arguments, or the exit status when there is nothing to list: after --help or
// --version, or on bad usage. GNU syntax: options may follow the folder, "--" ends them.
std::variant<Arguments, int> ParseArguments(int argc, char** argv) {
    Arguments arguments;
    ::opterr = 0; // every message is ours
    for (;;) {
        const int found = ::getopt_long(argc, argv, ":hf:o:j:", kLongOptions.data(), nullptr);
        if (found == -1) {
            break;
        }
        switch (found) {
        case 'h':
        case kLongHelp:
            PrintUsage(std::cout);
            return kExitComplete;
        case kLongVersion:
            std::cout << kProgram << ' ' << kVersion << '\n';
            return kExitComplete;
        case kLongVerify:
            arguments.verify = true;
            break;
        case kLongNoLinks:
            arguments.noLinks = true;
            break;
        case 'o':
        case kLongOutput:
            arguments.output = ::optarg;
            break;
        case 'f':
        case kLongFormat:
            arguments.format = ::optarg;
            if (std::none_of(kFormats.begin(), kFormats.end(),
                             [&](const Format& format) { return format.name == arguments.format; })) {
                std::string known;
                for (const Format& format : kFormats) {
                    known += (known.empty() ? "" : &format == &kFormats.back() ? " or " : ", ");
                    known += format.name;
                }
                return UsageError("'" + arguments.format + "' is not a format: " + known);
            }
            break;
        case 'j':
        case kLongJobs: {
            const std::string count = ::optarg;
            if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
                return UsageError("'" + count + "' is not a number of helper processes");
            }
            // Each helper costs a process and two descriptors; more than this buys nothing.
            if (count.size() > 6 || std::stoul(count) > kMaxJobs) {
                return UsageError("'" + count + "' helper processes are too many: at most " +
                                  std::to_string(kMaxJobs));
            }
            arguments.jobs = std::stoul(count);
            break;
        }
        case ':':
            switch (::optopt) {
            case 'o':
                return UsageError("option '-o' needs a file name");
            case kLongOutput:
                return UsageError("option '--output' needs a file name");
            case 'f':
                return UsageError("option '-f' needs a format");
            case kLongFormat:
                return UsageError("option '--format' needs a format");
            case 'j':
                return UsageError("option '-j' needs a number");
            default: // kLongJobs
                return UsageError("option '--jobs' needs a number");
            }
        default:
            // A short option is named by its letter (a byte: glibc hands one above 127 over as
            // a negative char); a long one, or one given an argument it does not take, by the
            // whole word, which getopt_long has stepped past.
            if (::optopt != 0 && ::optopt < kLongHelp) {
                return UsageError("unknown option '-" +
                                  std::string(1, static_cast<char>(::optopt)) + "'");
            }
            return UsageError("unknown option '" + std::string(argv[::optind - 1]) + "'");
        }
    }
    if (::optind == argc) {
        return UsageError("no folder given");
    }
    if (argc - ::optind > 1) {
        return UsageError("only one folder can be listed at a time");
    }
    arguments.folder = argv[::optind];
    if (arguments.output && arguments.output->empty()) {
        return UsageError("the output file name is empty");
    }
    if (arguments.verify && arguments.format == "html") {
        return UsageError("'--verify' checks the frames for the records: use it with -f csv, "
                          "-f jsonl, -f xlsx or -f catalogue");
    }
    if (arguments.noLinks && arguments.format != "catalogue") {
        return UsageError("'--no-links' leaves the links out of the catalogue: use it with "
                          "-f catalogue");
    }
    return arguments;
}

// Reports failures as they come, and progress while stderr is a terminal.
class TerminalObserver final : public frontend::PacedProgress {
public:
    // `quiet` draws nothing: the listing itself goes to standard output, which may be the same
    // terminal.
    explicit TerminalObserver(bool quiet)
        : frontend::PacedProgress(frontend::kTerminalProgress),
          m_terminal(!quiet && platform::StandardErrorIsTerminal()) {}

    void FailureRecorded(const listing::Failure& failure) override {
        ClearLine();
        std::cerr << kProgram << ": " << listing::VisibleText(failure.path) << ": "
                  << listing::VisibleText(failure.reason) << '\n';
    }
    bool CancelRequested() override { return g_interrupted != 0; }
    void ListingWritten(const std::string& listingPath) override {
        g_listingWritten = new std::string(listingPath);
    }

    void ClearLine() {
        if (m_drawn) {
            std::cerr << "\r\033[K" << std::flush;
            m_drawn = false;
            DrawNextAtOnce();
        }
    }

private:
    void Draw() override {
        if (!m_terminal) {
            return;
        }
        const std::string line = std::to_string(Folders()) + " folders, " +
                                 std::to_string(Files()) +
                                 " files: " + listing::VisibleText(Folder());
        // One column short of the width, so that the cursor never wraps to a new line.
        std::cerr << "\r\033[K" << listing::CutToColumns(line, TerminalWidth() - 1) << std::flush;
        m_drawn = true;
    }

    static std::size_t TerminalWidth() {
        const std::size_t columns = platform::TerminalColumns();
        return columns > 10 ? columns : 80;
    }

    bool m_terminal;
    bool m_drawn = false;
};

} // namespace

int main(int argc, char** argv) {
    const platform::ClosedStandardDescriptors closed = platform::OpenStandardDescriptors();
    // A reader of the error lines that has gone (`2>&1 | head`) costs those lines, not the run;
    // once a write to standard error has failed, std::cerr writes no more.
    platform::IgnoreBrokenPipes();
    platform::RaiseOpenFileLimit();
    std::variant<Arguments, int> parsed = ParseArguments(argc, argv);
    if (const int* exitStatus = std::get_if<int>(&parsed)) {
        return *exitStatus;
    }
    const Arguments& arguments = std::get<Arguments>(parsed);
    const std::string& folder = arguments.folder;
    if (arguments.output == "-" && closed.output) {
        return UsageError("standard output is closed: the listing would be lost");
    }

    platform::FileSystem& fileSystem = platform::SystemFileSystem();
    if (const auto why = frontend::WhyNotAFolder(fileSystem, folder)) {
        std::cerr << kProgram << ": " << listing::VisibleText(folder) << ": " << *why << '\n';
        return kExitFailed;
    }

    platform::OnInterruptRequest(OnInterrupt);
    EndSoonAfterAnInterrupt();

    const std::string normal = frontend::NormalFolder(folder);
    if (normal.empty()) {
        std::cerr << kProgram << ": " << listing::VisibleText(folder)
                  << ": the current folder, which it is read from, no longer exists\n";
        return kExitFailed;
    }
    TerminalObserver observer(arguments.output == "-");
    std::unique_ptr<mpeg::TagWorkerPool> workers;
    if (arguments.jobs.value_or(1) > 0) {
        mpeg::TagWorkerPool::Options options;
        options.workers = arguments.jobs.value_or(0);
        workers = std::make_unique<mpeg::TagWorkerPool>(options);
    }
    listing::ListingSession session(fileSystem, std::move(workers));
    listing::ListingServices services{fileSystem, &observer};
    std::unique_ptr<listing::ListingFormat> format;
    for (const Format& known : kFormats) {
        if (known.name == arguments.format) {
            FormatOptions options{arguments.verify, std::nullopt, &fileSystem};
            if (!arguments.noLinks) {
                // The links lead from where the page is written: standard output's page is
                // taken to be kept in the current directory.
                std::string page(arguments.output.value_or(std::string(known.fileName)));
                if (!platform::IsAbsolutePath(page)) {
                    page = fileSystem.CurrentDirectory() + platform::kPathSeparator + page;
                }
                // Its folder as the system takes it: ".." behind a link leads where the link
                // leads, as the folder listed was resolved.
                const std::size_t name = page.find_last_of(platform::kPathSeparator);
                if (name != std::string::npos && name > 0) {
                    if (const std::string resolved = frontend::NormalFolder(page.substr(0, name));
                        !resolved.empty()) {
                        page = resolved + page.substr(name);
                    }
                }
                options.linkBase = listing::LinkBase(page, normal);
            }
            format = known.make != nullptr ? known.make(options) : nullptr;
            services.format = format.get();
            services.listingFileName = known.fileName;
        }
    }
    if (arguments.output == "-") {
        services.openOutput = [] {
            return platform::StandardOutputFile([] { return g_interrupted != 0; });
        };
    } else if (arguments.output) {
        services.listingFileName = *arguments.output;
    }
    const listing::RunResult result = listing::MakeListing(session, normal, services);
    observer.ClearLine();

    switch (result.outcome) {
    case listing::RunOutcome::Complete:
        return kExitComplete;
    case listing::RunOutcome::Incomplete:
        std::cerr << kProgram << ": the listing in " << listing::VisibleText(result.listingPath)
                  << " is incomplete: " << result.failureCount
                  << (result.failureCount == 1 ? " folder or file" : " folders or files")
                  << " could not be read in full\n";
        return kExitIncomplete;
    case listing::RunOutcome::Cancelled:
        std::cerr << InterruptedMessage(result.listingPath);
        return kExitInterrupted;
    case listing::RunOutcome::Failed:
        // A reader of the listing that closed it on purpose (`| head`) has what it wanted: the
        // run ends as every writer in a pipeline does then, without a word.
        if (arguments.output == "-" &&
            result.failureCause == platform::FileErrorCause::BrokenPipe) {
            platform::EndAsWriterToAClosedPipe();
        }
        std::cerr << kProgram << ": the listing could not be written: "
                  << listing::VisibleText(result.failureReason) << '\n';
        return kExitFailed;
    case listing::RunOutcome::FolderNotChosen:
        break;
    }
    return kExitFailed;
}
