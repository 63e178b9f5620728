// The media layer's WAV reader on any file: the input is the file (a memory
// file named through /proc/self/fd), opened and read to its end in blocks.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/mci/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = ::memfd_create("wav", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) std::abort();
    auto wav = platform::mci::WavFile::Open(path);
    if (!wav) return 0;
    if (wav->Channels() == 0) std::abort();
    // About 4 096 samples a block, whatever the channel count.
    const size_t kBlock = std::max<size_t>(1, 4096 / wav->Channels());
    std::vector<int16_t> samples(kBlock * wav->Channels());
    uint64_t read = 0;
    while (read < wav->Frames()) {
        const size_t n = wav->Read(read, kBlock, samples.data());
        if (n == 0) break;
        if (n > kBlock) std::abort();
        read += n;
    }
    return 0;
}
