// calldeck export: one recording into one WAV; see export_convert.h.
#include "export_convert.h"

#include <filesystem>
#include <system_error>

#include "converter/convert_job.h"
#include "converter/convert_state.h"
#include "converter/format_table.h"
#include "converter/result_text.h"
#include "player/core/convert/convert_file.h"
#include "player/core/convert/copy_recording.h"
#include "player/core/text.h"
#include "player/core/convert/decrypt_file.h"
#include "player/core/convert/recording_format.h"

namespace calldeck {
namespace {

namespace fs = std::filesystem;
using namespace player;

ConvertOutcome ThroughVelkCodec(const std::string& source, std::int32_t sourceCode, const std::string& target) {
    velk::ConvertState state;
    velk::CConvertJob job(velk::CodecLibraryName(kALawCode), velk::CodecLibraryName(sourceCode), target.c_str(),
                          source.c_str(), state, {});
    // A write the disk refused says the system's reason ("No space left on device").
    const auto refused = [&job] { return std::system_category().message(job.TargetError()); };
    if (job.Result() != velk::kStarted)
        return {false, velk::ResultText(job.Result(), job.Names()) + (job.TargetError() ? ": " + refused() : "")};
    if (!job.ConvertHere()) {
        if (job.TargetError())
            return {false, "the conversion failed while it ran: the WAV file could not be written: " + refused()};
        return {false, "the conversion failed while it ran: the recording is damaged or cut short"};
    }
    return {true, {}};
}

}  // namespace

ConvertOutcome ConvertRecording(const std::string& source, const std::string& target) {
    try {
        const std::string s = text::Trim(source);
        std::error_code ec;
        if (s.empty() || !fs::exists(s, ec)) return {false, "the recording is gone"};
        const bool encrypted = IsEncryptedFile(s);
        const Decrypted decrypted = encrypted ? DecryptFile(s) : Decrypted{s, {}};
        if (!decrypted.ok()) return {false, decrypted.reason};
        const std::string& w = decrypted.path;
        DecryptedCopy copy(encrypted ? w : std::string());
        const std::string ext = text::UCase(text::Right(w, 3));
        const RecordingFormat* format = FindRecordingFormat(ext);
        if (!format) return {false, "no converter takes ." + ext + " recordings"};
        switch (format->converter) {
        case Converter::VelkCodec: return ThroughVelkCodec(w, format->converterType, target);
        case Converter::Copy:
            if (const std::error_code copied = player::CopyRecording(w, target))
                return {false, "the recording could not be copied: " + copied.message()};
            return {true, {}};
        case Converter::VoiceCvt:
            fs::remove(target, ec);  // success is judged by the target's existence, as the player does
            if (const Outcome converted = ConvertFile(w, target); !converted.ok()) return {false, converted.reason};
            return {true, {}};
        }
        return {false, "no converter takes ." + ext + " recordings"};
    } catch (const std::exception& e) {
        return {false, e.what()};
    } catch (...) {
        return {false, "an unexpected error"};
    }
}

}  // namespace calldeck
