// TargetFile: the file a conversion writes, opened for reading and writing
// and created when missing, but never truncated: converting into an
// existing longer file leaves its old bytes after the newly written end.
//
// Writes go through a fixed buffer of the job's (allocated once when the
// file is opened, never per frame) and reach the file when it fills and
// when the file is closed, so that a conversion costs one system call per
// 256 KiB instead of one per 20 ms frame; the worker's encoder writes its
// frames straight into that buffer (Reserve, Commit), so the audio is not
// copied once more on its way. Nobody reads a target while its
// conversion runs; the worker closes it, flushing everything, before it
// reports itself finished. The outcome of a write is not reported (a
// conversion has no failure path once it runs), but a short or interrupted
// write is carried on until the system refuses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace velk {

class TargetFile {
public:
    static constexpr size_t kBufferBytes = 256 * 1024;

    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { Close(); }

    // Opens `path` for writing from its first byte on. False when it can be
    // neither opened nor created.
    bool Open(const std::string& path);
    // True when Open made the file (it did not exist before).
    bool Created() const { return created_; }
    bool IsOpen() const { return fd_ >= 0; }

    void Write(const uint8_t* bytes, size_t count) {
        if (count > kBufferBytes - used_) Flush();
        if (count > kBufferBytes) return WriteThrough(bytes, count);
        std::memcpy(buffer_.get() + used_, bytes, count);
        used_ += count;
    }
    // At least `room` bytes (up to kBufferBytes) to write in place; Commit
    // then keeps the first `count` of them.
    uint8_t* Reserve(size_t room) {
        if (room > kBufferBytes - used_) Flush();
        return buffer_.get() + used_;
    }
    void Commit(size_t count) { used_ += count; }
    void Flush();
    void Close();

private:
    void WriteThrough(const uint8_t* bytes, size_t count);

    int fd_ = -1;
    bool created_ = false;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
};

}  // namespace velk
