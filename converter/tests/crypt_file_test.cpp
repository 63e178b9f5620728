// Encrypted recordings through VelkCodec as the player meets it: loaded by
// name, driven through cvt_SetVoiceMask, cvt_EncryptFile, cvt_DecryptFile.
//
// Every case runs with a program folder of its own, so whether a site key
// file (SiteKey.bin) is there is the case's choice. A failed call must leave
// nothing at the target: no file where there was none, an existing file
// unchanged, and no temporary file beside it.
#include <sodium.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "converter/crypt_result.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

using namespace std::chrono_literals;

constexpr const char* kPlayerMask = "pkrvmhaxbqzetwnjcydsoul";
constexpr size_t kChunk = 64 * 1024;
constexpr size_t kTag = 17;              // what sealing adds to each chunk
constexpr size_t kBlock = kChunk + kTag;  // a whole chunk as stored
constexpr size_t kHeader = 40;            // magic, version, type, length, stream header

// How many chunks a recording of `bytes` bytes is stored in: the whole
// chunks, then the final one with the rest (0 to 65535 bytes).
size_t Chunks(size_t bytes) { return bytes / kChunk + 1; }
// The size of the encrypted file of a recording of `bytes` bytes.
size_t StoredSize(size_t bytes) { return kHeader + bytes + kTag * Chunks(bytes); }

// What the test asks of a result: its code and the code's text, so a
// failure reads "authentication failed (...)" rather than a bare number.
std::string Named(int code) { return std::to_string(code) + " (" + CryptResultText(code) + ")"; }

// A recording of `bytes` bytes that differ from chunk to chunk.
Bytes Recording(size_t bytes, uint32_t seed = 7) {
    Bytes out(bytes);
    uint32_t x = seed;
    for (auto& b : out) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    return out;
}

class EncryptedRecordings : public ::testing::Test {
protected:
    void SetUp() override {
        setMask = reinterpret_cast<SetVoiceMaskFn>(library.symbol(kSetVoiceMaskName));
        encrypt = reinterpret_cast<CryptFileFn>(library.symbol(kEncryptFileName));
        decrypt = reinterpret_cast<CryptFileFn>(library.symbol(kDecryptFileName));
        ASSERT_TRUE(setMask && encrypt && decrypt)
            << "VelkCodec.dll or its encryption entry points did not load: " << platform::dynlib::LastError();
        SetMask(kPlayerMask);
    }
    int16_t SetMask(std::string mask) { return setMask(mask.data()); }
    int Encrypt(const fs::path& source, int32_t type, const fs::path& target) {
        std::string s = source.string(), t = target.string();
        return encrypt(s.data(), type, t.data());
    }
    int Decrypt(const fs::path& source, int32_t type, const fs::path& target) {
        std::string s = source.string(), t = target.string();
        return decrypt(s.data(), type, t.data());
    }
    // The recording `plain` encrypted as `type` into dir/"rec.enc"; its bytes.
    Bytes Encrypted(const Bytes& plain, int32_t type = kCryptTypeWav) {
        WriteFile(dir / "rec.wav", plain);
        EXPECT_EQ(Named(Encrypt(dir / "rec.wav", type, dir / "rec.enc")), Named(kCryptDone));
        return ReadFile(dir / "rec.enc");
    }
    // SiteKey.bin holding `key`, readable by its owner only unless `mode` says otherwise.
    void PutSiteKey(const Bytes& key, fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
        fs::remove(program.path() / "SiteKey.bin");
        WriteFile(program.path() / "SiteKey.bin", key);
        fs::permissions(program.path() / "SiteKey.bin", mode);
    }
    // Files of the scratch folder other than the ones named.
    std::vector<std::string> Strays(std::initializer_list<std::string> expected) {
        std::vector<std::string> strays;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) strays.push_back(name);
        }
        return strays;
    }
    // Decrypts `image` (a changed encrypted recording) and expects `code` and no target.
    void ExpectRefused(const Bytes& image, int code, const std::string& what) {
        WriteFile(dir / "bad.enc", image);
        EXPECT_EQ(Named(Decrypt(dir / "bad.enc", kCryptTypeWav, dir / "out.wav")), Named(code)) << what;
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << what << ": plaintext was left at the target";
    }

    StagedProgramFolder program;  // before the library: it is found there
    platform::dynlib::Library library{kLibraryName};
    SetVoiceMaskFn setMask = nullptr;
    CryptFileFn encrypt = nullptr, decrypt = nullptr;
    TempDir dir;
};

