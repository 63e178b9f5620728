// recgen: which recordings a sample tree holds, decided before any sound.
//
// The plan is a pure function of the seed: the same seed gives the same
// folders, names, channels, numbers, directions, lengths and formats on
// every machine (the generator is its own, not the standard library's
// distributions, whose results differ between libraries).
//
// The tree looks like a recorder's: one folder per board and day
// (Board1/20240304/...), a supervisor's folder whose name holds an
// apostrophe, and a few files a recorder or a person leaves behind that
// are not recordings the player can index (a log, a name without a
// channel, a date that does not exist, channel 129, too many pieces).
// Recordings use all three name formats, both directions, and the
// containers 16-bit PCM WAV, A-law WAV, raw G.729 (VC8, NTC, VD8, DEC),
// VoiceCvt's VOC, VC2 and VC5, and encrypted A-law WAV and G.729 NTC
// recordings ("...E.WAV", "...E.NTC"; the recorder marks those only in its
// first name format, where the mark stands before the extension).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace recgen {

// splitmix64: small, fast, and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in [low, high].
    int Between(int low, int high);
    bool Chance(int percent) { return Between(1, 100) <= percent; }

private:
    std::uint64_t state_;
};

enum class Container { PcmWave, AlawWave, G729, Voc, Vc2, Vc5, EncryptedAlawWave, EncryptedG729 };

struct Recording {
    std::string folder;  // relative to the tree's root
    std::string name;
    int channel = 0;
    std::string number;     // what the caller's number is ("" when the name does not carry one)
    std::string direction;  // "in", "out" or "" (the name format does not carry one)
    int seconds = 0;        // length of the sound; 0 for an empty file
    Container container = Container::PcmWave;
    bool indexable = true;  // false for the files the player refuses
};

struct PlanOptions {
    std::uint64_t seed = 1;
    int calls = 240;
    int days = 5;
    int firstYear = 2024, firstMonth = 3, firstDay = 4;
};

std::vector<Recording> MakePlan(const PlanOptions& options);

}  // namespace recgen
