// The worker's frame loop (see frame_loop.h).
#include "frame_loop.h"

#include "agc.h"

namespace velk {
namespace {

int32_t Percent(int64_t i, int64_t n) { return int32_t(100 * i / n); }  // 64-bit: no overflow for long files

}  // namespace

FramesDone RunFrames(const FramePipeline& p, std::atomic<int32_t>& progress, const std::atomic<int32_t>& stopRequest) {
    alignas(16) int16_t pcm[kPcmBufferBytes / sizeof(int16_t)] = {};
    AgcState agc;
    FramesDone done;
    int32_t i = 0;  // after a stop: the index of the last frame written
    for (; i < p.frames; ++i) {
        progress.store(Percent(i, p.frames), std::memory_order_relaxed);
        const uint8_t* frame = p.source->Next(p.sourceFrameSize);
        if (!frame || p.decoder->Decode(pcm, frame, 1, 0) != 0) {
            done.failed = true;
            break;
        }
        if (p.gainControl)
            for (int s = 0; s < 160; ++s) pcm[s] = AgcSample(agc, pcm[s]);
        if (p.encoder->Encode(p.target->Reserve(kCodedBufferBytes), pcm, 1) != 0 || p.target->Failed()) {
            done.failed = true;
            break;
        }
        p.target->Commit(p.targetFrameSize);
        if (stopRequest.load(std::memory_order_acquire)) {
            done.written = i + 1;
            break;
        }
    }
    if (i == p.frames || done.failed) done.written = i;
    progress.store(Percent(i, p.frames), std::memory_order_release);
    return done;
}

}  // namespace velk
