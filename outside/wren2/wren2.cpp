// AuralWren2 over Debian's bcg729 (G.729 Annex A): the four entry points of
// wren2.h, each a thin call into one bcg729 channel.
//
// The library keeps exactly one encoder channel and one decoder channel,
// each in a static holder of its own with its own lock. Keeping them apart
// is what lets a conversion decode one stream while another part of the
// process encodes; the lock only makes a reset racing a block call safe
// (the bridge's caller drives one encoder and one decoder, never two of
// either at once, so the lock is never contended in normal use). The
// channels are closed when the library is unloaded: nothing outlives it.
#include "wren2.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "bcg729.h"

#define WREN2_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// One bcg729 channel: made on first use or by Reset, closed on unload.
// It has no destructor of its own (a raw context and a mutex, both
// trivially destroyed): a static object with one would be destroyed among
// the exit handlers, maybe while a conversion's worker still decodes with
// it; CloseChannels runs only when the library is unloaded, after them.
template <class Context, Context* (*Open)(), void (*Close)(Context*)>
class Channel {
public:
    // Closes the current context, if any, and opens a fresh one.
    bool Reset() {
        std::lock_guard lock(mutex_);
        CloseLocked();
        context_ = Open();
        return context_ != nullptr;
    }

    // Runs `work` on the context, opening one first when none exists yet.
    template <class Work>
    bool With(Work&& work) {
        std::lock_guard lock(mutex_);
        if (!context_) context_ = Open();
        if (!context_) return false;
        work(context_);
        return true;
    }

    void Shut() {
        std::lock_guard lock(mutex_);
        CloseLocked();
    }

private:
    void CloseLocked() {
        if (context_) Close(context_);
        context_ = nullptr;
    }
    std::mutex mutex_;
    Context* context_ = nullptr;
};

bcg729EncoderChannelContextStruct* OpenEncoder() { return initBcg729EncoderChannel(/*enableVAD=*/0); }

Channel<bcg729EncoderChannelContextStruct, OpenEncoder, closeBcg729EncoderChannel> g_encoder;
Channel<bcg729DecoderChannelContextStruct, initBcg729DecoderChannel, closeBcg729DecoderChannel> g_decoder;
static_assert(std::is_trivially_destructible_v<decltype(g_encoder)>, "a channel must not be destroyed at exit");

__attribute__((destructor)) void CloseChannels() {
    g_encoder.Shut();
    g_decoder.Shut();
}

int32_t Result(bool ok) { return ok ? 0 : -1; }

}  // namespace

WREN2_EXPORT int32_t Wren2Call1(void) { return Result(g_encoder.Reset()); }

WREN2_EXPORT int32_t Wren2Call3(const int16_t pcm[80], uint8_t out[10]) {
    if (!pcm || !out) return -1;
    return Result(g_encoder.With([&](bcg729EncoderChannelContextStruct* c) {
        uint8_t length = 0;
        bcg729Encoder(c, pcm, out, &length);
        // Without voice-activity detection bcg729 always fills 10 bytes;
        // should it ever not, the rest of the block is not left undefined.
        if (length < kWren2BlockBytes) std::memset(out + length, 0, kWren2BlockBytes - length);
    }));
}

WREN2_EXPORT int32_t Wren2Call4(void) { return Result(g_decoder.Reset()); }

WREN2_EXPORT int32_t Wren2Call7(const uint8_t in[10], int16_t pcm[80], int32_t flag) {
    if (!pcm) return -1;
    static constexpr uint8_t kNoFrame[kWren2BlockBytes] = {};
    // A missing frame is a lost one: the decoder conceals it.
    const bool lost = flag != 0 || !in;
    return Result(g_decoder.With([&](bcg729DecoderChannelContextStruct* c) {
        bcg729Decoder(c, in ? in : kNoFrame, kWren2BlockBytes, lost, /*SIDFrameFlag=*/0,
                      /*rfc3389PayloadFlag=*/0, pcm);
    }));
}

// The exports must keep the shapes callers look them up with.
static_assert(std::is_same_v<decltype(&Wren2Call1), Wren2EncoderInitFn>);
static_assert(std::is_same_v<decltype(&Wren2Call3), Wren2EncodeBlockFn>);
static_assert(std::is_same_v<decltype(&Wren2Call4), Wren2DecoderInitFn>);
static_assert(std::is_same_v<decltype(&Wren2Call7), Wren2DecodeBlockFn>);
