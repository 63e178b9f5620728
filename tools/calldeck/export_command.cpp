// calldeck export: the command; see export_command.h.
#include "export_command.h"

#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "converter/site_key.h"
#include "export_progress.h"
#include "platform/dynlib/dynlib.h"
#include "player/core/convert/decrypt_file.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/text.h"
#include "player/core/files/export_name.h"
#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "platform/sqlstore/recordset.h"
#include "search_options.h"
#include "worker_process.h"
#include "zip_archive.h"
#include "player/core/notes/manifest.h"

namespace calldeck {

const char* const kExportHelp =
    "usage: calldeck export (--to DIR | --zip FILE) [-j N] [search options]\n"
    "  Exports every recording \"calldeck search\" finds with the same search\n"
    "  options as a WAV file into DIR (made when missing), named as \"Pickup All\"\n"
    "  names them, or as members of one ZIP archive FILE. -j N: N worker\n"
    "  processes (default: one per core). Prints a progress bar on a terminal,\n"
    "  a line per recording otherwise (names escaped as in \"calldeck search\"),\n"
    "  then \"exported N, missing M, failed F\".\n"
    "  Exit code 0 when none failed, 1 when any did, 130 when interrupted.\n";

namespace {

namespace fs = std::filesystem;

// The start of every temporary name beside exported files:
// kPartTag + pid + "-" + n + ".part".
constexpr const char* kPartTag = ".calldeck-export-";

// The umask calldeck was started with (its workers make their files 0600).
const mode_t g_umask = [] {
    const mode_t u = ::umask(0);
    ::umask(u);
    return u;
}();

constexpr int kFailed = 1;
constexpr int kInterrupted = 130;

std::atomic<int> g_stopSignal{0};

struct Options {
    std::string to;
    std::string zip;
    unsigned jobs = 0;
    SearchRequest search;
};

Options ReadOptions(const std::vector<std::string>& args) {
    Options o;
    o.search = DefaultSearch();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--to") {
            o.to = NextValue(args, i);
        } else if (a == "--zip") {
            o.zip = NextValue(args, i);
        } else if (a == "-j" || a == "--jobs") {
            const std::string n = NextValue(args, i);
            std::size_t used = 0;
            int jobs = 0;
            try {
                jobs = std::stoi(n, &used);
            } catch (const std::exception&) {
            }
            if (used != n.size() || jobs < 1 || jobs > 256) throw UsageError{a + " wants 1 to 256, not \"" + n + "\""};
            o.jobs = unsigned(jobs);
        } else if (!TakeSearchOption(args, i, o.search)) {
            throw UsageError{"unknown option " + a};
        }
    }
    if (o.to.empty() == o.zip.empty()) throw UsageError{"export wants one of --to DIR and --zip FILE"};
    if (o.jobs == 0) o.jobs = std::max(1u, std::thread::hardware_concurrency());
    return o;
}

// One row of the search, from its recording to its name.
struct Row {
    player::AuditRow audit;  // the row as found, for its audit record
    std::string source;  // FileFullName, trimmed
    std::string target;  // the final name: a path, or an archive member
    std::string part;    // the temporary file it is written to
    bool converted = false;
    bool resent = false;
};

// The temporary files that exist, removed when they are let go of (an
// interrupted or failed run); a file renamed to its name is released first.
class Temporaries {
public:
    Temporaries() = default;
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;
    ~Temporaries() {
        for (const auto& file : files_) Remove(file);
        if (!folder_.empty()) {
            std::error_code ec;
            fs::remove_all(folder_, ec);
        }
    }
    void Add(const std::string& file) { files_.insert(file); }
    void Release(const std::string& file) { files_.erase(file); }
    void Drop(const std::string& file) {
        Remove(file);
        files_.erase(file);
    }
    // A folder of temporaries, removed with all it holds.
    void HoldFolder(const fs::path& folder) { folder_ = folder; }

private:
    static void Remove(const std::string& file) {
        std::error_code ec;
        fs::remove(file, ec);
    }
    std::set<std::string> files_;
    fs::path folder_;
};

