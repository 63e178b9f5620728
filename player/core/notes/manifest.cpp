// manifest.tsv: see manifest.h.
#include "player/core/notes/manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "player/core/private_files.h"

namespace player {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

std::string Joined(const std::vector<std::string>& parts, char between) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : std::string(1, between)) + p;
    return out;
}

}  // namespace

std::string ManifestHeader() {
    return "FileFullName\tRecordDateTime\tRecordChannel\tCallNumber\tRecordDuration\tCallDirection\tExportedAs\tTags\t"
           "Note\tBookmarks\tHold\tHeldBy\tHeldAt\n";
}

std::string ManifestLine(const ManifestEntry& entry) {
    const Annotations& written = entry.written;
    std::vector<std::string> marks;
    for (const Bookmark& b : written.bookmarks) marks.push_back(std::to_string(b.second) + " " + b.label);
    const Hold hold = written.hold.value_or(Hold{});
    const AuditRow& r = entry.row;
    std::string line;
    for (const std::string& value : {r.path, r.dateTime, r.channel, r.number, r.duration, r.direction,
                                     entry.exportedAs, Joined(written.tags, ' '), written.note, Joined(marks, '\n'),
                                     hold.reason, hold.by, hold.at})
        line += (line.empty() ? "" : "\t") + EscapeAuditField(value);
    return line + "\n";
}

void WriteManifest(const std::filesystem::path& file, const std::vector<ManifestEntry>& entries) {
    std::string text = ManifestHeader();
    for (const ManifestEntry& entry : entries) text += ManifestLine(entry);
    const std::filesystem::path part = file.string() + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    if (fd < 0) Fail("cannot create " + part.string());
    bool written = ::fchmod(fd, kPrivateFile) == 0;  // one left by an earlier run may be wider
    for (std::size_t at = 0; written && at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) at += static_cast<std::size_t>(n);
    }
    const int error = errno;
    if (::close(fd) != 0 && written) written = false;
    if (!written || ::rename(part.c_str(), file.c_str()) != 0) {
        const int why = written ? errno : error;
        ::unlink(part.c_str());
        errno = why;
        Fail("cannot write " + file.string());
    }
}

}  // namespace player