TEST_F(EncryptedRecordings, RoundTripsGiveBackTheSameBytes) {
    // Empty, one byte, a byte short of a chunk, exactly one chunk (then an
    // empty final chunk), one byte more, and several chunks with a short last one.
    for (size_t size : {size_t(0), size_t(1), kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 1000}) {
        SCOPED_TRACE("a recording of " + std::to_string(size) + " bytes");
        const Bytes plain = Recording(size);
        const Bytes sealed = Encrypted(plain);
        // The header, then every chunk at its own size: nothing is padded.
        EXPECT_EQ(sealed.size(), StoredSize(size))
            << "the encrypted file has " << sealed.size() << " bytes, expected " << StoredSize(size)
            << " (40-byte header, the recording, 17 bytes for each of its " << Chunks(size) << " chunks)";
        ASSERT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptDone));
        EXPECT_TRUE(ReadFile(dir / "out.wav") == plain) << "the decrypted recording differs from the recording that was encrypted";
        EXPECT_EQ(Strays({"rec.wav", "rec.enc", "out.wav"}), std::vector<std::string>{}) << "temporary files left";
    }
    // The same recording encrypted twice must not give the same bytes (a
    // fresh stream header each time); an NTC recording travels the same way.
    const Bytes plain = Recording(2 * kChunk + 5, 9);
    const Bytes first = Encrypted(plain, kCryptTypeNtc);
    EXPECT_FALSE(Encrypted(plain, kCryptTypeNtc) == first) << "two encryptions gave identical files";
    ASSERT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeNtc, dir / "out.ntc")), Named(kCryptDone));
    EXPECT_TRUE(ReadFile(dir / "out.ntc") == plain);
    EXPECT_FALSE(std::search(first.begin(), first.end(), plain.begin(), plain.begin() + 64) != first.end())
        << "the recording's bytes appear in the clear in the encrypted file";
}

TEST_F(EncryptedRecordings, AnEncryptedRecordingIsAboutAsLargeAsThePlainOne) {
    // The scan takes a recording's duration from its file size: NTC at 1000
    // bytes a second, A-law WAV at 8000. An encrypted call must show about
    // as long as the plain one.
    const Bytes call = Recording(5 * 1000, 3);  // five seconds of NTC
    const Bytes sealed = Encrypted(call, kCryptTypeNtc);
    EXPECT_EQ(sealed.size() / 1000, 5u) << "an encrypted 5-second NTC call of " << sealed.size()
                                        << " bytes would be listed as " << sealed.size() / 1000 << " seconds long";
    for (size_t size : {size_t(0), size_t(5000), kChunk, 10 * kChunk + 12345}) {
        const Bytes plain = Recording(size);
        const size_t stored = Encrypted(plain).size();
        EXPECT_LE(stored, size + kHeader + kTag * Chunks(size))
            << "a " << size << "-byte recording became a " << stored << "-byte encrypted file: more than the 40-byte "
            << "header and 17 bytes for each of its " << Chunks(size) << " chunks";
        // The length is in the header (bytes 8 to 15, least significant first).
        const Bytes file = ReadFile(dir / "rec.enc");
        uint64_t length = 0;
        for (size_t i = 0; i < 8; ++i) length |= uint64_t(file[8 + i]) << (8 * i);
        EXPECT_EQ(length, size) << "the header does not hold the recording's length";
    }
}

TEST_F(EncryptedRecordings, EncryptionReadsTheSourceAtItsSizeWhenOpened) {
    // A file that holds less than its size says (as one cut while it is read
    // would) is refused; one that holds more (as one still growing) is
    // encrypted up to the size it had. Files of the kernel show both.
    const fs::path shorter = "/sys/devices/system/cpu/online";  // says 4096 bytes, holds a few
    const fs::path longer = "/proc/self/status";                 // says 0 bytes, holds many
    if (!fs::is_regular_file(shorter) || fs::file_size(shorter) == 0 || !fs::is_regular_file(longer))
        GTEST_SKIP() << "this system has no " << shorter << " or " << longer;
    EXPECT_EQ(Named(Encrypt(shorter, kCryptTypeWav, dir / "short.enc")), Named(kCryptSourceUnreadable))
        << "a source that held fewer bytes than its size at open was encrypted";
    EXPECT_FALSE(fs::exists(dir / "short.enc")) << "a refused encryption left a target";
    ASSERT_EQ(Named(Encrypt(longer, kCryptTypeWav, dir / "long.enc")), Named(kCryptDone));
    EXPECT_EQ(fs::file_size(dir / "long.enc"), StoredSize(0))
        << "a source read past the size it had at open: the encrypted file is not an empty recording's";
    ASSERT_EQ(Named(Decrypt(dir / "long.enc", kCryptTypeWav, dir / "long.wav")), Named(kCryptDone));
    EXPECT_EQ(fs::file_size(dir / "long.wav"), 0u);
}

