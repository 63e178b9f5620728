// Stand-in codec plug-ins for the conversion library's tests: small codecs
// on the real framework that provoke what the delivered plug-ins cannot,
// staged under a format table's library name when a test needs one.
// Built once per kind (STAND_IN_KIND):
//
//   SLOW        linear frames, each decode takes 300 ms and is counted, so a
//               test can stop a conversion in the middle of a known frame
//               (StandInDecodeCalls tells how many decodes have begun); the
//               decoder's release takes 100 ms, so a test can catch the
//               worker between its last frame and its end
//   NULL_FACTORY CreateCodecFactory answers null
//   NULL_CODECS a factory that makes no encoder and no decoder
//   INIT_FAILS  encoder and decoder whose Init answers -1
//   HEADERED    A-law-shaped: 160-byte frames behind a 58-byte WAV header
//               (tag 6, 8 bits); a code byte is the sample's high byte
//   TWENTY      G.729-shaped: raw 20-byte frames; byte k carries samples
//               8k..8k+7 (its value times 256)
//   HUGE_FRAMES frames larger than the conversion's fixed buffers
//   GATED       linear frames; each decoder's first decode waits until the
//               test opens a gate for it (StandInOpenGate, one decoder a
//               call; 30 s at most), so a test can act while the worker
//               holds its first frame, the source's first 256 KiB read
//
// Every kind tells when its last decoder was released
// (StandInDecoderReleasedAt, nanoseconds on the steady clock, 0 before
// any): the worker releases it just before it ends, so a test can see
// that a waiting call returned after the worker's end, and how long after.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"

#define SLOW 1
#define NULL_FACTORY 2
#define NULL_CODECS 3
#define INIT_FAILS 4
#define HEADERED 5
#define TWENTY 6
#define HUGE_FRAMES 7
#define GATED 8

namespace Tessel {
#if STAND_IN_KIND == HEADERED
const CodecProperties kThisCodec = {
    .moduleName = "StandIn.DLL", .codecType = 0, .formatTag = 6, .codecName = "stand-in a-law",
    .bitRate = 64000, .frameDuration = 20, .codedFrameSize = 160, .pcmFrameSize = 320, .frameSamples = 160,
    .ownHeaderSize = 58,
    .header = {.tag = 6, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 8000, .blockAlign = 1, .bitsPerSample = 8},
    .writesHeader = true,
};
#elif STAND_IN_KIND == TWENTY
const CodecProperties kThisCodec = {
    .moduleName = "StandIn.DLL", .codecType = 3, .formatTag = 0, .codecName = "stand-in twenty",
    .bitRate = 8000, .frameDuration = 20, .codedFrameSize = 20, .pcmFrameSize = 320, .frameSamples = 160,
    .ownHeaderSize = 0,
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 1000, .blockAlign = 20, .bitsPerSample = 16},
    .writesHeader = false,
};
#elif STAND_IN_KIND == HUGE_FRAMES
const CodecProperties kThisCodec = {
    .moduleName = "StandIn.DLL", .codecType = 99, .formatTag = 1, .codecName = "stand-in huge",
    .bitRate = 128000, .frameDuration = 20, .codedFrameSize = 2000, .pcmFrameSize = 4096, .frameSamples = 2048,
    .ownHeaderSize = 0,
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2, .bitsPerSample = 16},
    .writesHeader = true,
};
#else  // linear frames
const CodecProperties kThisCodec = {
    .moduleName = "StandIn.DLL", .codecType = 16, .formatTag = 1, .codecName = "stand-in linear",
    .bitRate = 128000, .frameDuration = 20, .codedFrameSize = 320, .pcmFrameSize = 320, .frameSamples = 160,
    .ownHeaderSize = 0,
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2, .bitsPerSample = 16},
    .writesHeader = true,
};
#endif
}  // namespace Tessel

namespace stand_in {
using namespace Tessel;

std::atomic<int32_t> g_decodeCalls{0};
std::atomic<int32_t> g_decodersMade{0};
std::atomic<int32_t> g_gatesOpened{0};
std::atomic<int64_t> g_decoderReleasedAt{0};

class CCodecEncoder final : public _CodecAdapter<ICodecEncoder> {
public:
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return STAND_IN_KIND == INIT_FAILS ? -1 : 0; }
    int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) override {
        for (int32_t f = 0; f < frames; ++f, pcm += 160) {
#if STAND_IN_KIND == HEADERED
            for (int i = 0; i < 160; ++i) *out++ = uint8_t(pcm[i] >> 8);
#elif STAND_IN_KIND == TWENTY
            for (int i = 0; i < 20; ++i) *out++ = uint8_t(pcm[8 * i] >> 8);
#else
            std::memcpy(out, pcm, size_t(GetCodedFrameSize()));
            out += GetCodedFrameSize();
#endif
        }
        return 0;
    }
};

class CCodecDecoder final : public _CodecAdapter<ICodecDecoder> {
public:
    ~CCodecDecoder() override {
        if (STAND_IN_KIND == SLOW) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        g_decoderReleasedAt.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    }
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return STAND_IN_KIND == INIT_FAILS ? -1 : 0; }
    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t) override {
        g_decodeCalls.fetch_add(1);
        if (STAND_IN_KIND == GATED && !passedGate_) {
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (g_gatesOpened.load() <= number_ && std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            passedGate_ = true;
        }
        if (STAND_IN_KIND == SLOW) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int32_t f = 0; f < frames; ++f) {
#if STAND_IN_KIND == HEADERED
            for (int i = 0; i < 160; ++i) *pcm++ = int16_t(int8_t(*in++) * 256);
#elif STAND_IN_KIND == TWENTY
            for (int i = 0; i < 160; ++i) *pcm++ = int16_t(int8_t(in[i / 8]) * 256);
            in += 20;
#else
            std::memcpy(pcm, in, size_t(GetPcmFrameSize()));
            pcm += GetPcmFrameSize() / 2;
            in += GetCodedFrameSize();
#endif
        }
        return 0;
    }

private:
    const int32_t number_ = g_decodersMade.fetch_add(1);  // which gate opening lets it through
    bool passedGate_ = false;
};

class CCodecFactory final : public _CodecAdapter<ICodecFactory> {
public:
    const char* GetClassName() override { return "CCodecFactory"; }
    ICodecEncoder* CreateEncoder() override {
        return STAND_IN_KIND == NULL_CODECS ? nullptr : NewObject<CCodecEncoder>();
    }
    ICodecDecoder* CreateDecoder() override {
        return STAND_IN_KIND == NULL_CODECS ? nullptr : NewObject<CCodecDecoder>();
    }
};

}  // namespace stand_in

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return STAND_IN_KIND == NULL_FACTORY ? nullptr : Tessel::NewObject<stand_in::CCodecFactory>();
}

extern "C" TESSEL_EXPORT int32_t StandInDecodeCalls() { return stand_in::g_decodeCalls.load(); }
extern "C" TESSEL_EXPORT int64_t StandInDecoderReleasedAt() { return stand_in::g_decoderReleasedAt.load(); }
extern "C" TESSEL_EXPORT void StandInOpenGate() { stand_in::g_gatesOpened.fetch_add(1); }
