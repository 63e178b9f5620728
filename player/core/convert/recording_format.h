// player: the recording formats, one row each: which converter makes the
// extension into a WAV file, its bytes a second, whether a recording's name
// may end in it, and whether (with which type code) it may be encrypted.
// It lives beside ConvertFile because routing is what most rows are for;
// durations, the name parser, calldeck export and recgen read the same rows,
// so a new format is one row here. Header-only: the fuzz build compiles the
// name parser and durations without the rest of the player.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "converter/crypt_result.h"
#include "outside/voicecvt/voicecvt_api.h"

namespace player {

enum class Converter { Copy, VelkCodec, VoiceCvt };

// VelkCodec's format codes of what the player converts from and to.
inline constexpr std::int32_t kG729Code = 3;  // the recorder's raw G.729 frames
inline constexpr std::int32_t kALawCode = 0;  // the A-law WAV the player plays and exports

struct RecordingFormat {
    std::string_view extension;  // three upper-case letters
    Converter converter;
    std::int32_t converterType;  // VelkCodec's source format code, VoiceCvt's type; 0 for a copy
    std::int32_t byteRate;       // bytes a second; a WAV file's own header rate goes first
    bool nameMayCarry;           // a recording's name may end in it
    std::optional<std::int32_t> cryptType;  // cvt_DecryptFile's type code; none: never encrypted
};

inline constexpr std::array kRecordingFormats{
    RecordingFormat{"VOC", Converter::VoiceCvt, voicecvt::kTypeVoc, 8000, true, std::nullopt},
    RecordingFormat{"VC2", Converter::VoiceCvt, voicecvt::kTypeVc2, 4000, true, std::nullopt},
    RecordingFormat{"VC5", Converter::VoiceCvt, voicecvt::kTypeVc5, 1600, true, std::nullopt},
    RecordingFormat{"VC8", Converter::VelkCodec, kG729Code, 1000, true, std::nullopt},
    RecordingFormat{"NTC", Converter::VelkCodec, kG729Code, 1000, true, velk::kCryptTypeNtc},
    RecordingFormat{"VD8", Converter::VelkCodec, kG729Code, 1000, true, std::nullopt},
    RecordingFormat{"DEC", Converter::VelkCodec, kG729Code, 1000, true, std::nullopt},
    RecordingFormat{"WAV", Converter::Copy, 0, 8000, true, velk::kCryptTypeWav},
};

// The row of an extension, in any letter case ("vc8"); nullptr for none.
constexpr const RecordingFormat* FindRecordingFormat(std::string_view extension) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (const RecordingFormat& f : kRecordingFormats) {
        if (extension.size() != f.extension.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < extension.size(); ++i) same = same && upper(extension[i]) == f.extension[i];
        if (same) return &f;
    }
    return nullptr;
}

// The row of a path's last three characters (all of a shorter one).
constexpr const RecordingFormat* RecordingFormatOf(std::string_view path) {
    return FindRecordingFormat(path.substr(path.size() < 3 ? 0 : path.size() - 3));
}

static_assert([] {
    for (std::size_t i = 0; i < kRecordingFormats.size(); ++i) {
        const RecordingFormat& f = kRecordingFormats[i];
        if (f.extension.size() != 3 || FindRecordingFormat(f.extension) != &f) return false;  // unique, upper case
        if (f.byteRate < 1) return false;
    }
    return true;
}(), "every recording format has its own three upper-case letters and a byte rate");

}  // namespace player
