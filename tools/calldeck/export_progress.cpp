// calldeck export: progress and summary; see export_progress.h.
#include "export_progress.h"

#include <cstdio>
#include <iostream>

#include "player/core/audit/audit_record.h"

namespace calldeck {

ExportProgress::ExportProgress(std::size_t total, bool terminal) : total_(total), terminal_(terminal) { Draw(true); }

void ExportProgress::Line(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", terminal_ ? "\r\033[K" : "", text.c_str());
    Draw(true);
}

void ExportProgress::Draw(bool force) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - drawn_ < std::chrono::milliseconds(100)) return;
    drawn_ = now;
    const std::size_t done = counts_.exported + counts_.missing + counts_.failed;
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total_ ? done * kWidth / total_ : kWidth;
    std::fprintf(stderr, "\r\033[K[%s%s] %zu/%zu  exported %zu  missing %zu  failed %zu",
                 std::string(filled, '#').c_str(), std::string(kWidth - filled, '-').c_str(), done, total_,
                 counts_.exported, counts_.missing, counts_.failed);
    std::fflush(stderr);
}

void ExportProgress::Exported(const std::string& source, const std::string& target) {
    ++counts_.exported;
    if (terminal_)
        Draw(false);
    else
        Line("exported " + player::EscapeAuditField(source) + " -> " + player::EscapeAuditField(target));
}

void ExportProgress::Missing(const std::string& source) {
    ++counts_.missing;
    Line("missing " + player::EscapeAuditField(source));
}

void ExportProgress::Failed(const std::string& source, const std::string& reason) {
    ++counts_.failed;
    Line("failed " + player::EscapeAuditField(source) + ": " + player::EscapeAuditField(reason));
}

void ExportProgress::Summary(bool interrupted) {
    if (terminal_) {
        Draw(true);
        std::fputc('\n', stderr);
    }
    std::cout << "exported " << counts_.exported << ", missing " << counts_.missing << ", failed " << counts_.failed;
    if (interrupted) std::cout << " of " << total_ << "; interrupted";
    std::cout << "\n" << std::flush;
}

}  // namespace calldeck
