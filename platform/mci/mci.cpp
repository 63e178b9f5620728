// The devices behind the command strings: each open alias is one WAV file and
// one SDL audio device whose callback takes the next samples from the file's
// play stream (play_stream.h: speed, skipped silence, gain), so the position
// is exactly the file's frames read for the device. A device that has handed
// its last frame still says "playing" until the buffers after it have gone
// out, so whoever closes it at its end closes it only once the last sample
// has sounded. The silence to skip is found on a thread of the device's own,
// so the command that turns skipping on returns at once.
#include "platform/mci/mci.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/mci/command.h"
#include "platform/mci/play_stream.h"
#include "platform/mci/silence_bands.h"
#include "platform/mci/wav_file.h"

namespace platform::mci {
namespace {

enum class Mode { kStopped, kPlaying, kPaused };

// Buffers of silence the device asks for after the one that held the last
// frame before it counts as ended: the first of them means the last frame's
// buffer was taken by the output, the second that it has been played out.
constexpr int kTailBuffers = 2;

// The largest magnitude of the file's samples, 0..32768.
uint32_t PeakOf(const WavFile& wav) {
    constexpr size_t kFrames = 4096;
    std::vector<int16_t> samples(kFrames * wav.Channels());
    std::vector<uint8_t> scratch;
    uint32_t peak = 0;
    for (uint64_t at = 0; at < wav.Frames();) {
        const size_t got = wav.Read(at, kFrames, samples.data(), scratch);
        if (got == 0) break;
        for (size_t i = 0; i < got * wav.Channels(); ++i)
            peak = std::max(peak, static_cast<uint32_t>(std::abs(static_cast<int32_t>(samples[i]))));
        at += got;
    }
    return peak;
}

// One open alias. The callback runs on SDL's audio thread; `m` guards the
// mode and the play stream between it, the commands and the silence finder.
class Device {
public:
    Device(WavFile wav, std::string path) : stream_(std::move(wav)), path_(std::move(path)) {}
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        if (id_ != 0) SDL_CloseAudioDevice(id_);  // joins SDL's audio thread
        // then the silence finder's thread is joined (the last member)
    }

    bool StartOutput() {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(Wav().Rate());
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(Wav().Channels());
        want.samples = 1024;
        want.callback = &Device::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the output takes.
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id_ == 0) return false;
        SDL_PauseAudioDevice(id_, 0);
        return true;
    }

    uint64_t LengthMs() const { return Wav().Frames() * 1000 / Wav().Rate(); }

    uint64_t PositionMs() {
        std::lock_guard lock(m_);
        return stream_.Next() * 1000 / Wav().Rate();
    }

    Mode CurrentMode() {
        std::lock_guard lock(m_);
        return mode_;
    }

    void Play(bool wait) {
        std::unique_lock lock(m_);
        // At the end it stays stopped, unless its last buffers are still going out.
        if (!stream_.Finished() || (mode_ == Mode::kPaused && tail_ > 0)) mode_ = Mode::kPlaying;
        if (wait) ended_.wait(lock, [this] { return mode_ != Mode::kPlaying; });
    }

    void Pause() {
        std::lock_guard lock(m_);
        if (mode_ == Mode::kPlaying) mode_ = Mode::kPaused;
    }

    void Stop() {
        std::lock_guard lock(m_);
        tail_ = 0;
        mode_ = Mode::kStopped;
        ended_.notify_all();
    }

    void Seek(uint32_t ms) {
        std::lock_guard lock(m_);
        // Rounded up, so that the position then reads back exactly `ms`.
        stream_.MoveTo((static_cast<uint64_t>(ms) * Wav().Rate() + 999) / 1000);
        tail_ = 0;
        mode_ = Mode::kStopped;
        ended_.notify_all();
    }

    void SetSpeed(uint32_t thousandths) {
        std::lock_guard lock(m_);
        stream_.SetSpeed(thousandths);
    }

    void SetGain(uint32_t thousandths) {
        std::lock_guard lock(m_);
        stream_.SetGain(thousandths);
    }

    // The bands are looked for once per device, on its own thread; until
    // they are known nothing is skipped.
    void SkipSilence(bool on) {
        std::lock_guard lock(m_);
        skip_ = on;
        if (!on || bands_) {
            stream_.SkipSilence(on ? *bands_ : std::vector<SilenceBand>{});
            return;
        }
        if (finder_.joinable()) return;  // looking already
        finder_ = std::jthread([this] {
            // A handle of its own: the callback reads through the stream's.
            std::vector<SilenceBand> bands;
            auto wav = WavFile::Open(path_);
            if (wav && wav->Frames() == Wav().Frames()) bands = FindSilenceBands(*wav);
            std::lock_guard lock(m_);
            bands_ = std::move(bands);
            if (skip_) stream_.SkipSilence(*bands_);
        });
    }

    uint64_t Skips() {
        std::lock_guard lock(m_);
        return stream_.Skips();
    }

