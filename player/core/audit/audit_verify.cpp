// Checking the audit trail's chain: see audit_verify.h.
#include "player/core/audit/audit_verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "player/core/audit/audit_record.h"

namespace fs = std::filesystem;

namespace player {
namespace {

std::optional<std::string> ReadWhole(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0) bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (ssize_t n; done < bytes.size() && (n = ::read(fd, bytes.data() + done, bytes.size() - done)) > 0;)
        done += static_cast<std::size_t>(n);
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

struct Line {
    std::size_t file;
    std::size_t number;  // 1-based within its file
    std::string_view text;
    bool ended;  // by a line feed
};

std::string Count(std::uint64_t from, std::uint64_t to) {
    if (from == to) return "record " + std::to_string(from) + " was";
    return "records " + std::to_string(from) + " to " + std::to_string(to) + " were";
}

// The lines of file `file` (at most `most`).
std::vector<Line> LinesOf(std::size_t file, std::string_view s, std::size_t most = SIZE_MAX) {
    std::vector<Line> lines;
    for (std::size_t from = 0; from < s.size() && lines.size() < most;) {
        const std::size_t end = s.find('\n', from);
        const bool ended = end != std::string_view::npos;
        lines.push_back({file, lines.size() + 1, s.substr(from, (ended ? end : s.size()) - from), ended});
        from = ended ? end + 1 : s.size();
    }
    return lines;
}

class Checker {
public:
    explicit Checker(const std::vector<fs::path>& files) : files_(files) {}

    // Checks the first `count` of `lines`: one file's lines, followed by the
    // next file's first line to look ahead to. False once a problem is found.
    bool Check(const std::vector<Line>& lines, std::size_t count) {
        lines_ = &lines;
        for (std::size_t i = 0; i < count && out_.whole;) i = Step(i);
        if (count > 0) previousFile_ = Name(lines[0].file);
        return out_.whole;
    }
    AuditVerification Result() {
        out_.lastHash = Hex(hash_);
        return out_;
    }
    void Problem(std::string what) {
        out_.whole = false;
        out_.problem = std::move(what);
    }

private:
    std::string Name(std::size_t file) const { return files_[file].filename().string(); }
    std::string Where(const Line& l) const { return Name(l.file) + " line " + std::to_string(l.number); }

    bool Fits(const std::optional<AuditLineFields>& f, const AuditHash& previous, std::uint64_t seq) const {
        return f && f->seq == seq && ChainHash(f->text, previous) == f->hash;
    }
    void Take(const AuditLineFields& f) {
        hash_ = f.hash;
        next_ = f.seq + 1;
        ++out_.records;
    }
    // Checks lines_[i] (and one ahead where it does not fit); the next line to check.
    std::size_t Step(std::size_t i) {
        const std::vector<Line>& lines = *lines_;
        const Line& l = lines[i];
        if (!l.ended) {
            out_.notes.push_back(Where(l) + ": a record cut short (the program or the machine stopped while "
                                 "writing it); not part of the chain");
            return i + 1;
        }
        const auto f = SplitAuditLine(l.text);
        if (l.number == 1 && !StartOfFile(i, f)) return i;
        if (Fits(f, hash_, next_)) {
            Take(*f);
            return i + 1;
        }
        const Line* n = i + 1 < lines.size() && lines[i + 1].ended ? &lines[i + 1] : nullptr;
        const auto fn = n ? SplitAuditLine(n->text) : std::nullopt;
        if (fn && fn->field[kAct] == kActCutRecord && Fits(fn, hash_, next_) &&
            UnescapeAuditField(fn->field[kResult]) == Hex(HashOf(l.text))) {
            out_.notes.push_back(Where(l) + ": a record cut short by a crash, closed by the record after it");
            Take(*fn);
            return i + 2;
        }
        if (fn && Fits(fn, hash_, next_)) {
            if (f && f->seq == next_ + 1 && Fits(f, fn->hash, next_ + 1))
                Problem(Where(l) + " and the line after it: records " + std::to_string(next_) + " and " +
                        std::to_string(next_ + 1) + " were swapped");
            else
                Problem(Where(l) + ": this line was inserted; the chain goes on from the line before it to the "
                                   "line after it");
        } else if (!f) {
            Problem(Where(l) + ": this line is no audit record; it was changed or inserted");
        } else if (f->seq == next_) {
            Problem(Where(l) + ": record " + std::to_string(f->seq) + " was changed");
        } else if (f->seq > next_ && (!fn || n->number == 1 || Fits(fn, f->hash, f->seq + 1))) {
            Problem(Where(l) + ": " + Count(next_, f->seq - 1) + " removed before this line");
        } else if (f->seq < next_) {
            Problem(Where(l) + ": record " + std::to_string(f->seq) + " stands out of its place, after record " +
                    std::to_string(next_ - 1) + "; it was moved or copied here");
        } else {
            Problem(Where(l) + ": record " + std::to_string(f->seq) + " was changed");
        }
        return i;
    }

