// "Pickup All": see pick_up_all.h.
#include "player/core/files/pick_up_all.h"

#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "player/core/audit/audit_trail.h"
#include "player/core/convert/convert_file.h"
#include "player/core/text.h"
#include "player/core/files/export_name.h"
#include "player/core/files/export_report.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/file_utilities.h"
#include "player/core/notes/manifest.h"

namespace fs = std::filesystem;

namespace player {
namespace {

// Runs one step of the batch; an error is logged and the batch goes on.
template <typename Step>
bool Attempt(Step&& step) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        WriteRunLog("!PickUpAll " + Describe(e));
        return false;
    }
}

// Cancel clears the flag by itself; the batch tells when it starts and ends.
void SetBatchConverting(bool on) {
    PlayerProcess& p = Process();
    p.IsBatchConverting = on;
    if (p.ConvertingChanged) p.ConvertingChanged();
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(text::Trim(path), ec);
}

// Exports the current row's recording when its file exists, counting it
// in `tally` as saved or failed.
void ExportRow(platform::sqlstore::Recordset& set, const std::string& folder, std::set<std::string>& taken,
               ExportTally& tally, std::vector<ManifestEntry>& manifest) {
    const std::string source = set.Field("FileFullName");
    if (source.empty() || !FileExists(source)) return;
    const std::string target = ExportTargetName(folder, text::Trim(source), taken);
    // Read while the index is surely open: closing the window during the
    // conversion closes it.
    const AuditRow row = AuditRowOf(set);
    const Annotations notes = LoadAnnotations(row.path);
    ConvertFile(source, target);
    bool written = FileExists(target);
    if (!written) WriteRunLog("ConvertFile File [" + source + "] To [" + target + "] Error!");
    if (!Audit("pickup-all", AuditRowOf(set), target, written ? "ok" : "failed: no WAV file was written") && written)
        written = !RemoveUnrecordedExport(target);
    ++(written ? tally.saved : tally.failed);
    if (written) manifest.push_back({row, fs::path(target).filename().string(), notes});
}

}  // namespace

std::string ConvertCountText(std::int32_t count, std::int32_t total) {
    return std::to_string(count) + " / " + std::to_string(total);
}

std::string PickUpAll(WindowHandle owner, ConvertProcess& progress) {
    PlayerProcess& p = Process();
    // The set the batch walks, held even if a search replaces rsResult meanwhile.
    const std::shared_ptr<platform::sqlstore::Recordset> set = p.rsResult;
    if (!set || !set->IsOpen() || set->RecordCount() <= 0) {
        p.dialogs->Information("no data");
        return {};
    }
    try {
        RequireAudit("export");
    } catch (const NotAudited& e) {
        p.dialogs->Information(e.what());
        return {};
    }
    std::int32_t total = 0;
    Attempt([&] {
        set->MoveLast();
        set->MoveFirst();
        total = static_cast<std::int32_t>(set->RecordCount());
    });
    SetBatchConverting(true);
    std::string picked, folder;
    Attempt([&] {
        picked = BrowseForFolder(owner, "Target Folder");
        std::error_code ec;
        if (!picked.empty() && fs::is_directory(ExportFolder(picked), ec)) folder = ExportFolder(picked);
    });
    if (!folder.empty()) {
        StopPlay();
        progress.Show();
        ExportTally tally{.where = picked, .total = total};
        std::set<std::string> taken;
        std::vector<ManifestEntry> manifest;
        bool past = false;
        while (p.IsBatchConverting) {
            if (!Attempt([&] { past = set->Eof(); }) || past) break;
            Attempt([&] { ExportRow(*set, folder, taken, tally, manifest); });
            tally.done = tally.saved + tally.failed;
            progress.ShowCount(tally.done, total);
            if (!Attempt([&] { set->MoveNext(); })) break;
            p.PumpEvents();
        }
        Attempt([&] { past = past || set->Eof(); });
        tally.cancelled = !past && !p.IsBatchConverting;
        if (!manifest.empty()) Attempt([&] { WriteManifest(fs::path(picked) / kManifestName, manifest); });
        WriteRunLog(ExportReport(tally));
    }
    SetBatchConverting(false);
    progress.Unload();
    return folder.empty() ? std::string() : picked;
}

}  // namespace player