// A recorder that knows only docs/encryption.md: libsodium called directly.
// `wrongTagAt` names a chunk sealed with the other tag (MESSAGE where FINAL
// is due, or FINAL where MESSAGE is), as a faulty recorder might.
Bytes RecorderMade(const Bytes& plain, const std::string& mask, const Bytes& siteKey, uint8_t type,
                   size_t wrongTagAt = SIZE_MAX) {
    if (sodium_init() < 0) return {};
    const char context[] = "CallDeck recording key v1";  // and its zero byte
    uint8_t key[32];
    crypto_generichash_state h;
    crypto_generichash_init(&h, siteKey.empty() ? nullptr : siteKey.data(), siteKey.size(), sizeof key);
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(context), sizeof context);
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(mask.data()), mask.size());
    crypto_generichash_final(&h, key, sizeof key);

    Bytes file = {'C', 'D', 'K', 'R', 'E', 'C', 1, type};
    for (int i = 0; i < 8; ++i) file.push_back(uint8_t(uint64_t(plain.size()) >> (8 * i)));  // the length
    file.resize(kHeader);
    crypto_secretstream_xchacha20poly1305_state st;
    crypto_secretstream_xchacha20poly1305_init_push(&st, file.data() + 16, key);
    for (size_t at = 0, index = 0;; at += kChunk, ++index) {
        const bool last = plain.size() - at < kChunk;
        const size_t bytes = last ? plain.size() - at : kChunk;
        const bool finalTag = last != (index == wrongTagAt);
        Bytes sealed(bytes + kTag);
        crypto_secretstream_xchacha20poly1305_push(&st, sealed.data(), nullptr, plain.data() + at, bytes,
                                                   at == 0 ? file.data() : nullptr, at == 0 ? 16 : 0,
                                                   finalTag ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                            : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        file.insert(file.end(), sealed.begin(), sealed.end());
        if (last) return file;
    }
}

TEST_F(EncryptedRecordings, ARecordingMadeFromDocsEncryptionMdOpens) {
    const Bytes siteKey = Recording(32, 21);
    PutSiteKey(siteKey);
    for (size_t size : {size_t(0), size_t(99), 2 * kChunk, 2 * kChunk + 99}) {
        const Bytes plain = Recording(size, 5);
        WriteFile(dir / "made.ntc", RecorderMade(plain, kPlayerMask, siteKey, kCryptTypeNtc));
        ASSERT_EQ(Named(Decrypt(dir / "made.ntc", kCryptTypeNtc, dir / "out.ntc")), Named(kCryptDone))
            << "a " << size << "-byte recording made from docs/encryption.md does not open: the format or the key "
            << "derivation no longer matches what it says";
        EXPECT_TRUE(ReadFile(dir / "out.ntc") == plain);
    }
    // A stream that goes on past the length, or ends before it: chunks that
    // open, but not where the length puts the end.
    const Bytes plain = Recording(2 * kChunk + 99, 5);
    for (size_t chunk = 0; chunk < 3; ++chunk) {
        WriteFile(dir / "made.ntc", RecorderMade(plain, kPlayerMask, siteKey, kCryptTypeNtc, chunk));
        EXPECT_EQ(Named(Decrypt(dir / "made.ntc", kCryptTypeNtc, dir / "bad.ntc")), Named(kCryptTruncated))
            << (chunk == 2 ? "the final chunk is tagged MESSAGE: the recording has no end"
                           : "chunk " + std::to_string(chunk) + " is tagged FINAL before the recording's length is reached");
        EXPECT_FALSE(fs::exists(dir / "bad.ntc")) << "a refused decryption left a target";
    }
}

