// SourceFile: the source recording, read in chunks while it is converted.
//
// Recorders may rewrite, cut or delete a file while the player converts it.
// A mapping of the file would kill the whole process with SIGBUS the moment
// the worker touched a page the file no longer holds, so the source is read
// with pread into a buffer of 256 KiB, refilled as the worker walks it:
// a file that has shrunk below what the conversion needs, or has been
// deleted meanwhile, ends the reading with a failure, never a signal.
//
// Opening never blocks (a FIFO or device named as source answers at once)
// and keeps only a regular, non-empty file of less than 4 GiB, whose size
// the job's 32-bit frame arithmetic and WAV fields can hold. The first
// 64 KiB (or the whole of a smaller file) are read at once: the header and
// the gain-control marker are looked for there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace velk {

class SourceFile {
public:
    static constexpr uint32_t kHeadBytes = 64 * 1024;
    static constexpr uint32_t kChunkBytes = 256 * 1024;

    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile() { Close(); }

    // Closes any earlier file, then opens `path`. True when it is a regular
    // file of 1 byte to 4 GiB - 1 and its head could be read.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    uint32_t Size() const { return size_; }
    // The file's first min(Size, kHeadBytes) bytes, as read at Open.
    const uint8_t* Head() const { return head_.get(); }
    uint32_t HeadSize() const { return headSize_; }
    // The file's identity, to tell whether another path names it.
    dev_t Device() const { return device_; }
    ino_t Inode() const { return inode_; }

    // Frames are read from `offset` on.
    void Seek(uint64_t offset);
    // The next `count` bytes (at most kChunkBytes), valid until the next
    // call; null when the file no longer holds them or has been deleted.
    const uint8_t* Next(uint32_t count) {
        if (end_ - pos_ >= count) {
            const uint8_t* p = chunk_.get() + pos_;
            pos_ += count;
            return p;
        }
        return Refill(count);
    }

private:
    const uint8_t* Refill(uint32_t count);

    int fd_ = -1;
    uint32_t size_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unique_ptr<uint8_t[]> head_;
    uint32_t headSize_ = 0;
    std::unique_ptr<uint8_t[]> chunk_;
    uint32_t pos_ = 0, end_ = 0;  // the unread bytes of chunk_
    uint64_t offset_ = 0;         // the file offset of chunk_[end_]
};

}  // namespace velk
