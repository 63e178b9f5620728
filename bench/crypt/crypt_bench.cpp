// What decrypting a recording file to file costs beyond the cipher itself:
// a one-hour A-law WAV recording (58-byte header, 28.8 MB of samples),
// encrypted once, then decrypted by VelkCodec's decryption (read, open each
// chunk, write a temporary file, fsync, rename) and, in the same run, by
// libsodium's secretstream over the same encrypted bytes held in memory.
//
// Each iteration does both, alternating which goes first, timed by the wall
// clock (waiting for the disk is part of the file's cost). Counters: the
// milliseconds of each side and their ratio; the goal is at most 1.3.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec_framework/testing/wav_files.h"
#include "converter/crypt_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kSampleBytes = 8000 * 3600;  // an hour of A-law at 8000 bytes/s
constexpr size_t kBlock = velk::kCryptChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES;

std::vector<uint8_t> ALawHour() {
    const std::string header = Tessel::testing::WavHeader(Tessel::testing::kCodecALawWav, uint32_t(kSampleBytes));
    std::vector<uint8_t> wav(header.begin(), header.end());
    wav.resize(header.size() + kSampleBytes);
    uint32_t x = 1;
    for (size_t i = header.size(); i < wav.size(); ++i) wav[i] = uint8_t(0xd5 ^ ((x = x * 1664525u + 1013904223u) >> 28));
    return wav;
}

struct Recording {
    fs::path folder = fs::temp_directory_path() / "crypt-bench";
    fs::path plain = folder / "hour.wav", sealed = folder / "hourE.WAV", target = folder / "dec.wav";
    velk::RecordingKey key{};
    std::vector<uint8_t> image;  // the encrypted recording, in memory
    std::vector<uint8_t> out;    // where the in-memory decryption writes
    std::string error;

    Recording() {
        fs::create_directories(folder);
        const auto wav = ALawHour();
        std::ofstream(plain, std::ios::binary).write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
        if (velk::DeriveRecordingKey("pkrvmhaxbqzetwnjcydsoul", folder, key) != velk::kCryptDone ||
            velk::EncryptRecording(plain.c_str(), velk::kCryptTypeWav, sealed.c_str(), key) != velk::kCryptDone) {
            error = "the recording could not be encrypted";
            return;
        }
        std::ifstream in(sealed, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), {});
        out.resize(image.size());
    }
    ~Recording() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    bool File() const { return velk::DecryptRecording(sealed.c_str(), velk::kCryptTypeWav, target.c_str(), key) == velk::kCryptDone; }

    // The bare cipher: the same chunks opened from memory into memory. The
    // header's first 16 bytes (magic, version, type, length) are the first
    // chunk's additional data; the stream header follows them; every chunk
    // is whole but the final one.
    bool Memory() {
        constexpr size_t kPrefix = velk::kCryptHeaderBytes - crypto_secretstream_xchacha20poly1305_HEADERBYTES;
        crypto_secretstream_xchacha20poly1305_state st;
        if (crypto_secretstream_xchacha20poly1305_init_pull(&st, image.data() + kPrefix, key.data()) != 0) return false;
        uint8_t* to = out.data();
        for (size_t at = velk::kCryptHeaderBytes; at < image.size(); at += kBlock) {
            unsigned long long n = 0;
            unsigned char tag = 0;
            const bool first = at == velk::kCryptHeaderBytes;
            if (crypto_secretstream_xchacha20poly1305_pull(&st, to, &n, &tag, image.data() + at,
                                                           std::min(kBlock, image.size() - at),
                                                           first ? image.data() : nullptr, first ? kPrefix : 0) != 0)
                return false;
            to += n;
        }
        benchmark::DoNotOptimize(out.data());
        return true;
    }
};

double Seconds(auto&& f, bool& ok) {
    const auto t0 = Clock::now();
    ok = f() && ok;
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void DecryptOneHour(benchmark::State& state) {
    static Recording r;
    if (!r.error.empty()) return state.SkipWithError(r.error.c_str());
    double file = 0, memory = 0;
    bool ok = true, fileFirst = true;
    for (auto _ : state) {
        fs::remove(r.target);  // the player's decrypted copies are always new files
        if (fileFirst) file += Seconds([&] { return r.File(); }, ok), memory += Seconds([&] { return r.Memory(); }, ok);
        else memory += Seconds([&] { return r.Memory(); }, ok), file += Seconds([&] { return r.File(); }, ok);
        fileFirst = !fileFirst;
    }
    if (!ok) return state.SkipWithError("a decryption failed");
    const double n = double(state.iterations());
    state.counters["file_ms"] = 1000 * file / n;
    state.counters["memory_ms"] = 1000 * memory / n;
    state.counters["ratio"] = file / memory;
    state.SetBytesProcessed(int64_t(n * double(r.image.size())));
    state.SetLabel("file to file / secretstream in memory (goal <= 1.3)");
}

}  // namespace

BENCHMARK(DecryptOneHour)->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();
