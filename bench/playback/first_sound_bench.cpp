// bench/playback: click to first sound. The time from PlayRecordFile(path,
// 0) -- what the window's play button calls for the selected row -- to the
// first samples handed to the audio device, per format and length: an
// A-law WAV (copied), VOC, VC2 and VC5 (VoiceCvt) and NTC (G.729 through
// VelkCodec), each of one minute and of one hour; the A-law and NTC
// minutes also at the player block's other speeds.
//
// First sound is read from the device itself: after PlayRecordFile returns,
// "Status <alias> position" is polled through Process().MciSend (the real
// MCI layer, installed by UseAudioOutput) every 100 us until it is above 0.
// The MCI layer counts the position as the frames its SDL callback has
// handed to the device, so the first non-zero answer is the first sound,
// seen at most one poll late. SDL plays through its disk driver into
// /dev/null with a 5 ms delay between buffers. The SDL audio subsystem is
// started once before the runs, so no run pays for it.
//
// Every iteration converts for real: ConvertTemp.wav is deleted and
// CurrentRecordFile cleared between iterations, and StopPlay ends each.
// The time is wall time from the call to the first sound (manual time: the
// work runs on the converters' and SDL's threads). Counters, means per
// iteration, in ms, from the player's own notifications (ConvertingChanged
// and the progress bar's ShowConvertProgress):
//   before_convert_ms  the call to the start of the conversion (stopping
//                      what plays, deleting the old temporary file)
//   convert_ms         the conversion: ConvertFile from start to end
//   after_convert_ms   the end of the conversion to first sound: the
//                      player's bookkeeping, open, seek, play, SDL's first
//                      callback -- ours
//   lib_start_ms       conversion start to the first progress above 0
//   lib_frames_ms      first progress above 0 to the last progress below
//                      100: the converter working through the recording
//   lib_collect_ms     the last progress below 100 to the report of 100
//   lib_finish_ms      the report of 100 to the end of the conversion
//                      (FinishConvert: the converter's stop call)
// Neither converter waits on the clock: VelkCodec's worker begins its first
// frame at once, its progress call at 100 returns as soon as the worker has
// ended, and its stop call after that returns at once. lib_start_ms and
// lib_collect_ms are thus the first frames and the player's 5 ms pause
// between polls, lib_finish_ms the stop call, lib_frames_ms the decoding.
// When a conversion is so short that no progress between 0 and 100 is
// seen, lib_frames_ms is 0 and the decoding falls into lib_start_ms. The
// goal for a one-minute NTC (NTC_minute) is first sound under 100 ms.
//
// The recordings: one minute of speech-like audio made into VOC, VC2 and
// VC5 by the real VoiceCvt (from a 16-bit PCM WAV, as a recorder side
// does), into G.729 frames by the AuralCodecWren2 plug-in, and the A-law
// WAV holds the VOC's A-law bytes. The one-hour recordings repeat the
// minute's bytes sixty times: all five formats are headerless (the WAV
// gets its header once) and the minute ends on a frame boundary in each.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"
#include "outside/voicecvt/voicecvt_api.h"
#include "bench/common/voicecvt_recording.h"
#include "platform/dynlib/dynlib.h"
#include "player/core/playback/audio_output.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using Clock = std::chrono::steady_clock;

