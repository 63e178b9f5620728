// player: the line an export ends with, in the run log and so in the
// status bar.
//
// "Pickup All" and "Get Wave File" say what they did once they end: how
// many recordings were saved and where ("41 recordings saved to /x"), that
// a batch was cancelled and after how many of its rows ("Cancelled after
// 15 of 41"), and how many failed, whose reasons are the run log's lines
// before it ("2 failed: see the run log"). The parts that apply are joined
// with "; ".
#pragma once

#include <cstdint>
#include <string>

namespace player {

struct ExportTally {
    std::int32_t saved = 0;   // WAV files written
    std::int32_t failed = 0;  // recordings handed to the converter that left no WAV file
    std::string where;        // the folder (or, for one recording, the file) saved to
    bool cancelled = false;   // the batch was stopped before its last row
    std::int32_t done = 0;    // rows handed to the converter before it stopped
    std::int32_t total = 0;   // rows of the list
};

std::string ExportReport(const ExportTally& tally);

}  // namespace player
