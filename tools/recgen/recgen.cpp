// recgen: writes a tree of sample recordings for trying the player.
//
//   recgen [--seed N] [--calls N] [--days N] [--first-day YYYY-MM-DD] OUT
//
// A few hundred calls (240 by default) over several days (5, from
// 2024-03-04) and 32 channels on two boards, in the recorder's three name
// formats, both directions, written as 16-bit PCM WAV, A-law WAV and raw
// G.729 (VC8, NTC, VD8, DEC), plus a handful of files the player must
// refuse and a folder whose name holds an apostrophe (call_plan.h). Every
// recording says its channel and number (speech.h), encoded through the
// system's own codec plug-ins loaded by name (codec_writer.h). The same
// seed gives the same tree, byte for byte.
//
// OUT must not exist yet (or be empty). The tree is written beside it and
// renamed into place at the end, so an interrupted run leaves no half
// tree; a plug-in missing from the program folder ends the run before
// anything is written, naming the plug-in.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "call_plan.h"
#include "codec_writer.h"
#include "outside_writer.h"
#include "player/core/convert/recording_format.h"
#include "speech.h"

namespace fs = std::filesystem;
using namespace recgen;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: recgen [--seed N] [--calls N] [--days N] [--first-day YYYY-MM-DD] OUT\n"
                 "  Writes sample call recordings into the new folder OUT.\n");
    return 2;
}

std::optional<long> Number(const char* text, long low, long high) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return std::nullopt;
    return v;
}

// What the call says: its channel, then its direction and number.
std::vector<std::string> Words(const Recording& call) {
    std::vector<std::string> words{"channel", std::to_string(call.channel)};
    if (call.number.empty()) {
        words.push_back("number unknown");
        return words;
    }
    words.push_back(call.direction == "in" ? "incoming call from" : call.direction == "out" ? "outgoing call to" : "call from");
    for (char digit : call.number) words.emplace_back(1, digit);
    return words;
}

// The announcement of one call, to be said over and over for the call's
// length: a pause, the channel, the direction and number, a pause, on a
// faint line noise.
Pcm Announcement(Speaker& speaker, const Recording& call, Random& noise) {
    const std::vector<std::string> words = Words(call);
    Pcm once = Silence(700);
    for (const Pcm& part : {speaker.Say({words[0], words[1]}), Silence(280),
                            speaker.Say({words.begin() + 2, words.end()}, 70), Silence(700)})
        once.insert(once.end(), part.begin(), part.end());
    for (std::int16_t& sample : once) {
        const int s = static_cast<int>(sample * 0.7) + noise.Between(-24, 24);
        sample = static_cast<std::int16_t>(std::clamp(s, -32768, 32767));
    }
    return once;
}

struct Writers {
    CodecWriter linear{"AuralCodecLinear.dll"};
    CodecWriter alaw{"AuralCodecG711a.dll"};
    CodecWriter g729{"AuralCodecWren2.dll"};
    VoiceWriter voice;
    Encryptor encryptor;
};

// What was written: the recordings the player indexes, by container, and
// the files it refuses.
struct Counts {
    int pcm = 0, alaw = 0, g729 = 0, voc = 0, vc2 = 0, vc5 = 0, encrypted = 0, empty = 0, refused = 0;
    std::uintmax_t bytes = 0;
    int Recordings() const { return pcm + alaw + g729 + voc + vc2 + vc5 + encrypted + empty; }
};

// The call written plain to a scratch file beside its place, then made into
// the recording by an outside library, and the scratch file removed.
template <class Make>
void ThroughScratch(const fs::path& path, const char* scratchExtension, Make&& make) {
    const fs::path scratch = path.string() + scratchExtension;
    try {
        make(scratch);
    } catch (...) {
        std::error_code ec;
        fs::remove(scratch, ec);
        throw;
    }
    fs::remove(scratch);
}

