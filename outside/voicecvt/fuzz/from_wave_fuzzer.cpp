// VoiceCvt's reader of a WAV to be encoded: the chunk walk (FindWaveData)
// over the input as a file, then the sample data it found encoded as VOC,
// VC2 or VC5 (picked by the input's length). The data must lie within the
// file. Only its first frames are encoded.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "outside/voicecvt/transcoders.h"
#include "outside/voicecvt/wave_file.h"

namespace {

constexpr int32_t kTypes[] = {0, 1, 4};
constexpr uint64_t kEncodedBytes = 1280;  // four 20 ms frames of 16-bit samples

// One memory file for the whole run, rewritten for each input.
int MemoryFile() {
    static const int fd = ::memfd_create("wave", MFD_CLOEXEC);
    if (fd < 0) std::abort();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MemoryFile();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) std::abort();
    const auto found = voicecvt::FindWaveData(fd, size);
    if (!found) return 0;
    if (found->offset > size || found->bytes > size - found->offset) std::abort();
    // The first few frames of samples: the encoders' work grows with the
    // length, what they are handed does not change with it.
    const uint64_t bytes = std::min<uint64_t>(found->bytes, kEncodedBytes);
    const std::vector<uint8_t> samples(data + found->offset, data + found->offset + bytes);
    auto transcoder = voicecvt::MakeTranscoder(kTypes[size % 3], voicecvt::Direction::FromWave, found->coding, 1.0);
    if (!transcoder) std::abort();
    std::vector<uint8_t> recording;
    (void)transcoder->Convert(samples, true, recording);
    return 0;
}