namespace {

using Tessel::testing::kALawWav;
using Tessel::testing::kPcmWav;
using Tessel::testing::WavHeader;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// `header`, then `body` written `times` times.
void WriteRepeated(const fs::path& file, const std::string& header, const std::string& body, int times) {
    std::ofstream out(file, std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    for (int i = 0; i < times; ++i) out.write(body.data(), std::streamsize(body.size()));
}

// The staged player with the real libraries, the recordings and the audio
// output, made once for every benchmark of the run.
struct Stage {
    std::unique_ptr<player::testing::StagedPlayer> staged = std::make_unique<player::testing::StagedPlayer>();
    fs::path calls = staged->Folder() / "calls";
    std::string error;

    Stage() {
        staged->Start();
        for (const char* lib :
             {"VelkCodec.so", "VoiceCvt.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
            staged->StageLibrary(lib);
        fs::create_directories(calls);
        MakeRecordings();
        if (error.empty()) StartAudio();
    }

    void MakeRecordings() {
        const auto pcm = Tessel::testing::SpeechLike(60, 11);
        const std::string samples(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
        const fs::path speech = calls / "speech.WAV";
        WriteRepeated(speech, WavHeader(kPcmWav, std::uint32_t(samples.size())), samples, 1);

        for (auto [ext, type] : {std::pair{"VOC", voicecvt::kTypeVoc}, {"VC2", voicecvt::kTypeVc2},
                                 {"VC5", voicecvt::kTypeVc5}}) {
            const fs::path minute = calls / (std::string("minute.") + ext);
            error = bench::MakeVoiceCvtRecording(speech, minute, type, ext);
            if (!error.empty()) return;
            const std::string bytes = ReadAll(minute);
            if (bytes.empty()) {
                error = std::string("no ") + ext + " recording was made";
                return;
            }
            WriteRepeated(calls / (std::string("hour.") + ext), "", bytes, 60);
            if (std::string_view(ext) == "VOC") {  // the same A-law bytes, as a WAV
                for (auto [name, times] : {std::pair{"minute.WAV", 1}, {"hour.WAV", 60}})
                    WriteRepeated(calls / name, WavHeader(kALawWav, std::uint32_t(bytes.size()) * times), bytes, times);
            }
        }
        fs::remove(speech);

        Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll");
        if (!g729.Loaded()) {
            error = "the G.729 plug-in did not load";
            return;
        }
        auto encoder = g729.Encoder();
        if (encoder->Init() != 0) {
            error = "the G.729 encoder is not ready";
            return;
        }
        std::string coded(pcm.size() / 160 * 20, '\0');
        for (size_t f = 0; f < pcm.size() / 160; ++f)
            encoder->Encode(reinterpret_cast<std::uint8_t*>(&coded[f * 20]), &pcm[f * 160], 1);
        WriteRepeated(calls / "minute.NTC", "", coded, 1);
        WriteRepeated(calls / "hour.NTC", "", coded, 60);
    }

    // The MCI layer as the program installs it, and SDL's audio started by
    // one short play, so that no measured run pays for that start.
    void StartAudio() {
        UseAudioOutput();
        const fs::path warm = calls / "warm.wav";
        WriteRepeated(warm, WavHeader(kALawWav, 800), std::string(800, '\x55'), 1);
        std::string reply;
        const std::string open = "Open \"" + warm.string() + "\" ALIAS \"warm\" TYPE Waveaudio";
        if (Process().MciSend(open, reply) != 0) {
            error = "no audio output: " + platform::mci::LastAudioProblem();
            return;
        }
        Process().MciSend("Play \"warm\" wait", reply);
        Process().MciSend("Close \"warm\"", reply);
        fs::remove(warm);
    }
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

// The moments of one click, as the player reports them.
struct Timeline {
    Clock::time_point clicked;
    std::optional<Clock::time_point> convertStart, convertEnd, firstAbove0, lastBelow100, reached100;

    void Converting() {
        const auto now = Clock::now();
        (Process().IsConverting ? convertStart : convertEnd) = now;
    }
    void Progress(int percent) {
        const auto now = Clock::now();
        if (percent >= 100) {
            if (!reached100) reached100 = now;
            return;
        }
        lastBelow100 = now;
        if (percent > 0 && !firstAbove0) firstAbove0 = now;
    }
};

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The device's position in ms, read through the player's own MCI seam.
long Position(const std::string& alias) {
    std::string reply;
    if (Process().MciSend("Status \"" + alias + "\" position", reply) != 0) return -1;
    return reply.empty() ? -1 : std::stol(reply);
}

void BM_ClickToFirstSound(benchmark::State& state, const char* file, std::int32_t speed = 1000) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) {
        state.SkipWithError(stage.error.c_str());
        return;
    }
    const std::string recording = (stage.calls / file).string();
    const std::string temporary = ConvertTempFile();
    PlayerProcess& p = Process();
    Timeline t;
    p.ConvertingChanged = [&t] { t.Converting(); };
    p.ShowConvertProgress = [&t](int percent) { t.Progress(percent); };
    p.Player->mmSpeed(speed);

    double before = 0, convert = 0, after = 0, libStart = 0, libFrames = 0, libCollect = 0, libFinish = 0;
    std::string failure;
    for (auto _ : state) {
        t = Timeline{};
        t.clicked = Clock::now();
        if (!PlayRecordFile(recording, 0)) {
            failure = std::string("the player did not play ") + file;
            break;
        }
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        long position = 0;
        while ((position = Position(temporary)) <= 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const auto sounded = Clock::now();
        if (position <= 0) {
            failure = std::string("no sound within 10 s of the conversion of ") + file;
            break;
        }
        if (!t.convertStart || !t.convertEnd) {
            failure = "the player did not report its conversion";
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(sounded - t.clicked).count());
        before += Ms(t.clicked, *t.convertStart);
        convert += Ms(*t.convertStart, *t.convertEnd);
        after += Ms(*t.convertEnd, sounded);
        if (t.reached100 && t.lastBelow100) {
            const bool sawFrames = t.firstAbove0 && *t.firstAbove0 <= *t.lastBelow100;
            libStart += Ms(*t.convertStart, sawFrames ? *t.firstAbove0 : *t.lastBelow100);
            libFrames += sawFrames ? Ms(*t.firstAbove0, *t.lastBelow100) : 0.0;
            libCollect += Ms(*t.lastBelow100, *t.reached100);
            libFinish += Ms(*t.reached100, *t.convertEnd);
        }

        StopPlay();
        fs::remove(temporary);
        p.CurrentRecordFile.clear();
    }
    StopPlay();
    p.Player->mmSpeed(1000);
    p.ConvertingChanged = nullptr;
    p.ShowConvertProgress = nullptr;
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
    }
    using benchmark::Counter;
    state.counters["before_convert_ms"] = Counter(before, Counter::kAvgIterations);
    state.counters["convert_ms"] = Counter(convert, Counter::kAvgIterations);
    state.counters["after_convert_ms"] = Counter(after, Counter::kAvgIterations);
    state.counters["lib_start_ms"] = Counter(libStart, Counter::kAvgIterations);
    state.counters["lib_frames_ms"] = Counter(libFrames, Counter::kAvgIterations);
    state.counters["lib_collect_ms"] = Counter(libCollect, Counter::kAvgIterations);
    state.counters["lib_finish_ms"] = Counter(libFinish, Counter::kAvgIterations);
    state.counters["recording_MB"] = double(fs::file_size(recording)) / 1e6;
}

#define FIRST_SOUND(name, file, iterations)              \
    BENCHMARK_CAPTURE(BM_ClickToFirstSound, name, file) \
        ->UseManualTime()                               \
        ->Unit(benchmark::kMillisecond)                 \
        ->Iterations(iterations)

FIRST_SOUND(ALawWAV_minute, "minute.WAV", 10);
FIRST_SOUND(ALawWAV_hour, "hour.WAV", 5);
FIRST_SOUND(VOC_minute, "minute.VOC", 10);
FIRST_SOUND(VOC_hour, "hour.VOC", 5);
FIRST_SOUND(VC2_minute, "minute.VC2", 10);
FIRST_SOUND(VC2_hour, "hour.VC2", 5);
FIRST_SOUND(VC5_minute, "minute.VC5", 10);
FIRST_SOUND(VC5_hour, "hour.VC5", 3);
FIRST_SOUND(NTC_minute, "minute.NTC", 3);
FIRST_SOUND(NTC_hour, "hour.NTC", 3);

// The same click with the player block's speed set: the device opens with
// the speed and stretches from its first buffer.
#define FIRST_SOUND_AT(name, file, speed, iterations)                   \
    BENCHMARK_CAPTURE(BM_ClickToFirstSound, name, file, speed) \
        ->UseManualTime()                                               \
        ->Unit(benchmark::kMillisecond)                                 \
        ->Iterations(iterations)

FIRST_SOUND_AT(ALawWAV_minute_at_0_5x, "minute.WAV", 500, 10);
FIRST_SOUND_AT(ALawWAV_minute_at_1_5x, "minute.WAV", 1500, 10);
FIRST_SOUND_AT(ALawWAV_minute_at_2x, "minute.WAV", 2000, 10);
FIRST_SOUND_AT(NTC_minute_at_2x, "minute.NTC", 2000, 3);

}  // namespace

int main(int argc, char** argv) {
    // SDL's disk driver unless the caller chose an output.
    ::setenv("SDL_AUDIODRIVER", "disk", 0);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    ::setenv("SDL_DISKAUDIODELAY", "5", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
