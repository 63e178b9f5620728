// TargetFile: the file a conversion writes, opened for reading and writing
// and created when missing.
//
// Writes go through a fixed buffer of the job's (allocated once when the
// file is opened, never per frame) and reach the file when it fills and
// when the file is finished, so that a conversion costs one system call per
// 256 KiB instead of one per 20 ms frame; the worker's encoder writes its
// frames straight into that buffer (Reserve, Commit), so the audio is not
// copied once more on its way. A short or interrupted write is carried on;
// a write the system refuses (a full disk, an input/output error) marks the
// file failed, and nothing more is written.
//
// A file is not truncated when it is opened, so a start that fails later
// leaves an existing file as it was. Finish ends it at the last byte the
// conversion wrote, so an export over a longer earlier file keeps nothing
// of that file's tail, and can put a corrected header in front; Abandon
// removes the file instead, for a conversion that failed.
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
    // neither opened nor created, or names something else than a regular
    // file.
    bool Open(const std::string& path);
    // True when Open made the file (it did not exist before).
    bool Created() const { return created_; }
    bool IsOpen() const { return fd_ >= 0; }
    // True once a write has been refused.
    bool Failed() const { return error_ != 0; }
    // The system's error number of the first refused write (ENOSPC on a full
    // disk), 0 when none was refused; kept after Abandon, for the message.
    int Error() const { return error_; }

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
    // Writes what is buffered, puts `header` (when not null) over the
    // file's first bytes, cuts the file after `length` bytes and closes it.
    // True when every write held.
    bool Finish(const uint8_t* header, size_t headerLength, uint64_t length);
    // Closes the file and removes it.
    void Abandon();
    // Writes what is buffered and closes the file.
    void Close();

private:
    void WriteThrough(const uint8_t* bytes, size_t count);
    void Fail(int error) {
        if (error_ == 0) error_ = error;
    }

    int fd_ = -1;
    std::string path_;
    bool created_ = false;
    int error_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
};

}  // namespace velk