    // Read through a handle of its own, once, on the caller's thread.
    uint32_t Peak() {
        {
            std::lock_guard lock(m_);
            if (peak_) return *peak_;
        }
        auto wav = WavFile::Open(path_);
        const uint32_t peak = wav && wav->Frames() == Wav().Frames() ? PeakOf(*wav) : 0;
        std::lock_guard lock(m_);
        peak_ = peak;
        return peak;
    }

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int len) {
        static_cast<Device*>(self)->Fill(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len));
    }

    // The format never changes after the open: read without the lock.
    const WavFile& Wav() const { return stream_.Wav(); }

    void Fill(int16_t* out, size_t bytes) {
        std::lock_guard lock(m_);
        const size_t channels = Wav().Channels();
        const size_t wanted = bytes / (2 * channels);
        size_t got = 0;
        if (mode_ == Mode::kPlaying) {
            got = stream_.Fill(out, wanted);
            if (got < wanted && ++tail_ > kTailBuffers) {  // this buffer holds the last frame, or only silence
                tail_ = 0;
                mode_ = Mode::kStopped;
                ended_.notify_all();
            }
        }
        std::memset(out + got * channels, 0, bytes - got * channels * 2);
    }

    PlayStream stream_;
    const std::string path_;
    SDL_AudioDeviceID id_ = 0;
    std::mutex m_;
    std::condition_variable ended_;
    Mode mode_ = Mode::kStopped;
    int tail_ = 0;  // buffers handed since the one that reached the end
    bool skip_ = false;
    std::optional<std::vector<SilenceBand>> bands_;
    std::optional<uint32_t> peak_;
    std::jthread finder_;  // last: joined before the rest goes
};

void SDLCALL Silent(void*, int, SDL_LogPriority, const char*) {}

// Set once the table below is gone, for commands sent by other objects'
// destructors at exit (a player closing its device): they find nothing open.
constinit std::atomic<bool> layer_ended{false};

// The process-wide table of open aliases and SDL's audio subsystem; closed
// devices first, then the subsystem, when the program ends.
class Layer {
public:
    ~Layer() {
        layer_ended = true;
        devices_.clear();
        if (audio_up_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    uint32_t Run(const Command& c, std::string& reply) {
        std::shared_ptr<Device> device;
        {
            std::lock_guard lock(m_);
            if (c.verb == Verb::kOpen) return Open(c);
            auto it = devices_.find(c.alias);
            if (it == devices_.end()) return kUnknownAlias;
            device = it->second;
            if (c.verb == Verb::kClose) {
                devices_.erase(it);
                device->Stop();  // wakes a "wait" on another thread
                return kOk;
            }
        }
        switch (c.verb) {
        case Verb::kPlay: device->Play(c.wait); break;
        case Verb::kPause: device->Pause(); break;
        case Verb::kStop: device->Stop(); break;
        case Verb::kSeek: device->Seek(c.to_ms); break;
        case Verb::kSetSpeed:
            if (c.value < kSlowestSpeed || c.value > kFastestSpeed) return kOutOfRange;
            device->SetSpeed(c.value);
            break;
        case Verb::kSetVolume:
            if (c.value > kLargestGain) return kOutOfRange;
            device->SetGain(c.value);
            break;
        case Verb::kSetSkipSilence: device->SkipSilence(c.value != 0); break;
        case Verb::kStatus: reply = StatusOf(*device, c.item); break;
        default: break;  // the time format is always milliseconds
        }
        return kOk;
    }

    static std::string StatusOf(Device& device, StatusItem item) {
        switch (item) {
        case StatusItem::kLength: return std::to_string(device.LengthMs());
        case StatusItem::kPosition: return std::to_string(device.PositionMs());
        case StatusItem::kSkips: return std::to_string(device.Skips());
        case StatusItem::kPeak: return std::to_string(device.Peak());
        default: break;
        }
        const Mode mode = device.CurrentMode();
        return mode == Mode::kPlaying ? "playing" : mode == Mode::kPaused ? "paused" : "stopped";
    }

    std::string Problem() {
        std::lock_guard lock(m_);
        return problem_;
    }

private:
    uint32_t Open(const Command& c) {
        if (c.device_type != "WAVEAUDIO") return kUnsupportedDevice;
        if (devices_.count(c.alias) != 0) return kAliasInUse;
        auto wav = WavFile::Open(c.path);
        if (!wav) return kCannotReadFile;
        if (!audio_up_) {
            SDL_LogSetOutputFunction(&Silent, nullptr);  // the layer prints nothing, SDL's drivers neither
            // SDL's audio starts its event subsystem, which would otherwise turn
            // SIGINT and SIGTERM into quit events that nobody reads: the program
            // keeps its own answer to them.
            SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
                problem_ = std::string("audio output unavailable: ") + SDL_GetError();
                return kNoAudioOutput;
            }
            audio_up_ = true;
        }
        auto device = std::make_shared<Device>(std::move(*wav), c.path);
        if (!device->StartOutput()) {
            problem_ = std::string("audio device cannot be opened: ") + SDL_GetError();
            return kNoAudioOutput;
        }
        devices_.emplace(c.alias, std::move(device));
        return kOk;
    }

    std::mutex m_;
    bool audio_up_ = false;
    std::string problem_;
    std::map<std::string, std::shared_ptr<Device>> devices_;
};

Layer& TheLayer() {
    static Layer layer;
    return layer;
}

}  // namespace

uint32_t SendString(std::string_view command, std::string& reply) {
    reply.clear();
    auto parsed = ParseCommand(command);
    if (!parsed) return kUnknownCommand;
    if (layer_ended) return parsed->verb == Verb::kOpen ? kNoAudioOutput : kUnknownAlias;
    return TheLayer().Run(*parsed, reply);
}

std::string LastAudioProblem() { return layer_ended ? std::string() : TheLayer().Problem(); }

}  // namespace platform::mci
