// The worker's frame loop (see frame_loop.h).
#include "frame_loop.h"

#include "agc.h"

namespace velk {
namespace {

int32_t Percent(int64_t i, int64_t n) { return int32_t(100 * i / n); }  // 64-bit: no overflow for long files

}  // namespace

int32_t RunFrames(const FramePipeline& p, std::atomic<int32_t>& progress, const std::atomic<int32_t>& stopRequest) {
    alignas(16) int16_t pcm[kPcmBufferBytes / sizeof(int16_t)] = {};
    AgcState agc;
    const uint8_t* cursor = p.cursor;
    int32_t i = 0;
    for (; i < p.frames; ++i) {
        progress.store(Percent(i, p.frames), std::memory_order_relaxed);
        p.decoder->Decode(pcm, cursor, 1, 0);
        if (p.gainControl)
            for (int s = 0; s < 160; ++s) pcm[s] = AgcSample(agc, pcm[s]);
        p.encoder->Encode(p.target->Reserve(kCodedBufferBytes), pcm, 1);
        p.target->Commit(p.targetFrameSize);
        cursor += p.sourceFrameSize;
        if (stopRequest.load(std::memory_order_acquire)) break;
    }
    progress.store(Percent(i, p.frames), std::memory_order_release);
    return i;
}

}  // namespace velk
