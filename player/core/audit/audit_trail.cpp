// The audit trail's writer and the acts' one call: see audit_trail.h.
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/site_audit.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "player/core/text.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/state_folder.h"

namespace fs = std::filesystem;

namespace player {
namespace {

constexpr std::chrono::seconds kLockWait{2};
constexpr off_t kTailWindow = 64 * 1024;

[[noreturn]] void Fail(const std::string& what, int error = errno) {
    throw std::system_error(error, std::generic_category(), what);
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

Fd OpenForAppend(const fs::path& file) {
    Fd fd(::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFile));
    if (fd.get() < 0) Fail("cannot open " + file.string());
    return fd;
}

// The flock on audit.lock, waited for at most kLockWait.
class HeldLock {
public:
    explicit HeldLock(int fd) : fd_(fd) {
        const auto until = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) Fail("cannot lock the audit file");
            if (std::chrono::steady_clock::now() > until)
                Fail("another program has held the audit file for more than two seconds", ETIMEDOUT);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~HeldLock() { ::flock(fd_, LOCK_UN); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int fd_;
};

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

std::tm Utc(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    return utc;
}


// Where a chain stands at the end of a file: its last whole record's seq
// and hash, and a line after it that a crash cut short.
struct Tail {
    std::uint64_t seq = 0;
    AuditHash hash = kAuditChainStart;
    bool whole = false;  // a whole record was found
    std::string cut;
};

Tail ReadTail(int fd, off_t size) {
    Tail tail;
    for (off_t window = kTailWindow;; window *= 2) {
        const off_t from = std::max<off_t>(0, size - window);
        std::string bytes(static_cast<std::size_t>(size - from), '\0');
        if (::pread(fd, bytes.data(), bytes.size(), from) != static_cast<ssize_t>(bytes.size()))
            Fail("cannot read the audit file's last record");
        std::string_view s = bytes;
        const std::size_t end = s.rfind('\n');
        const std::size_t start = end == std::string_view::npos || end == 0 ? std::string_view::npos
                                                                               : s.rfind('\n', end - 1);
        if (from > 0 && start == std::string_view::npos) continue;  // a line longer than the window
        tail.cut = std::string(end == std::string_view::npos ? s : s.substr(end + 1));
        if (end == std::string_view::npos) return tail;
        const std::size_t first = start == std::string_view::npos ? 0 : start + 1;
        if (const auto line = SplitAuditLine(s.substr(first, end - first))) {
            tail.seq = line->seq;
            tail.hash = line->hash;
            tail.whole = true;
        }
        return tail;
    }
}

// The newest daily file before `name` in `folder` that holds a whole
// record, and where its chain ends; "" and the chain's start when none.
std::pair<std::string, Tail> PreviousFile(const fs::path& folder, const std::string& name) {
    std::vector<std::string> before;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.starts_with("audit-") && n.ends_with(".tsv") && n < name) before.push_back(n);
    }
    std::sort(before.rbegin(), before.rend());
    for (const std::string& n : before) {
        const Fd fd(::open((folder / n).c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) Fail("cannot read " + n);
        if (Tail tail = ReadTail(fd.get(), st.st_size); tail.whole) return {n, tail};
    }
    return {};
}

}  // namespace

std::string AuditUserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    return std::to_string(::geteuid());
}

