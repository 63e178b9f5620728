// The line an export ends with: see export_report.h.
#include "player/core/files/export_report.h"

namespace player {

std::string ExportReport(const ExportTally& t) {
    std::string line;
    auto add = [&line](const std::string& part) { line += (line.empty() ? "" : "; ") + part; };
    if (t.cancelled) add("Cancelled after " + std::to_string(t.done) + " of " + std::to_string(t.total));
    if (t.saved > 0 || t.failed == 0)
        add(std::to_string(t.saved) + (t.saved == 1 ? " recording" : " recordings") + " saved to " + t.where);
    if (t.failed > 0) add(std::to_string(t.failed) + " failed: see the run log");
    return line;
}

}  // namespace player
