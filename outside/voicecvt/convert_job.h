// One conversion: everything checked and the temporary target made in the
// constructor, then a worker thread of its own that the destructor stops
// and joins. The caller shares only the progress with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "outside/voicecvt/transcoders.h"
#include "outside/voicecvt/wave_file.h"

namespace voicecvt {

// A file descriptor, closed when the object goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The file the worker writes, a fresh name in the target's folder; removed
// when the object goes unless it was renamed onto the target.
class TemporaryTarget {
public:
    static std::unique_ptr<TemporaryTarget> Create(const std::filesystem::path& target);
    TemporaryTarget(UniqueFd fd, std::filesystem::path path, std::filesystem::path target)
        : fd_(std::move(fd)), path_(std::move(path)), target_(std::move(target)) {}
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;
    ~TemporaryTarget();
    int fd() const { return fd_.get(); }
    bool Commit();  // renames it onto the target

private:
    UniqueFd fd_;
    std::filesystem::path path_, target_;
    bool committed_ = false;
};

class ConvertJob {
public:
    ConvertJob(Direction direction, const char* source, const char* target, int32_t type, double gain,
               std::atomic<int16_t>& progress);
    ConvertJob(const ConvertJob&) = delete;
    ConvertJob& operator=(const ConvertJob&) = delete;
    ~ConvertJob() = default;  // the worker, declared last, is stopped and joined first

    int32_t Result() const { return result_; }
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

private:
    int32_t Prepare(Direction direction, const char* source, const char* target, int32_t type, double gain);
    void Run(std::stop_token stop);
    bool Convert(std::stop_token stop);  // false on a failure

    std::atomic<int16_t>& progress_;
    int32_t result_ = 0;
    UniqueFd source_;
    uint64_t sourceOffset_ = 0, sourceBytes_ = 0;
    std::filesystem::path target_;
    std::unique_ptr<TemporaryTarget> temporary_;
    std::unique_ptr<Transcoder> transcoder_;
    std::optional<WaveCoding> header_;  // set when the target is a WAV
    std::atomic<bool> ended_{false};
    std::jthread worker_;
};

}  // namespace voicecvt