void WriteOne(const fs::path& root, const Recording& call, Speaker& speaker, Writers& writers, Counts& counts,
              Random& noise) {
    const fs::path folder = root / call.folder;
    fs::create_directories(folder);
    const fs::path path = folder / call.name;
    const std::string extension = call.name.substr(call.name.size() - 3);
    int* kind = &counts.refused;
    if (extension == "log") {
        std::ofstream(path) << "recorder started\r\nboard 1: 16 channels\r\nboard 2: 16 channels\r\n";
    } else if (call.seconds == 0) {
        std::ofstream(path, std::ios::binary);
        kind = &counts.empty;
    } else {
        const Pcm once = Announcement(speaker, call, noise);
        const std::size_t samples = static_cast<std::size_t>(call.seconds) * kRate;
        switch (call.container) {
        case Container::Voc:
        case Container::Vc2:
        case Container::Vc5: {
            const std::int32_t type = player::FindRecordingFormat(extension)->converterType;
            ThroughScratch(path, ".pcm.wav", [&](const fs::path& wav) {
                writers.linear.Write(wav, once, samples, true);
                writers.voice.Write(wav, path, type);
            });
            kind = call.container == Container::Voc ? &counts.voc : call.container == Container::Vc2 ? &counts.vc2
                                                                                                    : &counts.vc5;
            break;
        }
        case Container::EncryptedAlawWave:
        case Container::EncryptedG729: {
            const bool wave = call.container == Container::EncryptedAlawWave;
            ThroughScratch(path, ".plain", [&](const fs::path& plain) {
                (wave ? writers.alaw : writers.g729).Write(plain, once, samples, wave);
                writers.encryptor.Write(plain, path, *player::FindRecordingFormat(extension)->cryptType);
            });
            kind = &counts.encrypted;
            break;
        }
        case Container::G729:
            writers.g729.Write(path, once, samples, false);
            kind = &counts.g729;
            break;
        case Container::AlawWave:
            writers.alaw.Write(path, once, samples, true);
            kind = &counts.alaw;
            break;
        case Container::PcmWave:
            writers.linear.Write(path, once, samples, true);
            kind = &counts.pcm;
            break;
        }
    }
    ++*(call.indexable ? kind : &counts.refused);
    counts.bytes += fs::file_size(path);
}

}  // namespace

int main(int argc, char** argv) {
    PlanOptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!std::strcmp(a, "--seed") && v) {
            auto n = Number(v, 0, 2147483647);
            if (!n) return Usage();
            options.seed = static_cast<std::uint64_t>(*n), ++i;
        } else if (!std::strcmp(a, "--calls") && v) {
            auto n = Number(v, 1, 100000);
            if (!n) return Usage();
            options.calls = static_cast<int>(*n), ++i;
        } else if (!std::strcmp(a, "--days") && v) {
            auto n = Number(v, 1, 366);
            if (!n) return Usage();
            options.days = static_cast<int>(*n), ++i;
        } else if (!std::strcmp(a, "--first-day") && v) {
            if (std::sscanf(v, "%4d-%2d-%2d", &options.firstYear, &options.firstMonth, &options.firstDay) != 3 ||
                options.firstYear < 2000 || options.firstYear > 2099 || options.firstMonth < 1 ||
                options.firstMonth > 12 || options.firstDay < 1 || options.firstDay > 28)
                return Usage();
            ++i;
        } else if (a[0] == '-' || !out.empty()) {
            return Usage();
        } else {
            out = a;
        }
    }
    if (out.empty()) return Usage();

    const fs::path target(out);
    std::error_code ec;
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec))) {
        std::fprintf(stderr, "recgen: %s already exists and is not empty; give a new folder\n", out.c_str());
        return 1;
    }
    const fs::path partial = target.string() + ".part";
    try {
        fs::remove_all(partial);
        fs::create_directories(partial);
        Speaker speaker;
        Writers writers;
        Counts counts;
        Random noise(options.seed ^ 0x5EED);
        for (const Recording& call : MakePlan(options)) WriteOne(partial, call, speaker, writers, counts, noise);
        fs::remove(target, ec);  // an empty folder
        fs::rename(partial, target);
        std::printf("recgen: %d recordings (%d PCM WAV, %d A-law WAV, %d G.729, %d VOC, %d VC2, %d VC5, %d "
                    "encrypted, %d empty) and %d files the player refuses, %.1f MB, in %s\n",
                    counts.Recordings(), counts.pcm, counts.alaw, counts.g729, counts.voc, counts.vc2, counts.vc5,
                    counts.encrypted, counts.empty, counts.refused, static_cast<double>(counts.bytes) / 1e6,
                    out.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "recgen: %s\n", e.what());
        fs::remove_all(partial, ec);
        return 1;
    }
}
