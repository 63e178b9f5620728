// VelkCodec's exports: start a conversion, poll its progress, stop it.
//
// At most one conversion exists at a time. Its job stays current from a
// successful start until the caller collects it -- by polling the progress
// past 100 or by stopping it -- and every start meanwhile is refused with
// -88, also after the worker has finished. The caller and the worker meet
// only in the three flags of ConvertState and wait for each other in
// one-second steps; the progress outlives the job, so a caller polling
// after a stop still reads where it stopped.
//
// No exception leaves these functions.
#include <chrono>
#include <thread>

#include "convert_job.h"
#include "format_table.h"
#include "velkcodec_api.h"

#define VELKCODEC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace std::chrono_literals;

velk::ConvertState g_state;

// Sleeps one second, then in one-second steps while the worker runs, then
// destroys the current job, if any.
void WaitForWorkerAndCollect() {
    std::this_thread::sleep_for(1s);
    while (g_state.running.load(std::memory_order_acquire)) std::this_thread::sleep_for(1s);
    g_state.job.reset();
}

}  // namespace

VELKCODEC_EXPORT int32_t cvt_VelkCodec(const char* source, int32_t sourceCode, const char* target,
                                       int32_t targetCode) {
    if (g_state.job) return velk::kJobExists;
    g_state.progress.store(0);
    try {
        auto job = std::make_unique<velk::CConvertJob>(velk::CodecLibraryName(targetCode),
                                                       velk::CodecLibraryName(sourceCode), target, source, g_state);
        const int32_t result = job->Result();
        if (result == velk::kStarted) g_state.job = std::move(job);
        return result;  // a failed job is destroyed here, unloading what it loaded
    } catch (...) {      // out of memory while making the job
        return velk::kNoWorkerThread;
    }
}

VELKCODEC_EXPORT int32_t cvt_GetConvertProgress() {
    if (const int32_t p = g_state.progress.load(); p < 100) return p;
    WaitForWorkerAndCollect();
    return g_state.progress.load();
}

VELKCODEC_EXPORT int32_t cvt_StopConvert() {
    g_state.stopRequest.store(1);
    WaitForWorkerAndCollect();
    return 0;
}
