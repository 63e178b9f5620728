// What the MCI tests share: WAV files written on the spot, SDL's disk audio
// driver pointed at a file of the test's own, and a short way to send.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec_framework/testing/wav_files.h"
#include "platform/mci/mci.h"

namespace mci_testing {

namespace fs = std::filesystem;

inline void Put16(std::string& s, uint32_t v) { s += char(v & 0xFF), s += char((v >> 8) & 0xFF); }
inline void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

// The 44-byte header of a WAV file with one "fmt " and one "data" chunk.
inline std::string WavHeader(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t data_bytes) {
    return Tessel::testing::WavHeader({.tag = tag, .channels = channels, .rate = rate, .bits = bits}, data_bytes);
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline uint32_t Send(const std::string& command, std::string* reply = nullptr) {
    std::string r;
    uint32_t code = platform::mci::SendString(command, r);
    if (reply) *reply = r;
    return code;
}

inline std::string Status(const std::string& alias, const std::string& item) {
    std::string reply;
    uint32_t code = Send("Status \"" + alias + "\" " + item, &reply);
    EXPECT_EQ(code, platform::mci::kOk) << "the device under " << alias << " did not answer its " << item;
    return reply;
}

inline std::string OpenCommand(const fs::path& path, const std::string& alias, const std::string& type = "Waveaudio") {
    return "Open \"" + path.string() + "\" ALIAS \"" + alias + "\" TYPE " + type;
}

// A folder of the test's own, and SDL's disk driver writing what reaches the
// "device" to a file in it, a buffer (1024 frames) every 20 ms.
class MciTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "calldeck-mci-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
        device_file_ = dir_ / "device.raw";
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", device_file_.c_str(), 1);
        ::setenv("SDL_DISKAUDIODELAY", "20", 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path dir_, device_file_;
};

}  // namespace mci_testing
