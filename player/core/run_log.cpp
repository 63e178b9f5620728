// The daily run log: see run_log.h.
#include "player/core/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/text.h"

namespace player {

namespace {

// Appends one entry in one write, so entries of two programs writing the
// same day's log never interleave. A log whose last entry was cut short (a
// power cut, a full disk) gets its line ended first: the cut entry stays
// readable as what it is, and the new one starts a line of its own.
void Append(const std::string& file, const std::string& line) {
    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFile);
    if (fd < 0) return;
    std::string entry;
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        entry = "\r\n";
    entry += line + "\r\n";
    const char* from = entry.data();
    std::size_t left = entry.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, from, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        from += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace

void WriteRunLog(const std::string& message) {
    const PlayerProcess& p = Process();
    const LocalTime now = p.Now();
    const std::string file = text::Trim(p.PlayerLogFolder + "/Runlog" + FormatDate(now) + ".txt");
    const std::string line = "<" + FormatDate(now) + " " + FormatClock(now) + ">" + message;
    Append(file, line);
    if (p.StatusBarEcho) {
        try {
            p.StatusBarEcho(" RunLog : " + line);
        } catch (...) {  // the echo is a courtesy; the entry is written
        }
    }
}

}  // namespace player
