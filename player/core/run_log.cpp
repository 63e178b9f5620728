// The daily run log: see run_log.h.
#include "run_log.h"

#include <cstdio>

#include "process_state.h"
#include "cut_text.h"

namespace player {

void WriteRunLog(const std::string& message) {
    const PlayerProcess& p = Process();
    const LocalTime now = p.Now();
    const std::string file = text::Trim(p.PlayerLogFolder + "/Runlog" + FormatDate(now) + ".txt");
    const std::string line = "<" + FormatDate(now) + " " + FormatClock(now) + ">" + message;
    if (std::FILE* f = std::fopen(file.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fwrite("\r\n", 1, 2, f);
        std::fclose(f);
    }
    if (p.StatusBarEcho) {
        try {
            p.StatusBarEcho(" RunLog : " + line);
        } catch (...) {  // the echo is a courtesy; the entry is written
        }
    }
}

}  // namespace player
