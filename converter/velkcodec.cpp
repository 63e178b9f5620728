// VelkCodec's exports: start a conversion, poll its progress, stop it;
// set the voice mask, encrypt and decrypt a recording (crypt_file.h).
//
// At most one conversion exists at a time. Its job stays current from a
// successful start until the caller collects it -- by polling the progress
// past 100 or by stopping it -- and every start meanwhile is refused with
// -88, also after the worker has finished. The caller and the worker meet
// only in ConvertState: the worker starts its first frame at once, and a
// collection or a stop waits on the worker's end itself (ConvertState's
// wake-up), returning as soon as it has happened and at once when no
// worker runs. The progress outlives the job, so a caller polling after a
// stop still reads where it stopped.
//
// No exception leaves these functions.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "convert_job.h"
#include "crypt_file.h"
#include "format_table.h"
#include "velkcodec_api.h"

#define VELKCODEC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The flags the caller shares with the worker, and the current job, which
// refers to them. The exit handler is registered right after both exist,
// so it runs before either is destroyed.
//
// The job pointer is shared by every thread that calls the entry points: a
// caller polling the progress on one thread may collect the job while a
// stop on another collects it too, or a start sets it. g_jobLock guards
// every read and write of g_job (held while a job is made or destroyed; the
// worker never takes it, so a destruction that joins the worker cannot
// wait on it). The flags need no lock: they are atomics.
velk::ConvertState g_state;
std::mutex g_jobLock;
std::unique_ptr<velk::CConvertJob> g_job;

// A process that ends while a conversion runs (a program returning from
// main without cvt_StopConvert) stops and joins the worker before anything
// the worker uses is torn down. The codec plug-ins and AuralWren2 keep no
// static objects whose destruction could come first: what they hold is
// released by their unload functions, which run after every exit handler.
void StopAtExit() {
    std::lock_guard lock(g_jobLock);
    if (!g_job) return;
    g_state.stopRequest.store(1);
    g_job.reset();  // joins the worker, then unloads the codecs
}
[[maybe_unused]] const bool g_stopsAtExit = std::atexit(StopAtExit) == 0;

// Waits until the worker has ended (not at all when none runs), then
// destroys the current job, if any. The wait takes no g_jobLock: a start
// or a collection on another thread goes on meanwhile.
void WaitForWorkerAndCollect() {
    g_state.WaitUntilEnded();
    std::lock_guard lock(g_jobLock);
    g_job.reset();
}

// The voice mask the recording keys are derived from; "" when none is set.
// Guarded, because a caller may decrypt on one thread while setting the
// mask on another.
std::mutex g_maskLock;
std::string g_mask;

std::string CurrentMask() {
    std::lock_guard lock(g_maskLock);
    return g_mask;
}

}  // namespace

VELKCODEC_EXPORT int32_t cvt_VelkCodec(const char* source, int32_t sourceCode, const char* target,
                                       int32_t targetCode) {
    std::lock_guard lock(g_jobLock);
    if (g_job) return velk::kJobExists;
    g_state.progress.store(0);
    try {
        auto job = std::make_unique<velk::CConvertJob>(velk::CodecLibraryName(targetCode),
                                                       velk::CodecLibraryName(sourceCode), target, source, g_state);
        const int32_t result = job->Result();
        if (result == velk::kStarted) g_job = std::move(job);
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

VELKCODEC_EXPORT int16_t cvt_SetVoiceMask(char* mask) {
    try {
        std::string next = mask ? mask : "";
        std::lock_guard lock(g_maskLock);
        g_mask.swap(next);
        std::fill(next.begin(), next.end(), '\0');  // the mask set before
    } catch (...) {  // no memory for the copy: no mask rather than an old one
        std::lock_guard lock(g_maskLock);
        g_mask.clear();
    }
    return 0;
}

VELKCODEC_EXPORT int16_t cvt_EncryptFile(char* source, int32_t type, char* target) {
    try {
        return velk::RunCrypt(velk::CryptDirection::kEncrypt, source, type, target, CurrentMask());
    } catch (...) {
        return velk::kCryptInternal;
    }
}

VELKCODEC_EXPORT int16_t cvt_DecryptFile(char* source, int32_t type, char* target) {
    try {
        return velk::RunCrypt(velk::CryptDirection::kDecrypt, source, type, target, CurrentMask());
    } catch (...) {
        return velk::kCryptInternal;
    }
}
