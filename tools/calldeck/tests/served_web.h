// calldeck serve's tests: the service started on a staged folder, and a
// row's key made as anyone outside the service would make it.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sodium.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "player/core/testing/child_process.h"
#include "player/core/testing/recording_files.h"

namespace calldeck::testing {

// The first 16 hex digits of the BLAKE2b hash of a path, as a row's key ends.
inline std::string PathHash(const std::string& path) {
    unsigned char hash[crypto_generichash_BYTES];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(path.data()), path.size(), nullptr, 0);
    char hex[17];
    sodium_bin2hex(hex, sizeof hex, hash, 8);
    return hex;
}

// A file of the source tree (CALLDECK_SOURCE_DIR), whole.
inline std::string SourceText(const std::string& file) {
    const char* source = std::getenv("CALLDECK_SOURCE_DIR");
    if (!source) throw std::runtime_error("CALLDECK_SOURCE_DIR is not set");
    std::ifstream in(std::filesystem::path(source) / file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) throw std::runtime_error(file + " cannot be read");
    return text;
}

// calldeck serve on 127.0.0.1 and a port the system chooses, its output in
// `outputs`; stopped by SIGTERM at the end, which it must take cleanly.
class RunningServe {
public:
    RunningServe(const std::filesystem::path& outputs, std::vector<std::string> options) : outputs_(outputs) {
        std::filesystem::create_directories(outputs_);
        options.insert(options.begin(), {"serve", "--listen", "127.0.0.1:0"});
        pid_ = player::testing::StartProgram(CALLDECK_PROGRAM, options, outputs_);
        for (int waited = 0; waited < 300 && port_ == 0; ++waited) {
            const std::string out = player::testing::ReadBytes(outputs_ / "program.out");
            if (const auto at = out.find("127.0.0.1:"); at != std::string::npos && out.find('\n') != std::string::npos)
                port_ = std::stoi(out.substr(at + 10));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (port_ == 0)
            ADD_FAILURE() << "calldeck serve did not say where it listens: "
                          << player::testing::ReadBytes(outputs_ / "program.err");
    }
    ~RunningServe() {
        ::kill(pid_, SIGTERM);
        const player::testing::Ran ran = player::testing::FinishProgram(pid_, outputs_);
        EXPECT_EQ(ran.code, 0) << "calldeck serve did not stop cleanly on SIGTERM: " << ran.err;
    }
    RunningServe(const RunningServe&) = delete;
    RunningServe& operator=(const RunningServe&) = delete;

    int Port() const { return port_; }

private:
    std::filesystem::path outputs_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace calldeck::testing
