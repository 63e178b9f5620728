// VoiceCvt's readers of recordings: VOC (A-law), VC2 (OKI ADPCM) and VC5
// (Opus frames) decoded towards a WAV. The first byte picks the format, the
// WAV side's coding and a gain; the second where the rest is cut into two
// chunks (at whole units of every format, as the job cuts its reads), so the
// codec state is carried across a chunk as in a long recording. No chunk may
// grow by more than kMaxGrowth, the bound the job sizes its buffer with.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "outside/voicecvt/transcoders.h"

namespace {

constexpr int32_t kTypes[] = {0, 1, 4};
constexpr double kGains[] = {1.0, 0.5, 3.0, 10.0};
constexpr size_t kWholeUnits = 320;  // a multiple of 1, 2, 32 and 320 bytes

bool Convert(voicecvt::Transcoder& t, std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) {
    const size_t before = out.size();
    const bool ok = t.Convert(in, last, out);
    if (out.size() - before > in.size() * voicecvt::kMaxGrowth) {
        std::fprintf(stderr, "fuzz: %zu bytes grew into %zu\n", in.size(), out.size() - before);
        std::abort();
    }
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t type = kTypes[data[0] % 3];
    const auto coding = (data[0] >> 2) & 1 ? voicecvt::WaveCoding::ALaw : voicecvt::WaveCoding::Pcm16;
    const double gain = kGains[(data[0] >> 3) & 3];
    const std::vector<uint8_t> recording(data + 2, data + size);
    const size_t cut = std::min(recording.size(), size_t(data[1] % 8) * kWholeUnits);

    auto transcoder = voicecvt::MakeTranscoder(type, voicecvt::Direction::ToWave, coding, gain);
    if (!transcoder) std::abort();
    std::vector<uint8_t> wave;
    const std::span<const uint8_t> all(recording);
    if (Convert(*transcoder, all.first(cut), cut == recording.size(), wave) && cut < recording.size())
        Convert(*transcoder, all.subspan(cut), true, wave);
    return 0;
}
