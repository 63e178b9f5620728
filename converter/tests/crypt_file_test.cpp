// Encrypted recordings through VelkCodec as the player meets it: loaded by
// name, driven through cvt_SetVoiceMask, cvt_EncryptFile, cvt_DecryptFile.
//
// Every case runs with a program folder of its own, so whether a site key
// file (SiteKey.bin) is there is the case's choice. A failed call must leave
// nothing at the target: no file where there was none, an existing file
// unchanged, and no temporary file beside it.
#include <sodium.h>
#include <sys/stat.h>

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
constexpr size_t kBlock = kChunk + 17;  // a chunk as stored: its bytes and its tag
constexpr size_t kHeader = 32;

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
    void PutSiteKey(const Bytes& key) { WriteFile(program.path() / "SiteKey.bin", key); }
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
    // Empty, one byte, exactly one chunk, and several chunks with a short last one.
    for (size_t size : {size_t(0), size_t(1), kChunk, 3 * kChunk + 1000}) {
        SCOPED_TRACE("a recording of " + std::to_string(size) + " bytes");
        const Bytes plain = Recording(size);
        const Bytes sealed = Encrypted(plain);
        // Whole chunks, then the rest padded to a whole final chunk.
        EXPECT_EQ(sealed.size(), kHeader + (size / kChunk + 1) * kBlock) << "the encrypted layout has changed";
        ASSERT_EQ(Named(Decrypt(dir / "rec.enc", kCryptTypeWav, dir / "out.wav")), Named(kCryptDone));
        EXPECT_TRUE(ReadFile(dir / "out.wav") == plain) << "the decrypted recording differs from the original";
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

// A recorder that knows only docs/encryption.md: libsodium called directly.
Bytes RecorderMade(const Bytes& plain, const std::string& mask, const Bytes& siteKey, uint8_t type) {
    if (sodium_init() < 0) return {};
    const char context[] = "CallDeck recording key v1";  // and its zero byte
    uint8_t key[32];
    crypto_generichash_state h;
    crypto_generichash_init(&h, siteKey.empty() ? nullptr : siteKey.data(), siteKey.size(), sizeof key);
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(context), sizeof context);
    crypto_generichash_update(&h, reinterpret_cast<const uint8_t*>(mask.data()), mask.size());
    crypto_generichash_final(&h, key, sizeof key);

    Bytes file = {'C', 'D', 'K', 'R', 'E', 'C', 1, type};
    file.resize(kHeader);
    crypto_secretstream_xchacha20poly1305_state st;
    crypto_secretstream_xchacha20poly1305_init_push(&st, file.data() + 8, key);
    for (size_t at = 0;; at += kChunk) {
        const bool last = plain.size() - at < kChunk;
        Bytes chunk(plain.begin() + std::ptrdiff_t(at), plain.begin() + std::ptrdiff_t(last ? plain.size() : at + kChunk));
        if (last) chunk.push_back(0x80), chunk.resize(kChunk, 0);
        Bytes sealed(kBlock);
        crypto_secretstream_xchacha20poly1305_push(&st, sealed.data(), nullptr, chunk.data(), chunk.size(),
                                                   at == 0 ? file.data() : nullptr, at == 0 ? 8 : 0,
                                                   last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        file.insert(file.end(), sealed.begin(), sealed.end());
        if (last) return file;
    }
}

TEST_F(EncryptedRecordings, ARecordingMadeByTheDocumentedRecipeOpens) {
    const Bytes siteKey = Recording(32, 21);
    PutSiteKey(siteKey);
    for (size_t size : {size_t(0), 2 * kChunk, 2 * kChunk + 99}) {
        const Bytes plain = Recording(size, 5);
        WriteFile(dir / "made.ntc", RecorderMade(plain, kPlayerMask, siteKey, kCryptTypeNtc));
        ASSERT_EQ(Named(Decrypt(dir / "made.ntc", kCryptTypeNtc, dir / "out.ntc")), Named(kCryptDone))
            << "a " << size << "-byte recording made from docs/encryption.md does not open: the format or the key "
            << "derivation no longer matches what is documented";
        EXPECT_TRUE(ReadFile(dir / "out.ntc") == plain);
    }
}

TEST_F(EncryptedRecordings, AnyFlippedBitIsRefusedAndLeavesNoTarget) {
    const Bytes sealed = Encrypted(Recording(3 * kChunk + 100));
    auto flipped = [&](size_t at, int bit = 0) {
        Bytes b = sealed;
        b[at] ^= uint8_t(1u << bit);
        return b;
    };
    for (size_t at = 0; at < 7; ++at) ExpectRefused(flipped(at), kCryptNotEncrypted, "magic/version byte " + std::to_string(at));
    ExpectRefused(flipped(7), kCryptTypeMismatch, "type byte");
    for (size_t at = 8; at < kHeader; ++at) ExpectRefused(flipped(at, int(at % 8)), kCryptAuthFailed, "stream header byte " + std::to_string(at));
    ASSERT_EQ(sealed.size(), kHeader + 4 * kBlock);
    for (size_t chunk = 0; chunk < 4; ++chunk) {
        const size_t start = kHeader + chunk * kBlock, end = start + kBlock;
        // The first byte, a sample in the middle (in the final chunk: its
        // padding), the first and last byte of the chunk's tag.
        for (size_t at : {start, start + kChunk / 2, end - 17, end - 1})
            ExpectRefused(flipped(at, 5), kCryptAuthFailed,
                          "chunk " + std::to_string(chunk) + ", byte " + std::to_string(at - start));
    }
    // The header is bound to the stream: a type byte changed to match what
    // is asked for still fails.
    Bytes retyped = sealed;
    retyped[7] = kCryptTypeNtc;
    WriteFile(dir / "bad.enc", retyped);
    EXPECT_EQ(Named(Decrypt(dir / "bad.enc", kCryptTypeNtc, dir / "out.wav")), Named(kCryptAuthFailed));
    EXPECT_EQ(Strays({"rec.wav", "rec.enc", "bad.enc"}), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(EncryptedRecordings, ACutOrExtendedRecordingIsTruncated) {
    const Bytes sealed = Encrypted(Recording(3 * kChunk + 100));
    ExpectRefused(Bytes(sealed.begin(), sealed.begin() + 20), kCryptTruncated, "cut inside the header");
    for (size_t chunks = 0; chunks < 4; ++chunks) {
        const auto boundary = sealed.begin() + std::ptrdiff_t(kHeader + chunks * kBlock);
        ExpectRefused(Bytes(sealed.begin(), boundary), kCryptTruncated, "cut after " + std::to_string(chunks) + " whole chunks");
        ExpectRefused(Bytes(sealed.begin(), boundary + 1000), kCryptTruncated,
                      "cut inside chunk " + std::to_string(chunks));
    }
    Bytes longer = sealed;
    longer.push_back(0);
    ExpectRefused(longer, kCryptTruncated, "one byte after the final chunk");
    longer = sealed;
    longer.insert(longer.end(), sealed.begin() + kHeader, sealed.begin() + kHeader + kBlock);
    ExpectRefused(longer, kCryptTruncated, "a whole chunk after the final chunk");
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

}  // namespace
