// The header of a WAV file a test or a benchmark writes: every byte up to the
// audio, in the layouts they need (a 16- or 18-byte fmt chunk, a fact chunk,
// LIST chunks of any length ahead of fmt or data). Built field by field here,
// not by the codecs' writer that tests check. Header-only, so tests and
// benchmarks of any layer use it without linking more. A test that builds a
// damaged header on purpose still writes its bytes by hand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Tessel::testing {

struct WavLayout {
    uint16_t tag = 1;  // 1 PCM, 6 A-law, 7 µ-law
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint16_t bits = 16;
    bool extraField = false;          // an 18-byte fmt chunk, ending in its extra length 0
    bool fact = false;                // a fact chunk holding the data length
    std::string_view listBeforeFmt{};   // the body of a LIST chunk ahead of "fmt "; none when empty
    std::string_view listBeforeData{};  // the same ahead of "data"
};

// 16-bit PCM, mono, 8 kHz: 16 000 bytes a second, a 44-byte header.
inline constexpr WavLayout kPcmWav{};
// A-law, mono, 8 kHz: 8 000 bytes a second, a 44-byte header.
inline constexpr WavLayout kALawWav{.tag = 6, .bits = 8};
// The 58-byte A-law header the A-law codec writes (fmt of 18 bytes, fact).
inline constexpr WavLayout kCodecALawWav{.tag = 6, .bits = 8, .extraField = true, .fact = true};

// The header of a file whose audio is `dataBytes` long: block align
// channels * (bits / 8), bytes a second rate * align, the RIFF length that of
// the whole file, a LIST chunk of odd length followed by its pad byte.
inline std::string WavHeader(const WavLayout& w, uint32_t dataBytes) {
    std::string h;
    const auto put = [&h](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) h += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const auto list = [&](std::string_view body) {
        if (body.empty()) return;
        h += "LIST", put(static_cast<uint32_t>(body.size()), 4), h += body;
        if (body.size() & 1) h += '\0';
    };
    const uint16_t align = static_cast<uint16_t>(w.channels * (w.bits / 8));
    h += "RIFF", put(0, 4), h += "WAVE";
    list(w.listBeforeFmt);
    h += "fmt ", put(w.extraField ? 18 : 16, 4);
    put(w.tag, 2), put(w.channels, 2), put(w.rate, 4), put(w.rate * align, 4), put(align, 2), put(w.bits, 2);
    if (w.extraField) put(0, 2);
    if (w.fact) h += "fact", put(4, 4), put(dataBytes, 4);
    list(w.listBeforeData);
    h += "data", put(dataBytes, 4);
    const uint32_t riffLength = static_cast<uint32_t>(h.size()) + dataBytes - 8;
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<char>((riffLength >> (8 * i)) & 0xFF);
    return h;
}

}  // namespace Tessel::testing
