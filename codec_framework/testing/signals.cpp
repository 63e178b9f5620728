#include "signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace Tessel::testing {
namespace {

constexpr double kRate = 8000;

// A two-pole resonator at frequency f with bandwidth bw.
struct Resonator {
    double y1 = 0, y2 = 0;
    double Step(double x, double f, double bw) {
        const double r = std::exp(-std::numbers::pi * bw / kRate);
        const double a1 = 2 * r * std::cos(2 * std::numbers::pi * f / kRate), a2 = -r * r;
        const double y = (1 - r) * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

size_t WholeFrames(double seconds) { return size_t(std::lround(seconds * 50)) * 160; }

struct Overlap {
    size_t n;
    int lag;
};
Overlap Common(std::span<const int16_t> ref, std::span<const int16_t> test, int lag) {
    if (lag < 0 || size_t(lag) >= test.size()) return {0, lag};
    return {std::min(ref.size(), test.size() - size_t(lag)), lag};
}

}  // namespace

std::vector<int16_t> SpeechLike(double seconds, uint32_t seed, double peak) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0, 1);
    // Vowel targets (F1, F2, F3), as in a, e, i, o, u.
    const double vowels[5][3] = {{730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010}, {570, 840, 2410}, {300, 870, 2240}};

    const size_t n = WholeFrames(seconds);
    std::vector<double> raw(n);
    Resonator r1, r2, r3;
    double phase = 0, f[3] = {500, 1500, 2500};
    int vowel = 0;
    size_t syllableEnd = 0, pauseEnd = 0;
    double pitchBase = 120, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i >= syllableEnd) {  // next syllable, sometimes after a pause
            const bool pause = uni(rng) < 0.25;
            pauseEnd = i + (pause ? size_t(800 + 1600 * uni(rng)) : 0);
            syllableEnd = pauseEnd + size_t(1200 + 1600 * uni(rng));
            vowel = int(uni(rng) * 5) % 5;
            pitchBase = 100 + 120 * uni(rng);
        }
        for (int k = 0; k < 3; ++k) f[k] += (vowels[vowel][k] - f[k]) * 0.002;  // glide between vowels
        const double t = double(i) / kRate;
        const double pitch = pitchBase * (1 + 0.05 * std::sin(2 * std::numbers::pi * 5 * t));
        phase += pitch / kRate;
        double source = 0;
        if (phase >= 1) {
            phase -= 1;
            source = 1;
        }
        noise = 0.9 * noise + 0.1 * (uni(rng) - 0.5);
        double env = 0;
        if (i >= pauseEnd) {
            const double pos = double(i - pauseEnd) / double(syllableEnd - pauseEnd);
            env = std::sin(std::numbers::pi * pos);
        }
        const double excitation = env * (source + 0.05 * noise);
        raw[i] = r3.Step(r2.Step(r1.Step(excitation, f[0], 90), f[1], 110), f[2], 170);
    }
    double maxAbs = 1e-9;
    for (double v : raw) maxAbs = std::max(maxAbs, std::abs(v));
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = int16_t(std::lround(raw[i] / maxAbs * peak));
    return out;
}

std::vector<int16_t> Chirp(double seconds, double f0, double f1, double amplitude) {
    const size_t n = WholeFrames(seconds);
    std::vector<int16_t> out(n);
    const double total = double(n) / kRate;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double phase = 2 * std::numbers::pi * (f0 * t + (f1 - f0) * t * t / (2 * total));
        out[i] = int16_t(std::lround(amplitude * std::sin(phase)));
    }
    return out;
}

double SnrDb(std::span<const int16_t> ref, std::span<const int16_t> test, int lag) {
    const auto [n, l] = Common(ref, test, lag);
    double signal = 0, noise = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = double(test[i + l]) - ref[i];
        signal += double(ref[i]) * ref[i];
        noise += d * d;
    }
    if (noise == 0) return 200;
    return 10 * std::log10(signal / noise);
}

double SegmentalSnrDb(std::span<const int16_t> ref, std::span<const int16_t> test, int lag, int frame) {
    const auto [n, l] = Common(ref, test, lag);
    double sum = 0;
    int frames = 0;
    for (size_t start = 0; start + size_t(frame) <= n; start += size_t(frame)) {
        double signal = 0, noise = 0;
        for (size_t i = start; i < start + size_t(frame); ++i) {
            const double d = double(test[i + l]) - ref[i];
            signal += double(ref[i]) * ref[i];
            noise += d * d;
        }
        if (signal < double(frame) * 100 * 100) continue;  // silent frame: below about -50 dBFS
        const double snr = noise == 0 ? 35 : 10 * std::log10(signal / noise);
        sum += std::clamp(snr, -10.0, 35.0);
        ++frames;
    }
    return frames ? sum / frames : 0;
}

double Correlation(std::span<const int16_t> ref, std::span<const int16_t> test, int lag) {
    const auto [n, l] = Common(ref, test, lag);
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = ref[i], y = test[i + l];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return (xx > 0 && yy > 0) ? xy / std::sqrt(xx * yy) : 0;
}

int BestLag(std::span<const int16_t> ref, std::span<const int16_t> test, int maxLag) {
    int best = 0;
    double bestCorr = -2;
    for (int lag = 0; lag <= maxLag; ++lag) {
        const double c = Correlation(ref, test, lag);
        if (c > bestCorr) {
            bestCorr = c;
            best = lag;
        }
    }
    return best;
}

}  // namespace Tessel::testing
