// player/core/testing: recordings made and read back by tests.
//
// Tests of conversion, playback, export and the batch commands all write
// small recordings and read back what the player made of them: files read
// and written whole, G.729 calls coded by the project's own G.729 plug-in
// as a recorder writes an NTC file, and A-law samples decoded for a
// comparison with what a device received.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/wav_files.h"

namespace player::testing {

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Writes `bytes` as the whole file, making its folders.
inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// G.729 frames of `pcm` (8 kHz), 20 bytes for each 160 samples.
inline std::string G729Call(const std::vector<std::int16_t>& pcm) {
    Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll");
    auto encoder = g729.Encoder();
    EXPECT_EQ(encoder->Init(), 0) << "the G.729 codec is not ready";
    std::string coded(pcm.size() / 160 * 20, '\0');
    for (std::size_t f = 0; f < pcm.size() / 160; ++f)
        encoder->Encode(reinterpret_cast<std::uint8_t*>(&coded[f * 20]), &pcm[f * 160], 1);
    return coded;
}

// The 44-byte header of an 8 kHz mono A-law WAV with `dataBytes` of samples
// (8000 bytes a second).
inline std::string ALawWavHeader(std::uint32_t dataBytes) {
    return Tessel::testing::WavHeader(Tessel::testing::kALawWav, dataBytes);
}

inline std::int16_t ALawToLinear(std::uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    t = seg == 0 ? t + 8 : seg == 1 ? t + 0x108 : (t + 0x108) << (seg - 1);
    return static_cast<std::int16_t>(a & 0x80 ? t : -t);
}

}  // namespace player::testing
