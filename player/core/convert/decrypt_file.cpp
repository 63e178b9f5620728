// Encrypted recordings: see decrypt_file.h.
#include "player/core/convert/decrypt_file.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "player/core/audit/audit_trail.h"
#include "converter/crypt_result.h"
#include "converter/site_key.h"
#include "converter/velkcodec_api.h"
#include "player/core/text.h"
#include "player/core/convert/outside_library.h"
#include "player/core/convert/recording_format.h"
#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/file_utilities.h"

namespace player {
namespace {

// A writable copy of a text, as the entry points take their texts.
std::vector<char> Writable(const std::string& s) {
    std::vector<char> copy(s.begin(), s.end());
    copy.push_back('\0');
    return copy;
}

// Once a run, at its first decryption: what protects the encrypted
// recordings, when it is only the mask every copy of the program holds, or
// a site key refused for its mode.
void TellHowRecordingsAreProtected() {
    PlayerProcess& p = Process();
    if (p.SiteKeyNoticeTold) return;
    p.SiteKeyNoticeTold = true;
    if (const std::string notice = velk::SiteKeyNotice(ProgramFolder(), /*builtInMask=*/true); !notice.empty())
        WriteRunLog(notice);
}

}  // namespace

std::int16_t clsDecryptFile::setDecryptVoiceMask(bool bUse) {
    auto set = VelkCodecLibrary().Function<velk::SetVoiceMaskFn>(velk::kSetVoiceMaskName);
    auto mask = Writable(bUse ? MaskKey : std::string());
    return set(mask.data());
}

std::int16_t clsDecryptFile::DecryptFile(const std::string& source, std::int32_t type, const std::string& target) {
    auto decrypt = VelkCodecLibrary().Function<velk::CryptFileFn>(velk::kDecryptFileName);
    auto from = Writable(source), to = Writable(target);
    return decrypt(from.data(), type, to.data());
}

bool IsEncryptedFile(const std::string& path) {
    const std::string p = text::Trim(path);
    std::error_code ec;
    if (p.size() < 5 || !std::filesystem::is_regular_file(p, ec)) return false;
    return text::Right(text::Left(p, static_cast<long>(p.size()) - 4), 1) == "E";
}

Decrypted DecryptFile(const std::string& path) {
    const std::string p = text::Trim(path);
    try {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(p, ec)) {
            WriteRunLog("file loss , path = " + p);
            return {{}, "the recording is gone"};
        }
        const std::string name = std::filesystem::path(p).filename().string();
        const std::string ext = text::UCase(text::Right(p, 3));
        const RecordingFormat* format = FindRecordingFormat(ext);
        const std::string base = name.substr(0, name.find('.'));
        if (!format || !format->cryptType) {
            WriteRunLog("unknow source file type , path = " + p);
            return {{}, "." + ext + " recordings are not decrypted"};
        }
        PlayerProcess& process = Process();
        if (!MyMkDir(process.DecryptTmpFolder)) return {{}, "the folder " + process.DecryptTmpFolder + " cannot be made"};
        NarrowToOwner(process.DecryptTmpFolder);  // the copies are 0600, and their folder no one else's
        const LocalTime t = process.Now();
        using text::ZeroPad;
        const std::string stamp = ZeroPad(t.year, 4) + ZeroPad(t.month, 2) + ZeroPad(t.day, 2) + ZeroPad(t.hour, 2) +
                                  ZeroPad(t.minute, 2) + ZeroPad(t.second, 2);  // yyyyMMddHHmmss
        const std::string target = process.DecryptTmpFolder + "/dec_" + base + "_" + stamp + "N." + ext;
        RequireAudit("decrypt");
        TellHowRecordingsAreProtected();
        clsDecryptFile decryptor;
        decryptor.setDecryptVoiceMask(true);
        const std::int16_t code = decryptor.DecryptFile(p, *format->cryptType, target);
        const bool recorded =
            Audit("decrypt", AuditRowFor(p), target, code == 0 ? "ok" : "failed: return = " + std::to_string(code));
        if (code == 0 && !recorded) {  // plaintext no record tells of is not used
            MyDelFIle(target);
            return {{}, "no audit record of the decryption could be written"};
        }
        if (code == 0) return {target, {}};
        WriteRunLog("can not decrypt file , path = " + p + " , return = " + std::to_string(code));
        return {{}, std::string(velk::CryptResultText(code)) + ", return = " + std::to_string(code)};
    } catch (const NotAudited& e) {  // RequireAudit has logged why
        return {{}, e.what()};
    } catch (const std::exception& e) {
        WriteRunLog("!DecryptFile " + Describe(e) + " file = " + p);
        return {{}, Describe(e)};
    }
}

DecryptedCopy::~DecryptedCopy() {
    if (!path_.empty()) MyDelFIle(path_);
}

namespace {

// The process number in "export-<pid>" or "export-<pid>.parts"; "" for
// any other name.
std::string ExportPid(std::string_view name) {
    if (!name.starts_with("export-")) return {};
    name.remove_prefix(7);
    if (name.ends_with(".parts")) name.remove_suffix(6);
    return !name.empty() && text::AllDigits(name) ? std::string(name) : std::string();
}

}  // namespace

int RemoveLeftoverCopies() {
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    int removed = 0;
    std::error_code ec;
    const auto oldest = fs::file_time_type::clock::now() - 5min;
    for (fs::directory_iterator it(Process().DecryptTmpFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code err;
        if (name.starts_with("dec_") && it->is_regular_file(err) && it->last_write_time(err) < oldest && !err) {
            removed += fs::remove(it->path(), err) ? 1 : 0;
        } else if (const std::string pidText = ExportPid(name); !pidText.empty() && it->is_directory(err)) {
            const long pid = std::strtol(pidText.c_str(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
                const std::uintmax_t gone = fs::remove_all(it->path(), err);  // the folder and its files
                if (!err && gone > 1) removed += static_cast<int>(gone - 1);
            }
        }
    }
    if (removed > 0) WriteRunLog("Removed " + std::to_string(removed) + " decrypted copies left by an earlier run");
    return removed;
}

}  // namespace player