std::string AuditTime(std::chrono::system_clock::time_point at) {
    const std::tm utc = Utc(at);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

struct AuditTrail::Open {
    Fd lock;
    Fd file;
    std::string name;  // the day's file the descriptor is open on
    off_t size = -1;   // its size after this process's last record; -1: unknown
    std::uint64_t seq = 0;
    AuditHash hash{};
    std::string user = AuditUserName();
    std::string host = HostName();
};

AuditTrail::AuditTrail(fs::path folder) : folder_(std::move(folder)) {}
AuditTrail::~AuditTrail() = default;

std::string AuditFileName(std::chrono::system_clock::time_point at) {
    const std::tm utc = Utc(at);
    char text[32];
    std::strftime(text, sizeof text, "audit-%Y-%m-%d.tsv", &utc);
    return text;
}

AuditTrail::Open& AuditTrail::Opened() {
    // A folder removed or moved meanwhile: start over on the folder by its name.
    if (struct stat ls {}; open_ && (::fstat(open_->lock.get(), &ls) != 0 || ls.st_nlink == 0)) open_.reset();
    if (!open_) {
        MakePrivateFolder(folder_);
        auto o = std::make_unique<Open>();
        o->lock = OpenForAppend(folder_ / "audit.lock");
        open_ = std::move(o);
    }
    return *open_;
}

// The day's file, opened anew when the day or the file changed.
void AuditTrail::OpenDay(const std::string& name, struct stat& st) {
    Open& o = *open_;
    if (name != o.name || ::fstat(o.file.get(), &st) != 0 || st.st_nlink == 0) {
        o.file = OpenForAppend(folder_ / name);
        o.name = name;
        o.size = -1;
        if (::fstat(o.file.get(), &st) != 0) Fail("cannot read the audit file's size");
    }
}

void AuditTrail::Probe() {
    Open& o = Opened();
    HeldLock held(o.lock.get());
    struct stat st {};
    OpenDay(AuditFileName(clock()), st);
}

void AuditTrail::Append(std::string_view act, const AuditRow& row, std::string_view target,
                        std::string_view result) {
    Open& o = Opened();
    HeldLock held(o.lock.get());
    const auto now = clock();
    const std::string name = AuditFileName(now);
    struct stat st {};
    OpenDay(name, st);

    AuditRecord record{0, AuditTime(now), o.user, o.host, program, {}, {}, {}, {}};
    std::string out;
    const auto add = [&](std::string_view a, const AuditRow& r, std::string_view t, std::string_view res) {
        // The chain's own records (a new day, a cut line) are the machine's.
        const bool acting = !actingUser.empty() && a != kActContinue && a != kActCutRecord;
        record.user = acting ? actingUser : o.user;
        record.host = acting ? actingHost : o.host;
        record.seq = ++o.seq;
        record.act = a, record.row = r, record.target = t, record.result = res;
        out += AuditLine(record, o.hash, o.hash);
    };
    if (st.st_size != o.size) {
        Tail tail = ReadTail(o.file.get(), st.st_size);
        if (!tail.whole) {  // a new day: the chain goes on from the file before
            const auto [previous, last] = PreviousFile(folder_, name);
            o.seq = last.seq, o.hash = last.hash;
            if (!tail.cut.empty()) out += '\n';
            add(kActContinue, {previous, {}, {}, {}, {}, {}}, {}, Hex(last.hash));
        } else {
            o.seq = tail.seq, o.hash = tail.hash;
            if (!tail.cut.empty()) {
                out += '\n';
                add(kActCutRecord, {}, std::to_string(tail.cut.size()) + " bytes", Hex(HashOf(tail.cut)));
            }
        }
    }
    add(act, row, target, result);

    o.size = -1;  // unknown until the whole record is down
    for (std::size_t done = 0; done < out.size();) {
        const ssize_t n = ::write(o.file.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("cannot write the audit file " + name, n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (syncEachRecord && ::fdatasync(o.file.get()) != 0) Fail("cannot flush the audit file " + name);
    o.size = st.st_size + static_cast<off_t>(out.size());
}

namespace {

AuditState& Shared() { return Process().audit; }

}  // namespace

fs::path AuditFolder() { return fs::path(WorkFolder()) / kAuditFolderName; }

void SetAuditProgram(std::string program) { Shared().program = std::move(program); }

AuditTrail& ProcessTrail() {
    AuditState& a = Shared();
    const fs::path folder = AuditFolder();
    if (!a.trail || a.trail->Folder() != folder) a.trail = std::make_unique<AuditTrail>(folder);
    a.trail->program = a.program;
    a.trail->actingUser = a.actingUser;
    a.trail->actingHost = a.actingHost;
    return *a.trail;
}

AuditActingFor::AuditActingFor(std::string user, std::string host) {
    Shared().actingUser = std::move(user);
    Shared().actingHost = std::move(host);
}

AuditActingFor::~AuditActingFor() {
    Shared().actingUser.clear();
    Shared().actingHost.clear();
}

std::string AuditActorName() {
    const std::string& acting = Shared().actingUser;
    return acting.empty() ? AuditUserName() : acting;
}

void RequireAudit(std::string_view act) {
    try {
        ProcessTrail().Probe();
    } catch (const std::exception& e) {
        const std::string why = "the audit trail cannot be written (" + std::string(e.what()) + "); nothing was " +
                                std::string(act == "decrypt"  ? "decrypted"
                                            : act == "export" ? "exported"
                                            : act == "note" || act == "tag" || act == "bookmark" || act == "hold"
                                                ? "changed"
                                                : "deleted");
        WriteRunLog("!Audit " + why);
        throw NotAudited(why);
    }
}

bool RemoveUnrecordedExport(const std::string& target) {
    std::error_code ec;
    const bool gone = fs::remove(target, ec) || !fs::exists(target, ec);
    WriteRunLog("!Audit the export [" + target + "] was " + (gone ? "removed" : "not removed") +
                ": no audit record could be written");
    return gone;
}

bool Audit(std::string_view act, const AuditRow& row, std::string_view target, std::string_view result) {
    AuditState& a = Shared();
    AuditOnSite(act, row, target, result);
    try {
        ProcessTrail().Append(act, row, target, result);
        a.failing = false;
        return true;
    } catch (const std::exception& e) {
        const std::string what = "the audit record of " + std::string(act) + " [" + row.path +
                                 "] could not be written: " + e.what();
        WriteRunLog("!Audit " + what);
        if (!a.failing) {
            a.failing = true;
            Process().dialogs->Information(
                (act == "play" ? "Listening is not being recorded: " : "The audit trail cannot be written: ") +
                what + ". The run log keeps each act meanwhile; tell the administrator.");
        }
        return false;
    }
}

AuditRow AuditRowOf(const platform::sqlstore::Recordset& set) {
    AuditRow row;
    if (!set.IsOpen() || set.Bof() || set.Eof()) return row;
    const auto value = [&](std::string_view name) {
        return set.FieldIndex(name) < 0 ? std::string() : set.Field(name);
    };
    try {
        return {text::Trim(value("FileFullName")), value("RecordDateTime"), value("RecordChannel"),
                value("CallNumber"),                value("RecordDuration"), value("CallDirection")};
    } catch (const std::exception&) {  // a row deleted meanwhile has no fields
        return row;
    }
}

AuditRow AuditRowAt(const platform::sqlstore::Recordset& set, long row) {
    const auto value = [&](std::string_view name) {
        const int column = set.FieldIndex(name);
        return std::string(column < 0 ? std::string_view() : set.Value(row, column).value_or(""));
    };
    return {text::Trim(value("FileFullName")), value("RecordDateTime"), value("RecordChannel"),
            value("CallNumber"),                value("RecordDuration"), value("CallDirection")};
}

AuditRow AuditRowFor(const std::string& path) {
    const auto& set = Process().rsResult;
    const std::string trimmed = text::Trim(path);
    if (set) {
        AuditRow row = AuditRowOf(*set);
        if (row.path == trimmed) return row;
    }
    return {trimmed, {}, {}, {}, {}, {}};
}

}  // namespace player
