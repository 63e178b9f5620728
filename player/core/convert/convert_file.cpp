// Converting a recording to WAV: see convert_file.h.
#include "player/core/convert/convert_file.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "converter/result_text.h"
#include "converter/velkcodec_api.h"
#include "player/core/convert/copy_recording.h"
#include "player/core/text.h"
#include "player/core/convert/decrypt_file.h"
#include "outside/voicecvt/result_codes.h"
#include "outside/voicecvt/voicecvt_api.h"
#include "player/core/convert/outside_library.h"
#include "player/core/convert/recording_format.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

namespace player {
namespace {

constexpr long long kWaitSeconds = 120;

// Seconds on the player's clock, for "second boundaries crossed".
long long ClockSeconds(const LocalTime& t) {
    const auto day = std::chrono::year_month_day(std::chrono::year(t.year), std::chrono::month(unsigned(t.month)),
                                                 std::chrono::day(unsigned(t.day)));
    return static_cast<long long>(std::chrono::sys_days(day).time_since_epoch().count()) * 86400 + t.hour * 3600 +
           t.minute * 60 + t.second;
}

void ShowProgress(int p) {
    if (const auto& show = Process().ShowConvertProgress) show(p);
}

// Starts the format's converter; why it refused (its line logged), or "".
std::string Start(const RecordingFormat& format, const std::string& source, const std::string& target) {
    if (format.converter == Converter::VoiceCvt) {
        OutsideLibrary& lib = VoiceCvtLibrary();
        auto init = lib.Function<voicecvt::InitCvtFn>(voicecvt::kInitCvtName);
        auto start = lib.Function<voicecvt::StartCvtFn>(voicecvt::kStartCvtToFileWaveName);
        init();
        const std::int32_t code = start(source.c_str(), target.c_str(), format.converterType, 1.0);
        if (code == 0) return {};
        const std::string why = "VoiceCvt.dll refused to convert [" + source + "]: " + voicecvt::DescribeStart(code) +
                                ", return = " + std::to_string(code);
        WriteRunLog("!ConvertFile " + why);
        return why;
    }
    auto start = VelkCodecLibrary().Function<velk::VelkCodecFn>(velk::kVelkCodecName);
    const std::int32_t code = start(source.c_str(), format.converterType, target.c_str(), kALawCode);
    if (code == 0) return {};
    const std::string why = velk::ResultText(code, {"AuralCodecG711a.dll", "AuralCodecWren2.dll", target, source});
    WriteRunLog("!ConvertFile " + why);
    return why;
}

// The outcome of a conversion that ran: the target is there, or why not.
Outcome Written(const std::string& target, std::string why) {
    std::error_code ec;
    if (std::filesystem::exists(target, ec)) return {};
    return {why.empty() ? "no WAV file was written" : std::move(why)};
}

int Progress(Converter converter) {
    if (converter == Converter::VoiceCvt)
        return VoiceCvtLibrary().Function<voicecvt::GetCvtVoiceProcessFn>(voicecvt::kGetCvtVoiceProcessName)();
    return static_cast<std::int16_t>(
        VelkCodecLibrary().Function<velk::GetConvertProgressFn>(velk::kGetConvertProgressName)());
}

}  // namespace

Outcome ConvertFile(const std::string& source, const std::string& target) {
    PlayerProcess& p = Process();
    if (p.IsConverting) {  // asked again while the wait below lets events run
        const std::string why = "a conversion is running already; [" + text::Trim(source) + "] is not converted";
        WriteRunLog("!ConvertFile " + why);
        return {why};
    }
    std::string why;
    try {
        const std::string s = text::Trim(source);
        std::error_code ec;
        if (s.empty() || !std::filesystem::exists(s, ec)) {
            FinishConvert();
            return {"the recording is gone"};
        }
        const bool encrypted = IsEncryptedFile(s);
        const Decrypted decrypted = encrypted ? DecryptFile(s) : Decrypted{};
        // Deleted on every way out of this block, a failure's included.
        const DecryptedCopy copy(decrypted.path);
        const std::string& w = encrypted ? copy.Path() : s;
        if (w.empty()) {
            FinishConvert();
            return {decrypted.reason.empty() ? "the recording could not be decrypted" : decrypted.reason};
        }
        const std::string ext = text::UCase(text::Right(w, 3));
        p.ConvertingType = ext;
        p.IsConverting = true;
        if (p.ConvertingChanged) p.ConvertingChanged();
        const long long started = ClockSeconds(p.Now());
        const RecordingFormat* format = FindRecordingFormat(ext);
        if (!format) why = "no converter takes ." + ext + " recordings";
        if (format && format->converter == Converter::Copy) {
            if (const std::error_code copied = CopyRecording(w, target)) throw FileError(copied);
        } else if (format) {
            why = Start(*format, w, target);
            if (why.empty()) {
                int progress = 0;
                // IsConverting: a close answered Yes meanwhile has finished the conversion.
                while (p.IsConverting && ClockSeconds(p.Now()) - started <= kWaitSeconds && progress < 100) {
                    p.PumpEvents();
                    progress = Progress(format->converter);
                    ShowProgress(progress);
                    // The converters answer at once below 100: a short pause
                    // keeps the wait from spinning a core.
                    if (progress < 100) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
            ShowProgress(100);
        }
        FinishConvert();
    } catch (const std::exception& e) {
        why = Describe(e);
        WriteRunLog("!ConvertFile " + why);
        FinishConvert();
    }
    return Written(target, why);
}

void FinishConvert() {
    PlayerProcess& p = Process();
    try {
        if (p.IsConverting) {
            const RecordingFormat* format = FindRecordingFormat(p.ConvertingType);
            if (format && format->converter == Converter::VoiceCvt)
                VoiceCvtLibrary().Function<voicecvt::StopCvtFn>(voicecvt::kStopCvtToFileWaveName)();
            else if (format && format->converter == Converter::VelkCodec)
                VelkCodecLibrary().Function<velk::StopConvertFn>(velk::kStopConvertName)();
        }
    } catch (...) {  // every error inside is ignored
    }
    const bool was = p.IsConverting;
    p.IsConverting = false;
    p.ConvertingType.clear();
    if (was && p.ConvertingChanged) p.ConvertingChanged();
}

}  // namespace player