TEST_F(EncryptedRecordings, AnyFlippedBitIsRefusedAndLeavesNoTarget) {
    const size_t size = 3 * kChunk + 100;
    const Bytes sealed = Encrypted(Recording(size));
    auto flipped = [](Bytes b, size_t at, int bit) {
        b[at] ^= uint8_t(1u << bit);
        return b;
    };
    for (size_t at = 0; at < 7; ++at) ExpectRefused(flipped(sealed, at, 0), kCryptNotEncrypted, "magic/version byte " + std::to_string(at));
    ExpectRefused(flipped(sealed, 7, 0), kCryptTypeMismatch, "type byte");
    // Bytes 8 to 15 are the length, 0x30064 here. No single flipped bit
    // brings it below 65 536, so the first chunk is still read whole, and it
    // does not open: the length is part of its additional data. Every bit of
    // the length is tried.
    for (size_t at = 8; at < 16; ++at)
        for (int bit = 0; bit < 8; ++bit)
            ExpectRefused(flipped(sealed, at, bit), kCryptAuthFailed,
                          "length byte " + std::to_string(at) + ", bit " + std::to_string(bit));
    for (size_t at = 16; at < kHeader; ++at)
        ExpectRefused(flipped(sealed, at, int(at % 8)), kCryptAuthFailed, "stream header byte " + std::to_string(at));
    ASSERT_EQ(sealed.size(), StoredSize(size));
    for (size_t chunk = 0; chunk < 4; ++chunk) {
        const size_t start = kHeader + chunk * kBlock, end = chunk < 3 ? start + kBlock : sealed.size();
        // The first byte, a sample in the middle, the first and last byte of the chunk's tag.
        for (size_t at : {start, start + (end - start - kTag) / 2, end - kTag, end - 1})
            ExpectRefused(flipped(sealed, at, 5), kCryptAuthFailed,
                          "chunk " + std::to_string(chunk) + ", byte " + std::to_string(at - start));
    }
    // The header is bound to the stream: a type byte changed to match what
    // is asked for still fails.
    Bytes retyped = sealed;
    retyped[7] = kCryptTypeNtc;
    WriteFile(dir / "bad.enc", retyped);
    EXPECT_EQ(Named(Decrypt(dir / "bad.enc", kCryptTypeNtc, dir / "out.wav")), Named(kCryptAuthFailed));

    // In a recording of one short chunk, a changed length also changes how
    // much is read as that chunk. A length grown past what the file holds
    // leaves the chunk short: truncated (the file is shorter than its header
    // claims). A length shrunk reads fewer bytes than were sealed, and they
    // do not open: authentication failed.
    const Bytes small = Encrypted(Recording(100));
    for (int bit = 0; bit < 64; ++bit) {
        const uint64_t claimed = uint64_t(100) ^ (uint64_t(1) << bit);
        ExpectRefused(flipped(small, 8 + size_t(bit / 8), bit % 8), claimed > 100 ? kCryptTruncated : kCryptAuthFailed,
                      "a 100-byte recording whose header claims " + std::to_string(claimed) + " bytes");
    }
    EXPECT_EQ(Strays({"rec.wav", "rec.enc", "bad.enc"}), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(EncryptedRecordings, ACutOrExtendedRecordingIsTruncated) {
    const size_t size = 3 * kChunk + 100;
    const Bytes sealed = Encrypted(Recording(size));
    ASSERT_EQ(sealed.size(), StoredSize(size));
    auto cut = [&](size_t bytes) { return Bytes(sealed.begin(), sealed.begin() + std::ptrdiff_t(bytes)); };
    ExpectRefused(cut(5), kCryptNotEncrypted, "cut to 5 bytes: too short to tell the format");
    for (size_t bytes : {size_t(8), size_t(16), size_t(20), kHeader - 1})
        ExpectRefused(cut(bytes), kCryptTruncated, "cut inside the header, after " + std::to_string(bytes) + " bytes");
    // Every chunk boundary (after the header and after each chunk but the
    // final), and inside every chunk: one byte in, halfway, one byte short.
    for (size_t chunk = 0; chunk < 4; ++chunk) {
        const size_t start = kHeader + chunk * kBlock, end = chunk < 3 ? start + kBlock : sealed.size();
        ExpectRefused(cut(start), kCryptTruncated, "cut after " + std::to_string(chunk) + " whole chunks");
        for (size_t bytes : {start + 1, (start + end) / 2, end - 1})
            ExpectRefused(cut(bytes), kCryptTruncated,
                          "cut inside chunk " + std::to_string(chunk) + ", after its byte " + std::to_string(bytes - start));
    }
    Bytes longer = sealed;
    longer.push_back(0);
    ExpectRefused(longer, kCryptTruncated, "one byte after the final chunk");
    longer = sealed;
    longer.insert(longer.end(), sealed.begin() + kHeader, sealed.begin() + kHeader + kBlock);
    ExpectRefused(longer, kCryptTruncated, "a whole chunk after the final chunk");
    // An empty recording is its header and an empty final chunk.
    const Bytes empty = Encrypted(Bytes{});
    ASSERT_EQ(empty.size(), kHeader + kTag);
    ExpectRefused(Bytes(empty.begin(), empty.begin() + kHeader), kCryptTruncated, "an empty recording without its final chunk");
    longer = empty;
    longer.push_back(0);
    ExpectRefused(longer, kCryptTruncated, "one byte after an empty recording's final chunk");
}

TEST_F(EncryptedRecordings, OnlyTheRightMaskAndSiteKeyOpenARecording) {
    const Bytes siteKey = Recording(32, 11);
    PutSiteKey(siteKey);
    Encrypted(Recording(kChunk + 10));

    SetMask("pkrvmhaxbqzetwnjcydsoum");
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptAuthFailed)) << "wrong mask";
    SetMask(kPlayerMask);
    fs::remove(program.path() / "SiteKey.bin");
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptAuthFailed))
        << "the recording opened with the mask alone, without the site key it was made with";
    PutSiteKey(Recording(32, 12));
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptAuthFailed)) << "another site key";
    PutSiteKey(Bytes(siteKey.begin(), siteKey.begin() + 31));
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptSiteKeyUnreadable))
        << "a site key file of 31 bytes";
    EXPECT_FALSE(fs::exists(dir / "out.wav"));

    PutSiteKey(siteKey);
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptDone))
        << "the right mask and site key must open it";
}