// SIGINT and SIGTERM set the stop flag and interrupt the wait; the command
// winds down itself. The previous actions come back when it ends.
class StopSignals {
public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = [](int signal) { g_stopSignal.store(signal); };
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: poll returns at once
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &oldPipe_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        sigaction(SIGPIPE, &oldPipe_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction oldInt_ {}, oldTerm_ {}, oldPipe_ {};
};

// A worker lane: its process (started when there is work) and the row it
// converts.
struct Lane {
    std::unique_ptr<WorkerProcess> worker;
    std::optional<std::size_t> row;
};

class ExportRun {
public:
    ExportRun(std::vector<Row>& rows, std::deque<std::size_t> queue, unsigned jobs, std::string archive,
              ExportProgress& progress, Temporaries& temporaries)
        : rows_(rows), queue_(std::move(queue)), toArchive_(!archive.empty()), archive_(std::move(archive)),
          progress_(progress),
          temporaries_(temporaries), lanes_(std::min<std::size_t>(jobs, std::max<std::size_t>(queue_.size(), 1))) {}

    // Converts every queued row; false when a stop signal cut it short (the
    // workers are ended then, their rows' temporaries still held).
    bool Run() {
        while (g_stopSignal.load() == 0 && (!queue_.empty() || Busy())) {
            Dispatch();
            Wait();
        }
        const bool stopped = g_stopSignal.load() != 0;
        for (Lane& lane : lanes_)
            if (lane.worker) lane.worker->End(/*now=*/stopped);
        return !stopped;
    }

private:
    bool Busy() const {
        return std::any_of(lanes_.begin(), lanes_.end(), [](const Lane& l) { return l.row.has_value(); });
    }

    void Dispatch() {
        for (Lane& lane : lanes_) {
            if (lane.row || queue_.empty()) continue;
            const std::size_t r = queue_.front();
            queue_.pop_front();
            try {
                if (!lane.worker) lane.worker = std::make_unique<WorkerProcess>();
            } catch (const std::exception& e) {
                Fail(r, e.what());
                continue;
            }
            temporaries_.Add(rows_[r].part);
            if (lane.worker->Send(rows_[r].source, rows_[r].part)) {
                lane.row = r;
                continue;
            }
            // The worker was gone before it took the row: the row is not to
            // blame, and gets one more worker.
            const std::string how = lane.worker->End();
            lane.worker.reset();
            if (!rows_[r].resent) {
                rows_[r].resent = true;
                queue_.push_front(r);
            } else {
                Fail(r, "its export worker " + how);
            }
        }
    }

    void Wait() {
        std::vector<pollfd> fds;
        std::vector<Lane*> busy;
        for (Lane& lane : lanes_)
            if (lane.row) {
                fds.push_back({lane.worker->AnswerFd(), POLLIN, 0});
                busy.push_back(&lane);
            }
        if (fds.empty()) return;
        if (::poll(fds.data(), fds.size(), 200) <= 0) return;  // a signal, or time to look at the flag
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Lane& lane = *busy[i];
            WorkerProcess::Answer answer;
            switch (lane.worker->Read(answer)) {
            case FieldReader::Status::Fields:
                Done(*lane.row, answer);
                lane.row.reset();
                break;
            case FieldReader::Status::Closed: {
                if (g_stopSignal.load() != 0) return;  // ended by the stop, not by its file
                const std::string how = lane.worker->End();
                lane.worker.reset();
                Fail(*lane.row, "its export worker " + how);
                lane.row.reset();
                break;
            }
            case FieldReader::Status::More: break;
            }
        }
    }

    void Fail(std::size_t r, const std::string& reason) {
        player::Audit("export", rows_[r].audit, Target(rows_[r]), "failed: " + reason);
        temporaries_.Drop(rows_[r].part);
        progress_.Failed(rows_[r].source, reason);
    }

