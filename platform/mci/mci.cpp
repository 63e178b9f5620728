// The devices behind the command strings: each open alias is one WAV file and
// one SDL audio device whose callback decodes the next frames straight from
// the file, so the position is exactly the frames handed to the device. A
// device that has handed its last frame still says "playing" until the
// buffers after it have gone out, so whoever closes it at its end closes it
// only once the last sample has sounded.
#include "platform/mci/mci.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/mci/command.h"
#include "platform/mci/wav_file.h"

namespace platform::mci {
namespace {

enum class Mode { kStopped, kPlaying, kPaused };

// Buffers of silence the device asks for after the one that held the last
// frame before it counts as ended: the first of them means the last frame's
// buffer was taken by the output, the second that it has been played out.
constexpr int kTailBuffers = 2;

// One open alias. The callback runs on SDL's audio thread; `m` guards the
// mode and the next frame between it and the commands.
class Device {
public:
    explicit Device(WavFile wav) : wav_(std::move(wav)) {}
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        if (id_ != 0) SDL_CloseAudioDevice(id_);  // joins SDL's audio thread
    }

    bool StartOutput() {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(wav_.Rate());
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(wav_.Channels());
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

    uint64_t LengthMs() const { return wav_.Frames() * 1000 / wav_.Rate(); }

    uint64_t PositionMs() {
        std::lock_guard lock(m_);
        return next_ * 1000 / wav_.Rate();
    }

    Mode CurrentMode() {
        std::lock_guard lock(m_);
        return mode_;
    }

    void Play(bool wait) {
        std::unique_lock lock(m_);
        // At the end it stays stopped, unless its last buffers are still going out.
        if (next_ < wav_.Frames() || (mode_ == Mode::kPaused && tail_ > 0)) mode_ = Mode::kPlaying;
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
        uint64_t frame = (static_cast<uint64_t>(ms) * wav_.Rate() + 999) / 1000;
        next_ = std::min(frame, wav_.Frames());
        tail_ = 0;
        mode_ = Mode::kStopped;
        ended_.notify_all();
    }

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int len) {
        static_cast<Device*>(self)->Fill(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len));
    }

    void Fill(int16_t* out, size_t bytes) {
        std::lock_guard lock(m_);
        const size_t channels = wav_.Channels();
        const size_t wanted = bytes / (2 * channels);
        size_t got = 0;
        if (mode_ == Mode::kPlaying) {
            got = wav_.Read(next_, wanted, out);
            next_ += got;
            if (got < wanted && ++tail_ > kTailBuffers) {  // this buffer holds the last frame, or only silence
                tail_ = 0;
                mode_ = Mode::kStopped;
                ended_.notify_all();
            }
        }
        std::memset(out + got * channels, 0, bytes - got * channels * 2);
    }

    WavFile wav_;
    SDL_AudioDeviceID id_ = 0;
    std::mutex m_;
    std::condition_variable ended_;
    Mode mode_ = Mode::kStopped;
    uint64_t next_ = 0;
    int tail_ = 0;  // buffers handed since the one that reached the end
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
        case Verb::kStatus:
            if (c.item == StatusItem::kLength)
                reply = std::to_string(device->LengthMs());
            else if (c.item == StatusItem::kPosition)
                reply = std::to_string(device->PositionMs());
            else {
                Mode mode = device->CurrentMode();
                reply = mode == Mode::kPlaying ? "playing" : mode == Mode::kPaused ? "paused" : "stopped";
            }
            break;
        default: break;  // the time format is always milliseconds
        }
        return kOk;
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
        auto device = std::make_shared<Device>(std::move(*wav));
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
