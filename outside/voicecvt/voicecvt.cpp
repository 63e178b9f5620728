// VoiceCvt's exports: prepare, start a conversion either way, poll it, stop
// it. One conversion at a time; it is collected (its worker joined) when a
// poll finds it ended, when it is stopped, or by the next start. No
// exception leaves these functions.
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "outside/voicecvt/convert_job.h"
#include "outside/voicecvt/result_codes.h"

#define VOICECVT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using voicecvt::ConvertJob;
using voicecvt::Direction;

// The progress the caller polls, the current job (which refers to it), and
// the lock that keeps callers on several threads from meeting. The exit
// handler is registered after them, so it runs before the job is destroyed.
std::atomic<int16_t> g_progress{0};
std::mutex g_lock;
std::unique_ptr<ConvertJob> g_job;

// A process that ends mid-conversion (returning from main without a stop)
// stops and joins the worker before anything it uses is torn down. The
// codecs' states live in the job; nothing static that the worker touches
// has a destructor.
void StopAtExit() {
    const std::lock_guard lock(g_lock);
    g_job.reset();
}
[[maybe_unused]] const bool g_stopsAtExit = std::atexit(StopAtExit) == 0;

int32_t Start(Direction direction, const char* source, const char* target, int32_t type, double gain) {
    const std::lock_guard lock(g_lock);
    if (g_job && !g_job->Ended()) return voicecvt::kJobExists;
    g_job.reset();
    try {
        auto job = std::make_unique<ConvertJob>(direction, source, target, type, gain, g_progress);
        const int32_t result = job->Result();
        if (result == voicecvt::kStarted) {
            g_job = std::move(job);
        } else {
            g_progress.store(100);  // nothing runs: a caller polling stops waiting at once
        }
        return result;
    } catch (...) {
        g_progress.store(100);
        return voicecvt::kNoWorkerThread;
    }
}

}  // namespace

VOICECVT_EXPORT int32_t QZ_InitCvt() { return 0; }

VOICECVT_EXPORT int32_t QZ_StartCvtToFileWave(const char* source, const char* target, int32_t type, double gain) {
    return Start(Direction::ToWave, source, target, type, gain);
}

VOICECVT_EXPORT int32_t QZ_StartCvtFromFileWave(const char* source, const char* target, int32_t type, double gain) {
    return Start(Direction::FromWave, source, target, type, gain);
}

VOICECVT_EXPORT int16_t QZ_GetCvtVoiceProcess() {
    const std::lock_guard lock(g_lock);
    if (g_job && g_job->Ended()) g_job.reset();  // the worker has finished: joins at once
    return g_progress.load();
}

VOICECVT_EXPORT int32_t QZ_StopCvtToFileWave() {
    const std::lock_guard lock(g_lock);
    g_job.reset();  // asks the worker to stop after its chunk, joins it
    return 0;
}
