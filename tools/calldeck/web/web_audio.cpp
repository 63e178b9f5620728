// The service's conversions (web_audio.h).
#include "web_audio.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "../worker_process.h"
#include "player/core/private_files.h"
#include "player/core/state_folder.h"

namespace fs = std::filesystem;

namespace calldeck::web {
namespace {

constexpr auto kKeptFor = std::chrono::seconds{60};
constexpr std::size_t kKeptAtMost = 8;
constexpr int kLongestConversionMs = 180'000;

// A removed-on-leaving temporary name in the service's private folder.
struct Temporary {
    fs::path path;
    ~Temporary() {
        std::error_code ec;
        fs::remove(path, ec);
    }
};

}  // namespace

AudioConverter::AudioConverter() = default;
AudioConverter::~AudioConverter() = default;

std::shared_ptr<const Converted> AudioConverter::Wav(const std::string& path, const std::string& who,
                                                     const std::string& where) {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    kept_.remove_if([&](const Kept& k) { return now - k.at > kKeptFor; });
    for (const Kept& k : kept_)
        if (k.path == path) return k.bytes;
    auto bytes = std::make_shared<const Converted>(Convert(path, who, where));
    kept_.push_front({path, bytes, now});
    if (kept_.size() > kKeptAtMost) kept_.pop_back();
    return bytes;
}

Converted AudioConverter::Convert(const std::string& path, const std::string& who, const std::string& where) {
    const fs::path folder = fs::path(player::WorkFolder()) / "webTmp";
    player::MakePrivateFolder(folder);
    Temporary target{folder / ("play-" + std::to_string(::getpid()) + "-" +
                               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".wav")};
    {  // made private before the worker writes into it
        const int fd = ::open(target.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, player::kPrivateFile);
        if (fd < 0) throw std::runtime_error("cannot make a private temporary file in " + folder.string());
        ::fchmod(fd, player::kPrivateFile);
        ::close(fd);
    }
    for (int attempt = 0;; ++attempt) {
        if (!worker_) worker_ = std::make_unique<WorkerProcess>();
        if (!worker_->Send(path, target.path.string(), who, where)) {
            worker_.reset();
            if (attempt == 0) continue;  // a worker that had ended: one more
            throw std::runtime_error("the conversion worker cannot be started");
        }
        WorkerProcess::Answer answer;
        pollfd fd{worker_->AnswerFd(), POLLIN, 0};
        for (int waited = 0;;) {
            const auto status = worker_->Read(answer);
            if (status == FieldReader::Status::Fields) break;
            if (status == FieldReader::Status::Closed) {
                const std::string how = worker_->End();
                worker_.reset();
                throw std::runtime_error("the conversion worker ended (" + how + ")");
            }
            if (waited >= kLongestConversionMs) {
                worker_.reset();
                throw std::runtime_error("the conversion took too long");
            }
            ::poll(&fd, 1, 200);
            waited += 200;
        }
        if (!answer.written) throw std::runtime_error(answer.reason);
        break;
    }
    Converted converted;
    std::ifstream in(target.path, std::ios::binary);
    converted.wav.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) throw std::runtime_error("cannot read the converted recording");
    auto wav = platform::mci::WavFile::Open(target.path.string());
    if (!wav) throw std::runtime_error("the converted recording is no WAV file the player reads");
    converted.waveform = player::ComputeWaveform(*wav);
    return converted;
}

}  // namespace calldeck::web
