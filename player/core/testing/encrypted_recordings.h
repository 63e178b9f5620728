// player/core/testing: recordings encrypted as a recorder encrypts them.
//
// Tests of decryption, conversion, export and the program's end make
// encrypted recordings through the VelkCodec the player finds (the staged
// program folder's), with the player's own voice mask unless told another.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

namespace player::testing {

inline constexpr const char* kPlayersMask = "pkrvmhaxbqzetwnjcydsoul";

// Encrypts `plain` into `encrypted` (type 0 WAV, 3 NTC) with `mask`.
inline void Encrypt(const std::filesystem::path& plain, std::int32_t type, const std::filesystem::path& encrypted,
                    const std::string& mask = kPlayersMask) {
    platform::dynlib::Library velkcodec(velk::kLibraryName);
    auto setMask = reinterpret_cast<velk::SetVoiceMaskFn>(velkcodec.symbol(velk::kSetVoiceMaskName));
    auto encrypt = reinterpret_cast<velk::CryptFileFn>(velkcodec.symbol(velk::kEncryptFileName));
    ASSERT_TRUE(setMask && encrypt) << "VelkCodec's encryption did not load";
    std::string m = mask, from = plain.string(), to = encrypted.string();
    setMask(m.data());
    ASSERT_EQ(encrypt(from.data(), type, to.data()), 0) << "the recording could not be encrypted";
}

}  // namespace player::testing
