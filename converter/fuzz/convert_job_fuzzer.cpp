// A whole conversion as VelkCodec runs it: the first input byte picks the
// source's format code, the rest is written as the source file, and a job
// converts it into linear PCM on this thread (ConvertHere), through the
// delivered plug-ins loaded by name. A job that starts must write a target
// of exactly the length its header announces.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <system_error>

#include "converter/convert_job.h"
#include "converter/format_table.h"
#include "fuzz_codecs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velk::fuzz::LoadEveryLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    namespace fs = std::filesystem;
    const int32_t code = velk::fuzz::PickCode(data[0]);
    const fs::path source = velk::fuzz::ScratchFolder() / "source.rec";
    const fs::path target = velk::fuzz::ScratchFolder() / "target.wav";
    velk::fuzz::WriteFile(source, std::span(data + 1, size - 1));
    std::error_code ignored;
    fs::remove(target, ignored);

    velk::ConvertState state;
    velk::CConvertJob job(velk::CodecLibraryName(16), velk::CodecLibraryName(code), target.c_str(), source.c_str(),
                          state, velk::CConvertJob::ThreadStarter{});
    if (job.Result() != velk::kStarted) return 0;
    if (!job.ConvertHere()) {
        std::fprintf(stderr, "fuzz: a started conversion of format %d failed\n", code);
        std::abort();
    }
    constexpr uint64_t kLinearHeader = 58;  // 40 bytes and an 18-byte fmt chunk
    const uint64_t expected = kLinearHeader + uint64_t(job.FrameCount()) * job.TargetFrameSize();
    if (fs::file_size(target) != expected) {
        std::fprintf(stderr, "fuzz: the target holds %ju bytes, its header announces %ju\n",
                     uintmax_t(fs::file_size(target)), uintmax_t(expected));
        std::abort();
    }
    return 0;
}