TEST_F(EncryptedRecordings, ASiteKeyOthersMayReadIsRefused) {
    using fs::perms;
    const Bytes siteKey = Recording(32, 11);
    const perms ownerAndGroup = perms::owner_read | perms::owner_write | perms::group_read;
    PutSiteKey(siteKey, ownerAndGroup);  // 0640: readable by a desk's group
    Encrypted(Recording(3000));          // expects success
    for (const auto& [wider, mode] : {std::pair{perms::others_read, "0644"}, std::pair{perms::group_write, "0660"},
                                      std::pair{perms::others_read | perms::others_write, "0646"}}) {
        PutSiteKey(siteKey, ownerAndGroup | wider);
        SCOPED_TRACE(std::string("SiteKey.bin of mode ") + mode);
        EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptSiteKeyExposed))
            << "a site key others may read or change was used";
        EXPECT_EQ(Named(Encrypt(dir / "rec.wav", kCryptTypeWav, dir / "again.enc")), Named(kCryptSiteKeyExposed));
        EXPECT_EQ(Strays({"rec.wav", "rec.enc"}), std::vector<std::string>{}) << "a refused call left a file";
    }
    PutSiteKey(siteKey, perms::owner_read);  // 0400
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptDone))
        << "a site key only its owner may read must be used";
}

