// Encrypted recordings over libsodium's secretstream (see crypt_file.h and
// docs/encryption.md for the layout and the key derivation).
#include "crypt_file.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/dynlib/dynlib.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kMagic[6] = {'C', 'D', 'K', 'R', 'E', 'C'};
constexpr uint8_t kVersion = 1;
// Magic, version, type and the plaintext length: also the first chunk's
// additional data, so none of them can be changed unnoticed.
constexpr size_t kPrefixBytes = 16;
constexpr size_t kTypedBytes = 8;  // magic, version, type: what tells an encrypted recording
constexpr size_t kLengthAt = 8;  // the plaintext length, 8 bytes little-endian
constexpr size_t kStreamHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr size_t kTagBytes = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr size_t kBlockBytes = kCryptChunkBytes + kTagBytes;  // a whole chunk as stored
constexpr char kContext[] = "CallDeck recording key v1";  // hashed with its terminating zero
static_assert(kPrefixBytes + kStreamHeaderBytes == kCryptHeaderBytes);

// A file descriptor, closed when the object goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~UniqueFd() { Close(); }
    int get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes the descriptor; false when close reported a failure.
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// The stream state, wiped when the object goes.
struct StreamState {
    crypto_secretstream_xchacha20poly1305_state s;
    StreamState() = default;
    StreamState(const StreamState&) = delete;
    StreamState& operator=(const StreamState&) = delete;
    ~StreamState() { sodium_memzero(&s, sizeof s); }
};

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;  // thread-safe once
    return ready;
}

// A regular file opened for reading without ever blocking (a FIFO or a
// device named as source answers at once).
UniqueFd OpenRegular(const char* path, struct stat& st) {
    if (!path || !*path) return UniqueFd();
    UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.Valid() && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.Close();
    return fd;
}

// Reads until `count` bytes or the end of the file; the bytes read, -1 on
// a failed read.
ssize_t ReadFull(int fd, uint8_t* to, size_t count) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, to + got, count - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        got += size_t(n);
    }
    return ssize_t(got);
}

bool WriteFull(int fd, const uint8_t* from, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, from, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        from += n;
        count -= size_t(n);
    }
    return true;
}

