// Test signals and measures for codec tests and benchmarks.
//
// Codecs for telephone speech are judged on speech, not on tones: a
// waveform coder that mangles nibble order or clamps wrongly can still pass
// a sine. SpeechLike makes a deterministic voice-like signal -- a glottal
// pulse train with wandering pitch through three moving formant resonators,
// in syllables with pauses -- and the measures compare a codec's output with
// its input, allowing for a codec delay.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace Tessel::testing {

// Voice-like audio at 8000 samples per second, whole 20 ms frames, peaking
// near `peak`. The same seed gives the same samples.
std::vector<int16_t> SpeechLike(double seconds, uint32_t seed = 1, double peak = 12000);
// A linear sweep from f0 to f1 hertz at constant amplitude.
std::vector<int16_t> Chirp(double seconds, double f0, double f1, double amplitude);

// Signal-to-noise ratio of `test` against `ref` over their common length, in
// dB (test shifted left by `lag` samples: test[i + lag] against ref[i]).
double SnrDb(std::span<const int16_t> ref, std::span<const int16_t> test, int lag = 0);
// Mean of per-frame SNRs over frames whose reference is not silent, each
// clamped to [-10, 35] dB as is usual for speech coders.
double SegmentalSnrDb(std::span<const int16_t> ref, std::span<const int16_t> test, int lag = 0,
                      int frame = 160);
// Normalised cross-correlation of ref[i] with test[i + lag].
double Correlation(std::span<const int16_t> ref, std::span<const int16_t> test, int lag);
// The lag in [0, maxLag] with the highest correlation: a codec's delay.
int BestLag(std::span<const int16_t> ref, std::span<const int16_t> test, int maxLag);

}  // namespace Tessel::testing
