// calldeck export: what the operator sees while an export runs, and its
// summary.
//
// On a terminal, one bar on standard error, redrawn at most ten times a
// second, with every missing or failed recording printed above it as it
// happens; otherwise (a log, a pipe) one plain line per recording, so that
// the output reads in order. Names and reasons are escaped as calldeck
// search escapes its values (a backslash, tab, line feed and carriage return
// as \\, \t, \n and \r), so that a file name cannot print as a line of its
// own. The summary goes to standard output:
// "exported N, missing M, failed F" (with " of T; interrupted" when cut
// short).
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace calldeck {

struct ExportCounts {
    std::size_t exported = 0, missing = 0, failed = 0;
};

class ExportProgress {
public:
    ExportProgress(std::size_t total, bool terminal);

    void Exported(const std::string& source, const std::string& target);
    void Missing(const std::string& source);
    void Failed(const std::string& source, const std::string& reason);
    // Ends the bar's line and prints the summary.
    void Summary(bool interrupted);

    const ExportCounts& Counts() const { return counts_; }

private:
    void Line(const std::string& text);
    void Draw(bool force);

    std::size_t total_;
    bool terminal_;
    ExportCounts counts_;
    std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace calldeck