    void Done(std::size_t r, const WorkerProcess::Answer& answer) {
        Row& row = rows_[r];
        if (!answer.written) return Fail(r, answer.reason);
        if (toArchive_) {  // audited once the archive is written (ArchiveAudit)
            row.converted = true;
            progress_.Exported(row.source, row.target);
            return;
        }
        // The worker made the part 0600 (it may hold a decrypted call); the
        // exported file gets the mode any new file of the user gets.
        std::error_code ec;
        ::chmod(row.part.c_str(), 0666 & ~g_umask);
        fs::rename(row.part, row.target, ec);
        if (ec) return Fail(r, "cannot be named " + row.target + ": " + ec.message());
        temporaries_.Release(row.part);
        if (!player::Audit("export", row.audit, Target(row), "ok")) {
            // An export no record tells of is taken back.
            const bool removed = player::RemoveUnrecordedExport(row.target);
            progress_.Failed(row.source, std::string("no audit record could be written; the file was ") +
                                             (removed ? "removed" : "not removed"));
            return;
        }
        row.converted = true;
        progress_.Exported(row.source, row.target);
    }

    // Where the audit says a recording went: its file, or its archive member.
    std::string Target(const Row& row) const { return toArchive_ ? archive_ + " : " + row.target : row.target; }

    std::vector<Row>& rows_;
    std::deque<std::size_t> queue_;
    bool toArchive_;
    std::string archive_;
    ExportProgress& progress_;
    Temporaries& temporaries_;
    std::vector<Lane> lanes_;
};

// The parts an export into `folder` left when it was killed: the names of
// exports whose process no longer runs.
void RemoveDeadExportsParts(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kPartTag) || !name.ends_with(".part")) continue;
        const std::string rest = name.substr(std::char_traits<char>::length(kPartTag));
        const std::string pidText = rest.substr(0, rest.find('-'));
        if (pidText.empty() || !player::text::AllDigits(pidText)) continue;
        const long pid = std::strtol(pidText.c_str(), nullptr, 10);
        std::error_code err;
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove(it->path(), err);
    }
}