TEST_F(EncryptedRecordings, EachRefusalHasItsOwnCode) {
    Encrypted(Recording(5000));
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeNtc, dir / "out.wav")), Named(kCryptTypeMismatch));
    for (int32_t type : {1, 2, 4, -1})
        EXPECT_EQ(Named(Decrypt(dir / "rec.enc", type, dir / "out.wav")), Named(kCryptUnknownType)) << "type " << type;
    EXPECT_EQ(Named(Encrypt(dir / "rec.wav", 16, dir / "x.enc")), Named(kCryptUnknownType));
    EXPECT_EQ(Named(Decrypt(dir / "rec.wav", kCryptTypeWav, dir / "out.wav")), Named(kCryptNotEncrypted))
        << "a plain recording";
    EXPECT_EQ(Named(Decrypt(dir / "missing.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptSourceUnreadable));
    EXPECT_EQ(Named(Encrypt(dir / "missing.wav", kCryptTypeWav, dir / "out.enc")), Named(kCryptSourceUnreadable));
    EXPECT_EQ(Named(decrypt(nullptr, kCryptTypeWav, nullptr)), Named(kCryptSourceUnreadable)) << "null paths";

    // A FIFO is answered at once, never waited on.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Named(Decrypt(dir / "pipe", kCryptTypeWav, dir / "out.wav")), Named(kCryptSourceUnreadable));
    EXPECT_EQ(Named(Encrypt(dir / "pipe", kCryptTypeWav, dir / "out.enc")), Named(kCryptSourceUnreadable));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s) << "a FIFO source made the call wait";

    // The target naming the source itself, by its path or a link.
    const Bytes sealed = ReadFile(dir / "rec.enc");
    fs::create_symlink(dir / "rec.enc", dir / "link.wav");
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "rec.enc")), Named(kCryptTargetIsSource));
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "link.wav")), Named(kCryptTargetIsSource));
    EXPECT_EQ(Named(Encrypt(dir / "rec.wav", kCryptTypeWav, dir / "rec.wav")), Named(kCryptTargetIsSource));
    EXPECT_TRUE(ReadFile(dir / "rec.enc") == sealed) << "the source was changed";

    // No mask: set to "" after one was set.
    SetMask("");
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptNoMask));
    EXPECT_EQ(Named(Encrypt(dir / "rec.wav", kCryptTypeWav, dir / "out.enc")), Named(kCryptNoMask));
    EXPECT_EQ(Strays({"rec.wav", "rec.enc", "pipe", "link.wav"}), std::vector<std::string>{})
        << "a refused call left a file";
}

TEST_F(EncryptedRecordings, AnExistingTargetIsReplacedOnlyOnSuccess) {
    const Bytes plain = Recording(2 * kChunk + 3);
    const Bytes sealed = Encrypted(plain);
    const Bytes earlier = Recording(5 * kChunk, 3);
    WriteFile(dir / "out.wav", earlier);

    Bytes tampered = sealed;
    tampered.back() ^= 1;  // the final chunk's tag: every chunk before it has been written by then
    WriteFile(dir / "bad.enc", tampered);
    EXPECT_EQ(Named(Decrypt(dir / "bad.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptAuthFailed));
    EXPECT_TRUE(ReadFile(dir / "out.wav") == earlier) << "a failed decryption changed the existing target";

    {
        FileSizeLimit full(kChunk);  // writes beyond 64 KiB fail as on a full disk
        EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptTargetNotWritable));
    }
    EXPECT_TRUE(ReadFile(dir / "out.wav") == earlier) << "a decryption onto a full disk changed the existing target";
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "no-folder" / "out.wav")),
              Named(kCryptTargetNotWritable));
    fs::create_directory(dir / "folder");
    EXPECT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "folder")), Named(kCryptTargetNotWritable))
        << "a folder as target";
    EXPECT_EQ(Strays({"rec.wav", "rec.enc", "bad.enc", "out.wav", "folder"}), std::vector<std::string>{})
        << "a failed decryption left a temporary file";

    ASSERT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptDone));
    EXPECT_TRUE(ReadFile(dir / "out.wav") == plain) << "a longer earlier target kept its tail or was not replaced";
}

TEST_F(EncryptedRecordings, ADecryptionKilledAtAnyPointLeavesNoPartOfTheRecordingReadable) {
    const Bytes plain = Recording(16 << 20);
    Encrypted(plain);
    fs::remove(dir / "rec.wav");
    int whole = 0;
    for (const int delayUs : {0, 200, 500, 1000, 2000, 4000, 8000, 15000, 30000, 60000, 120000, 250000}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0) << "cannot start the decryption to be killed";
        if (child == 0) _exit(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav"));
        ::usleep(useconds_t(delayUs));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        EXPECT_EQ(Strays({"rec.enc", "out.wav"}), std::vector<std::string>{})
            << "a decryption killed after " << delayUs << " us left a file behind";
        if (fs::exists(dir / "out.wav")) {
            ++whole;
            EXPECT_TRUE(ReadFile(dir / "out.wav") == plain)
                << "a decryption killed after " << delayUs << " us left a partial recording under its name";
            fs::remove(dir / "out.wav");
        }
    }
    EXPECT_LT(whole, 12) << "every decryption ended before its kill: the kills tested nothing";
}

}  // namespace
