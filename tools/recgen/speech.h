// recgen: spoken words for the sample recordings, at 8000 samples a second.
//
// Each recording says its channel and number, so a listener can tell which
// row of the grid is playing: "channel twelve, incoming call from 0 7 5 5
// ...". Speech comes from the espeak-ng library; every word is synthesised
// once and kept, and an utterance is put together from the kept words, so
// a tree of hundreds of calls costs a few dozen syntheses. espeak-ng speaks
// at 22 050 samples a second; libsamplerate brings each word down to the
// telephone's 8000.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace recgen {

using Pcm = std::vector<std::int16_t>;
inline constexpr int kRate = 8000;

class SpeechError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Speaker {
public:
    // Throws SpeechError when espeak-ng or its English voice is missing.
    Speaker();
    ~Speaker();
    Speaker(const Speaker&) = delete;
    Speaker& operator=(const Speaker&) = delete;

    // A word or a short phrase, without the silence around it.
    const Pcm& Word(const std::string& text);
    // Words one after another, `gapMs` of silence between them.
    Pcm Say(const std::vector<std::string>& words, int gapMs = 90);

private:
    Pcm Synthesise(const std::string& text);
    int sourceRate_ = 0;
    std::map<std::string, Pcm> words_;
};

// Silence of `ms` milliseconds.
Pcm Silence(int ms);

}  // namespace recgen
