// The job's checks and its worker. The source is read with pread in chunks
// (never mapped: a recording cut meanwhile must fail the job, not raise
// SIGBUS); the target is written to a temporary file renamed on success.
// Why it is shaped so: docs/voicecvt.md, "Robustness".
#include "outside/voicecvt/convert_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

#include "outside/voicecvt/result_codes.h"

namespace voicecvt {

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunkBytes = 256000;       // whole units of every format (1, 2, 32, 320 bytes)
constexpr size_t kFlushBytes = 256 * 1024;
constexpr uint64_t kMaxWaveData = 0xFFFFFFFFull - 58;

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // the file no longer holds these bytes
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

// WAV data bytes that `recordingBytes` of the type decode to.
uint64_t DecodedBytes(int32_t type, uint64_t recordingBytes) {
    switch (type) {
    case 1: return recordingBytes * 4;          // two 16-bit samples a byte
    case 4: return recordingBytes / 32 * 320;   // 160 samples a 32-byte frame
    default: return recordingBytes;             // A-law, byte for byte
    }
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) close(fd_);
}

std::unique_ptr<TemporaryTarget> TemporaryTarget::Create(const fs::path& target) {
    static std::atomic<unsigned> serial{0};
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path path = folder / ("." + target.filename().string() + ".voicecvt-" + std::to_string(getpid()) +
                                        "-" + std::to_string(serial.fetch_add(1)));
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd) return std::make_unique<TemporaryTarget>(std::move(fd), path, target);
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

TemporaryTarget::~TemporaryTarget() {
    if (!committed_) unlink(path_.c_str());
}

bool TemporaryTarget::Commit() {
    committed_ = rename(path_.c_str(), target_.c_str()) == 0;
    return committed_;
}

ConvertJob::ConvertJob(Direction direction, const char* source, const char* target, int32_t type, double gain,
                       std::atomic<int16_t>& progress)
    : progress_(progress) {
    result_ = Prepare(direction, source, target, type, gain);
    if (result_ != kStarted) return;
    progress_.store(0);
    try {
        worker_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    } catch (...) {
        result_ = kNoWorkerThread;
    }
}

int32_t ConvertJob::Prepare(Direction direction, const char* source, const char* target, int32_t type,
                            double gain) {
    if (type != 0 && type != 1 && type != 4) return kBadType;
    if (!std::isfinite(gain) || gain < 0) return kBadGain;
    if (!source || !*source) return kSourceUnusable;
    // Without blocking: a FIFO or a device is refused at once, never waited on.
    source_ = UniqueFd(open(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat sourceStat {};
    if (!source_ || fstat(source_.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) return kSourceUnusable;
    const auto fileSize = static_cast<uint64_t>(sourceStat.st_size);

    WaveCoding wave = type == 0 ? WaveCoding::ALaw : WaveCoding::Pcm16;
    if (direction == Direction::FromWave) {
        const std::optional<WaveData> data = FindWaveData(source_.get(), fileSize);
        if (!data || (data->coding == WaveCoding::ALaw && type != 0)) return kSourceFormatRefused;
        wave = data->coding;
        sourceOffset_ = data->offset;
        sourceBytes_ = data->bytes;
    } else {
        sourceBytes_ = fileSize;
        header_ = wave;
        if (DecodedBytes(type, sourceBytes_) > kMaxWaveData) return kTargetTooLarge;
    }

    if (!target || !*target) return kTargetNotCreatable;
    try {
        target_ = target;
        // A target that is a link: the file it names is replaced, not the link.
        if (std::error_code ec; fs::is_symlink(target_, ec)) target_ = fs::canonical(target_);
        struct stat targetStat {};
        if (stat(target_.c_str(), &targetStat) == 0) {
            if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) return kTargetIsSource;
            if (!S_ISREG(targetStat.st_mode)) return kTargetNotCreatable;
        }
        temporary_ = TemporaryTarget::Create(target_);
        if (!temporary_) return kTargetNotCreatable;
        transcoder_ = MakeTranscoder(type, direction, wave, gain);
        if (!transcoder_) return kCodecUnavailable;
    } catch (const fs::filesystem_error&) {
        return kTargetNotCreatable;  // a dangling link, or a folder we may not read
    } catch (...) {
        return kNoWorkerThread;  // no memory
    }
    return kStarted;
}

void ConvertJob::Run(std::stop_token stop) {
    bool succeeded = false;
    try {
        succeeded = Convert(stop) && temporary_->Commit();
    } catch (...) {  // no memory: a failure like any other
    }
    // A conversion that failed leaves no target at all, not even an earlier
    // file of that name: the caller judges by the target's existence.
    if (!succeeded) unlink(target_.c_str());
    temporary_.reset();
    progress_.store(100);
    ended_.store(true, std::memory_order_release);
}

bool ConvertJob::Convert(std::stop_token stop) {
    const int out = temporary_->fd();
    if (header_ && !WriteAll(out, WaveHeader(*header_, 0).data(), WaveHeaderSize(*header_))) return false;
    std::vector<uint8_t> chunk(kChunkBytes);
    std::vector<uint8_t> pending;
    pending.reserve(kFlushBytes + kChunkBytes * kMaxGrowth);
    uint64_t dataBytes = 0;
    for (uint64_t done = 0; done < sourceBytes_ && !stop.stop_requested();) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, sourceBytes_ - done));
        if (!ReadAll(source_.get(), chunk.data(), want, sourceOffset_ + done)) return false;
        struct stat st {};
        if (fstat(source_.get(), &st) != 0 || st.st_nlink == 0) return false;  // deleted meanwhile
        done += want;
        if (!transcoder_->Convert({chunk.data(), want}, done == sourceBytes_, pending)) return false;
        if (pending.size() >= kFlushBytes || done == sourceBytes_) {
            if (!WriteAll(out, pending.data(), pending.size())) return false;
            dataBytes += pending.size();
            pending.clear();
        }
        progress_.store(static_cast<int16_t>(std::min<uint64_t>(99, done * 100 / sourceBytes_)));
    }
    if (!pending.empty()) {  // stopped between flushes: what was converted is kept
        if (!WriteAll(out, pending.data(), pending.size())) return false;
        dataBytes += pending.size();
    }
    if (header_) {
        const std::vector<uint8_t> header = WaveHeader(*header_, static_cast<uint32_t>(dataBytes));
        if (pwrite(out, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) return false;
    }
    return true;
}

}  // namespace voicecvt