bool IsRecordingThere(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Once, before any recording is decrypted: that the recordings are protected
// by the player's built-in mask only, or that SiteKey.bin's mode refuses it.
void SaySiteKeyNotice(const std::vector<Row>& rows, const std::deque<std::size_t>& queue) {
    const bool decrypts = std::any_of(queue.begin(), queue.end(),
                                      [&](std::size_t r) { return player::IsEncryptedFile(rows[r].source); });
    if (!decrypts) return;
    const std::string notice = velk::SiteKeyNotice(platform::dynlib::ProgramFolder(), /*builtInMask=*/true);
    if (!notice.empty()) std::cerr << "calldeck: " << notice << "\n";
}

int ExportRows(const Options& options) {
    const bool toArchive = !options.zip.empty();

    player::Outcome searched;
    auto rs = player::GetRecordset(options.search.Statement(), &searched);
    if (!rs->IsOpen()) {
        std::cerr << "calldeck: the search failed: " << searched.reason << "\n";
        return kFailed;
    }
    const int column = rs->FieldIndex("FileFullName");

    // Where the temporaries go: beside the files, so that each is renamed
    // into place; or, for an archive, a private folder of the decrypted
    // copies' folder, which the next export and the player's start clear
    // when this export was killed.
    std::string folder;
    fs::path parts;
    std::error_code ec;
    const std::string tag = kPartTag + std::to_string(::getpid());
    if (toArchive) {
        fs::path beside = fs::path(options.zip).parent_path();
        if (beside.empty()) beside = ".";
        if (!fs::is_directory(beside, ec)) {
            std::cerr << "calldeck: the archive's folder " << beside.string() << " does not exist\n";
            return kFailed;
        }
        parts = fs::path(player::Process().DecryptTmpFolder) / ("export-" + std::to_string(::getpid()) + ".parts");
    } else {
        fs::create_directories(options.to, ec);
        if (!fs::is_directory(options.to, ec)) {
            std::cerr << "calldeck: cannot make the folder " << options.to << "\n";
            return kFailed;
        }
        // A relative folder without a separator ("out") is a folder too, not
        // the start of the files' names.
        folder = player::ExportFolder(options.to.find('/') == std::string::npos ? "./" + options.to : options.to);
        RemoveDeadExportsParts(options.to);
    }

    std::vector<Row> rows;
    std::vector<std::size_t> missing;
    std::deque<std::size_t> queue;
    std::set<std::string> taken;
    for (long r = 0; r < rs->RecordCount(); ++r) {
        Row row;
        row.audit = player::AuditRowAt(*rs, r);
        row.source = player::text::Trim(std::string(rs->Value(r, column).value_or("")));
        const std::size_t index = rows.size();
        if (row.source.empty() || !IsRecordingThere(row.source)) {
            missing.push_back(index);
        } else {
            row.target = player::ExportTargetName(toArchive ? std::string() : folder, row.source, taken);
            row.part = toArchive ? (parts / (std::to_string(index) + ".part")).string()
                                 : folder + tag + "-" + std::to_string(index) + ".part";
            queue.push_back(index);
        }
        rows.push_back(std::move(row));
    }
    rs.reset();
    SaySiteKeyNotice(rows, queue);

    if (!queue.empty()) {
        try {
            player::RequireAudit("export");
        } catch (const player::NotAudited& e) {
            std::cerr << "calldeck: " << e.what() << "\n";
            return kFailed;
        }
    }

    StopSignals signals;
    Temporaries temporaries;
    if (toArchive) {
        temporaries.HoldFolder(parts);
        try {
            player::MakePrivateFolder(parts);
            player::NarrowToOwner(parts.parent_path());
        } catch (const std::exception& e) {
            std::cerr << "calldeck: " << e.what() << "\n";
            return kFailed;
        }
    }
    ExportProgress progress(rows.size(), ::isatty(STDERR_FILENO) == 1);
    for (std::size_t r : missing) progress.Missing(rows[r].source);

    // An archive's members are exported only once it is committed.
    const auto archiveAudit = [&](const std::string& result) {
        bool recorded = true;
        for (const Row& row : rows)
            if (row.converted)
                recorded = player::Audit("export", row.audit, options.zip + " : " + row.target, result) && recorded;
        return recorded;
    };
    const std::string interrupted = "failed: interrupted before the archive was written";
    ExportRun run(rows, std::move(queue), options.jobs, options.zip, progress, temporaries);
    if (!run.Run()) {
        if (toArchive) archiveAudit(interrupted);
        progress.Summary(/*interrupted=*/true);
        return kInterrupted;  // the temporaries go with `temporaries`
    }
    if (toArchive && progress.Counts().exported > 0) {
        try {
            ZipArchive archive(options.zip);
            std::vector<player::ManifestEntry> manifest;
            for (const Row& row : rows)
                if (row.converted) {
                    archive.Add(row.target, row.part);
                    manifest.push_back({row.audit, row.target, player::LoadAnnotations(row.audit.path)});
                }
            // Beside the recordings: what reviewers wrote about them, in
            // the private folder of the parts until the archive is written.
            const fs::path listed = parts / player::kManifestName;
            player::WriteManifest(listed, manifest);
            temporaries.Add(listed.string());
            archive.Add(player::kManifestName, listed.string());
            if (g_stopSignal.load() != 0) {
                archiveAudit(interrupted);
                progress.Summary(/*interrupted=*/true);
                return kInterrupted;
            }
            archive.Commit();
            if (!archiveAudit("ok")) {  // an archive no record tells of is taken back
                const bool removed = player::RemoveUnrecordedExport(options.zip);
                progress.Summary(/*interrupted=*/false);
                std::cerr << "calldeck: no audit record could be written for the archive's members; " << options.zip
                          << (removed ? " was removed\n" : " could not be removed\n");
                return kFailed;
            }
        } catch (const std::exception& e) {
            archiveAudit(std::string("failed: the archive was not written: ") + e.what());
            progress.Summary(/*interrupted=*/false);
            std::cerr << "calldeck: " << e.what() << "\n";
            return kFailed;
        }
    }
    progress.Summary(/*interrupted=*/false);
    return progress.Counts().failed > 0 ? kFailed : 0;
}

}  // namespace

int Export(const std::vector<std::string>& args) {
    const Options options = ReadOptions(args);
    try {
        return ExportRows(options);  // its temporaries and workers are gone when it leaves, however
    } catch (const std::exception& e) {
        std::cerr << "calldeck: the export stopped: " << e.what() << "\n";
        return kFailed;
    }
}

}  // namespace calldeck
