// bench: the codec calls alone of a G.729 recording's conversion into an
// A-law WAV, the floor the conversion benchmarks measure the player's and
// the command's paths against.
//
// Every frame but the first (which the conversion skips) is decoded by the
// G.729 plug-in and encoded by the A-law plug-in, each loaded by name, with
// a fresh decoder and encoder per recording as a conversion makes them.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec_framework/testing/plugin_under_test.h"

namespace bench {

inline void BareG729ToALaw(Tessel::testing::PluginUnderTest& g729, Tessel::testing::PluginUnderTest& alaw,
                           const std::string& coded) {
    auto decoder = g729.Decoder();
    auto encoder = alaw.Encoder();
    decoder->Init();
    encoder->Init();
    std::int16_t pcm[160];
    std::uint8_t out[160];
    for (std::size_t at = 20; at + 20 <= coded.size(); at += 20) {
        decoder->Decode(pcm, reinterpret_cast<const std::uint8_t*>(&coded[at]), 1, 0);
        encoder->Encode(out, pcm, 1);
    }
    benchmark::DoNotOptimize(out);
}

}  // namespace bench
