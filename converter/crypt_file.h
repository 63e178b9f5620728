// Encrypted recordings: authenticated encryption of a whole recording file
// with libsodium's secretstream (XChaCha20-Poly1305), streamed in 64 KiB
// chunks so that memory stays flat whatever the recording's length.
//
// Nothing is padded: an encrypted recording is its plaintext plus a 40-byte
// header and 17 bytes a chunk, so the player's scan, which takes a
// recording's duration from its file size, finds an encrypted call about as
// long as the plain one. The header holds the plaintext length (8 bytes,
// little-endian) because the final chunk has a size of its own: the length
// tells the reader each chunk's stored size and which chunk is the final
// one, so a cut at or inside any chunk, or an addition after the final one,
// is told from an altered byte. The length is part of the first chunk's
// additional data, so changing it is noticed like any other change.
//
// The target is written under a temporary name in its own folder, synced,
// and renamed over the target only when everything held: a failure never
// leaves plaintext (or a half file) at the target, and an existing target
// stays as it was. Layout, key derivation and codes: docs/encryption.md.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "crypt_result.h"
#include "site_key.h"

namespace velk {

inline constexpr size_t kCryptChunkBytes = 64 * 1024;  // plaintext per chunk
inline constexpr size_t kCryptHeaderBytes = 40;         // magic, version, type, length, stream header

using RecordingKey = std::array<uint8_t, 32>;

// The key of a voice mask: BLAKE2b-256 of the context text and the mask,
// keyed with the site key when `programFolder` holds SiteKey.bin.
// kCryptNoMask for "", kCryptSiteKeyUnreadable for a site key file that
// is not exactly 32 readable bytes, kCryptSiteKeyExposed for one whose mode
// lets others read it (site_key.h).
CryptResult DeriveRecordingKey(std::string_view mask, const std::filesystem::path& programFolder,
                               RecordingKey& key);

// Stream one file into another. `type` must be 0 or 3; the checks of the
// mask and the type code come before (RunCrypt).
CryptResult EncryptRecording(const char* source, int32_t type, const char* target, const RecordingKey& key);
CryptResult DecryptRecording(const char* source, int32_t type, const char* target, const RecordingKey& key);

// What the entry points do: checks the type and the mask, derives the key
// (site key from platform::dynlib::ProgramFolder()), streams the file.
// Never throws.
enum class CryptDirection { kEncrypt, kDecrypt };
CryptResult RunCrypt(CryptDirection direction, const char* source, int32_t type, const char* target,
                     std::string_view mask) noexcept;

}  // namespace velk