    // A file's first line: its "continue" record must name the file checked
    // before it. The first file checked gives the chain's starting point.
    bool StartOfFile(std::size_t i, const std::optional<AuditLineFields>& f) {
        const Line& l = (*lines_)[i];
        if (!f || f->field[kAct] != kActContinue) {
            if (started_) return true;  // the chain check names what is wrong
            Problem(Where(l) + ": the file does not begin with its continue record; its first lines were removed "
                               "or changed");
            return false;
        }
        const std::string continues = UnescapeAuditField(f->field[kPath]);
        if (started_) {
            const std::string& previous = previousFile_;
            if (continues == previous) return true;
            Problem(Where(l) + ": " +
                    (continues.empty()
                         ? "this file starts a chain of its own instead of continuing " + previous
                         : "the file " + continues + " is missing from the series; this file continues it"));
            return false;
        }
        started_ = true;
        const auto from = FromHex(UnescapeAuditField(f->field[kResult]));
        if (!continues.empty() && from) {
            hash_ = *from;
            next_ = f->seq;
            out_.notes.push_back(Name(l.file) + " continues " + continues +
                                 ", which is not among the files checked; the chain is checked from there");
        }
        return true;
    }

    const std::vector<fs::path>& files_;
    const std::vector<Line>* lines_ = nullptr;
    std::string previousFile_;  // the last file with lines checked
    AuditVerification out_;
    AuditHash hash_ = kAuditChainStart;
    std::uint64_t next_ = 1;
    bool started_ = false;
};

}  // namespace

std::vector<fs::path> AuditFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.starts_with("audit-") && n.ends_with(".tsv")) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

AuditVerification VerifyAudit(std::vector<fs::path> files) {
    std::stable_sort(files.begin(), files.end(),
                     [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    // Two files in memory at a time: the one checked, and the next for its
    // first line.
    Checker checker(files);
    std::string current, next;
    for (std::size_t f = 0; f < files.size(); ++f) {
        for (std::size_t g = f == 0 ? 0 : f + 1; g <= f + 1 && g < files.size(); ++g) {
            auto bytes = ReadWhole(files[g]);
            if (!bytes) {
                checker.Problem(files[g].string() + ": cannot be read: " + std::strerror(errno));
                return checker.Result();
            }
            (g == f ? current : next) = std::move(*bytes);
        }
        std::vector<Line> lines = LinesOf(f, current);
        const std::size_t count = lines.size();
        if (f + 1 < files.size()) {
            const auto after = LinesOf(f + 1, next, 1);
            lines.insert(lines.end(), after.begin(), after.end());
        }
        if (!checker.Check(lines, count)) break;
        current = std::move(next);
        next.clear();
    }
    return checker.Result();
}

AuditVerification VerifyAuditText(const std::string& name, std::string_view text) {
    const std::vector<fs::path> names{name};
    Checker checker(names);
    const std::vector<Line> lines = LinesOf(0, text);
    checker.Check(lines, lines.size());
    return checker.Result();
}

}  // namespace player
