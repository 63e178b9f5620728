// Spoken words at 8 kHz: see speech.h.
#include "speech.h"

#include <espeak-ng/speak_lib.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace recgen {
namespace {

Pcm* g_collecting = nullptr;  // the synthesis callback's destination

int Collect(short* samples, int count, espeak_EVENT*) {
    if (samples && count > 0 && g_collecting) g_collecting->insert(g_collecting->end(), samples, samples + count);
    return 0;
}

// Drops what lies below the noise floor at both ends.
Pcm Trimmed(const Pcm& pcm) {
    constexpr int kFloor = 300;
    auto loud = [](std::int16_t s) { return std::abs(static_cast<int>(s)) > kFloor; };
    auto first = std::find_if(pcm.begin(), pcm.end(), loud);
    auto last = std::find_if(pcm.rbegin(), pcm.rend(), loud).base();
    return first < last ? Pcm(first, last) : Pcm{};
}

}  // namespace

Speaker::Speaker() {
    sourceRate_ = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (sourceRate_ <= 0) throw SpeechError("espeak-ng cannot start (is espeak-ng-data installed?)");
    espeak_SetSynthCallback(Collect);
    if (espeak_SetVoiceByName("en") != EE_OK) throw SpeechError("espeak-ng has no English voice");
    espeak_SetParameter(espeakRATE, 165, 0);
    espeak_SetParameter(espeakPITCH, 45, 0);
}

Speaker::~Speaker() { espeak_Terminate(); }

Pcm Speaker::Synthesise(const std::string& text) {
    Pcm raw;
    g_collecting = &raw;
    const espeak_ERROR rc =
        espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Synchronize();
    g_collecting = nullptr;
    if (rc != EE_OK) throw SpeechError("espeak-ng cannot say \"" + text + "\"");

    std::vector<float> in(raw.size()), out(raw.size() * kRate / static_cast<std::size_t>(sourceRate_) + 64);
    src_short_to_float_array(raw.data(), in.data(), static_cast<int>(raw.size()));
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = static_cast<double>(kRate) / sourceRate_;
    if (int err = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1))
        throw SpeechError(std::string("cannot resample speech: ") + src_strerror(err));
    Pcm pcm(static_cast<std::size_t>(data.output_frames_gen));
    src_float_to_short_array(out.data(), pcm.data(), static_cast<int>(pcm.size()));
    return Trimmed(pcm);
}

const Pcm& Speaker::Word(const std::string& text) {
    auto it = words_.find(text);
    if (it == words_.end()) it = words_.emplace(text, Synthesise(text)).first;
    return it->second;
}

Pcm Speaker::Say(const std::vector<std::string>& words, int gapMs) {
    Pcm out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i) {
            const Pcm gap = Silence(gapMs);
            out.insert(out.end(), gap.begin(), gap.end());
        }
        const Pcm& w = Word(words[i]);
        out.insert(out.end(), w.begin(), w.end());
    }
    return out;
}

Pcm Silence(int ms) { return Pcm(static_cast<std::size_t>(ms) * kRate / 1000, 0); }

}  // namespace recgen