fs::path FolderOf(const fs::path& file) {
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// The target while it is written. Where the folder's file system allows it,
// an unnamed file in the target's folder (O_TMPFILE, mode 0600): a process
// killed before Commit leaves nothing under any name, so a decryption cut
// short never leaves part of a recording readable. Commit gives it the
// target's name (linkat through /proc/self/fd). Elsewhere, a named
// temporary beside the target (".NAME.XXXXXX", created exclusively, mode
// 0600), removed on every way out but Commit and but a kill.
class TempTarget {
public:
    TempTarget() = default;
    TempTarget(const TempTarget&) = delete;
    TempTarget& operator=(const TempTarget&) = delete;
    ~TempTarget() {
        fd_.Close();
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    bool Create(const fs::path& target) {
        fd_ = UniqueFd(::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (fd_.Valid() && ::access(ProcPath().c_str(), F_OK) == 0) return true;
        fd_.Close();
        std::string name = TempName(target);
        fd_ = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
        if (!fd_.Valid()) return false;
        path_ = std::move(name);
        return true;
    }
    // Writes, and every 4 MiB asks the kernel to start writing back what
    // came before, so that the sync at the end has little left to wait for.
    bool Write(const uint8_t* bytes, size_t count) {
        if (!WriteFull(fd_.get(), bytes, count)) return false;
        written_ += count;
        if (written_ - started_ >= kWriteBackBytes) {
            ::sync_file_range(fd_.get(), off_t(started_), off_t(written_ - started_), SYNC_FILE_RANGE_WRITE);
            started_ = written_;
        }
        return true;
    }
    // Syncs the file, puts it under `target` (replacing what was there) and
    // syncs the folder.
    bool Commit(const fs::path& target) {
        if (::fsync(fd_.get()) != 0) return false;
        if (path_.empty() && !Name(target)) return false;
        if (!fd_.Close()) return false;
        if (!path_.empty()) {
            if (::rename(path_.c_str(), target.c_str()) != 0) return false;
            path_.clear();
        }
        UniqueFd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.Valid()) ::fsync(folder.get());  // makes the name durable; best effort
        return true;
    }

private:
    static std::string TempName(const fs::path& target) {
        return (FolderOf(target) / ("." + target.filename().string() + ".XXXXXX")).string();
    }
    std::string ProcPath() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }
    // Names the unnamed file: straight as the target when there is none
    // (the file appears whole or not at all); over an existing target
    // through a named temporary and a rename, which replaces it in one step.
    bool Name(const fs::path& target) {
        if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TempName(target);
            const int probe = ::mkostemp(name.data(), O_CLOEXEC);  // reserves a fresh name
            if (probe < 0) return false;
            ::close(probe);
            ::unlink(name.c_str());
            if (::linkat(AT_FDCWD, ProcPath().c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                path_ = std::move(name);
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    static constexpr uint64_t kWriteBackBytes = 4 << 20;
    UniqueFd fd_;
    std::string path_;
    uint64_t written_ = 0, started_ = 0;
};

// The target may be replaced: it is absent, or a regular file other than
// the source.
CryptResult CheckTarget(const char* target, const struct stat& source) {
    if (!target || !*target) return kCryptTargetNotWritable;
    struct stat st;
    if (::stat(target, &st) != 0) return errno == ENOENT ? kCryptDone : kCryptTargetNotWritable;
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return kCryptTargetIsSource;
    return S_ISREG(st.st_mode) ? kCryptDone : kCryptTargetNotWritable;
}

void Prefix(uint8_t* to, int32_t type, uint64_t length) {
    std::memcpy(to, kMagic, sizeof kMagic);
    to[6] = kVersion;
    to[7] = uint8_t(type);
    for (size_t i = 0; i < 8; ++i) to[kLengthAt + i] = uint8_t(length >> (8 * i));
}

uint64_t LengthOf(const uint8_t* header) {
    uint64_t length = 0;
    for (size_t i = 0; i < 8; ++i) length |= uint64_t(header[kLengthAt + i]) << (8 * i);
    return length;
}

// The chunks of a recording of `length` bytes, in order: length / 65536
// whole chunks tagged MESSAGE, then one of length % 65536 bytes (0 to
// 65535) tagged FINAL.
class ChunkPlan {
public:
    explicit ChunkPlan(uint64_t length) : left_(length) {}
    bool Final() const { return left_ < kCryptChunkBytes; }
    size_t PlainBytes() const { return Final() ? size_t(left_) : kCryptChunkBytes; }
    size_t StoredBytes() const { return PlainBytes() + kTagBytes; }
    unsigned char Tag() const {
        return Final() ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    }
    void Next() { left_ -= PlainBytes(); }

private:
    uint64_t left_;
};

// A chunk's plaintext and its stored block, allocated once per file.
struct Buffers {
    std::unique_ptr<uint8_t[]> plain = std::make_unique_for_overwrite<uint8_t[]>(kCryptChunkBytes);
    std::unique_ptr<uint8_t[]> block = std::make_unique_for_overwrite<uint8_t[]>(kBlockBytes);
};

}  // namespace

CryptResult DeriveRecordingKey(std::string_view mask, const fs::path& programFolder, RecordingKey& key) {
    if (mask.empty()) return kCryptNoMask;
    if (!SodiumReady()) return kCryptInternal;
    uint8_t siteKey[kSiteKeyBytes];
    bool haveSiteKey = false;
    const fs::path siteKeyFile = programFolder / kSiteKeyFileName;
    struct stat st;
    if (::lstat(siteKeyFile.c_str(), &st) == 0 || errno != ENOENT) {
        UniqueFd fd = OpenRegular(siteKeyFile.c_str(), st);
        if (fd.Valid() && SiteKeyModeExposed(st.st_mode)) return kCryptSiteKeyExposed;
        uint8_t extra;
        if (!fd.Valid() || st.st_size != off_t(kSiteKeyBytes) ||
            ReadFull(fd.get(), siteKey, kSiteKeyBytes) != ssize_t(kSiteKeyBytes) || ReadFull(fd.get(), &extra, 1) != 0) {
            sodium_memzero(siteKey, sizeof siteKey);
            return kCryptSiteKeyUnreadable;
        }
        haveSiteKey = true;
    }
    crypto_generichash_state h;
    crypto_generichash_init(&h, haveSiteKey ? siteKey : nullptr, haveSiteKey ? kSiteKeyBytes : 0, key.size());
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(kContext), sizeof kContext);
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(mask.data()), mask.size());
    crypto_generichash_final(&h, key.data(), key.size());
    sodium_memzero(&h, sizeof h);
    sodium_memzero(siteKey, sizeof siteKey);
    return kCryptDone;
}

CryptResult EncryptRecording(const char* source, int32_t type, const char* target, const RecordingKey& key) {
    if (!SodiumReady()) return kCryptInternal;
    struct stat st;
    UniqueFd in = OpenRegular(source, st);
    if (!in.Valid()) return kCryptSourceUnreadable;
    if (const CryptResult r = CheckTarget(target, st); r != kCryptDone) return r;
    Buffers buf;
    TempTarget out;
    if (!out.Create(target)) return kCryptTargetNotWritable;

    // The length is the source's size at open: exactly that many bytes are
    // read. A source that turns out shorter changed while it was read; one
    // that grew is read no further than the length.
    const uint64_t length = uint64_t(st.st_size);
    uint8_t header[kCryptHeaderBytes];
    Prefix(header, type, length);
    StreamState state;
    crypto_secretstream_xchacha20poly1305_init_push(&state.s, header + kPrefixBytes, key.data());
    if (!out.Write(header, sizeof header)) return kCryptTargetNotWritable;

    ChunkPlan chunk(length);
    for (bool first = true;; first = false, chunk.Next()) {
        const ssize_t n = ReadFull(in.get(), buf.plain.get(), chunk.PlainBytes());
        if (n < 0 || size_t(n) < chunk.PlainBytes()) return kCryptSourceUnreadable;  // failed, or shrank
        unsigned long long sealed = 0;
        crypto_secretstream_xchacha20poly1305_push(&state.s, buf.block.get(), &sealed, buf.plain.get(),
                                                   chunk.PlainBytes(), first ? header : nullptr,
                                                   first ? kPrefixBytes : 0, chunk.Tag());
        if (!out.Write(buf.block.get(), size_t(sealed))) return kCryptTargetNotWritable;
        if (chunk.Final()) break;
    }
    return out.Commit(target) ? kCryptDone : kCryptTargetNotWritable;
}

CryptResult DecryptRecording(const char* source, int32_t type, const char* target, const RecordingKey& key) {
    if (!SodiumReady()) return kCryptInternal;
    struct stat st;
    UniqueFd in = OpenRegular(source, st);
    if (!in.Valid()) return kCryptSourceUnreadable;

    uint8_t header[kCryptHeaderBytes];
    const ssize_t got = ReadFull(in.get(), header, sizeof header);
    if (got < 0) return kCryptSourceUnreadable;
    if (size_t(got) < kTypedBytes || std::memcmp(header, kMagic, sizeof kMagic) != 0 || header[6] != kVersion)
        return kCryptNotEncrypted;
    if (header[7] != uint8_t(type)) return kCryptTypeMismatch;
    if (size_t(got) < sizeof header) return kCryptTruncated;
    StreamState state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state.s, header + kPrefixBytes, key.data()) != 0)
        return kCryptAuthFailed;

    if (const CryptResult r = CheckTarget(target, st); r != kCryptDone) return r;
    Buffers buf;
    TempTarget out;
    if (!out.Create(target)) return kCryptTargetNotWritable;

    // Each chunk is read at the size the header's length gives it. The
    // length is trusted only that far: a file shorter than it claims runs
    // out of bytes (truncated), and a changed length fails the first chunk,
    // whose additional data it is.
    ChunkPlan chunk(LengthOf(header));
    for (bool first = true;; first = false, chunk.Next()) {
        const ssize_t n = ReadFull(in.get(), buf.block.get(), chunk.StoredBytes());
        if (n < 0) return kCryptSourceUnreadable;
        if (size_t(n) < chunk.StoredBytes()) return kCryptTruncated;  // cut at or inside this chunk
        unsigned long long opened = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state.s, buf.plain.get(), &opened, &tag, buf.block.get(),
                                                       size_t(n), first ? header : nullptr,
                                                       first ? kPrefixBytes : 0) != 0)
            return kCryptAuthFailed;
        // Authentic, but the stream ends where the length says it goes on, or
        // goes on where it should end.
        if (tag != chunk.Tag()) return kCryptTruncated;
        if (!out.Write(buf.plain.get(), size_t(opened))) return kCryptTargetNotWritable;
        if (chunk.Final()) break;
    }
    uint8_t after;
    const ssize_t more = ReadFull(in.get(), &after, 1);
    if (more < 0) return kCryptSourceUnreadable;
    if (more > 0) return kCryptTruncated;  // data after the final chunk
    return out.Commit(target) ? kCryptDone : kCryptTargetNotWritable;
}

CryptResult RunCrypt(CryptDirection direction, const char* source, int32_t type, const char* target,
                     std::string_view mask) noexcept {
    try {
        if (type != kCryptTypeWav && type != kCryptTypeNtc) return kCryptUnknownType;
        RecordingKey key;
        CryptResult r = DeriveRecordingKey(mask, platform::dynlib::ProgramFolder(), key);
        if (r == kCryptDone)
            r = direction == CryptDirection::kEncrypt ? EncryptRecording(source, type, target, key)
                                                      : DecryptRecording(source, type, target, key);
        sodium_memzero(key.data(), key.size());
        return r;
    } catch (...) {  // no memory for a buffer or a path
        return kCryptInternal;
    }
}

}  // namespace velk
