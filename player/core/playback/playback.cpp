// player: playback and the play list; see playback.h.
#include "player/core/playback/playback.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "player/core/audit/audit_trail.h"
#include "player/core/convert/convert_file.h"
#include "player/core/text.h"
#include "player/core/playback/durations.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/playback/round_half_even.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/state_folder.h"

namespace player {

namespace {

namespace fs = std::filesystem;

void Show() {
    if (auto& show = Process().ShowPlayerBlock) show();
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Runs one step of the procedures that must never fail: a failing step is
// skipped and the next one runs.
template <typename Step>
void Attempt(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

// Converts `recording` into ConvertTemp.wav. The temporary file no longer
// holds the loaded recording once it is deleted, so CurrentRecordFile is
// cleared with it: a failed conversion then leaves nothing that a later
// play of that row would take for its sound.
void Convert(const std::string& recording, const std::string& temporary) {
    PlayerProcess& p = Process();
    StopPlay();
    std::error_code ec;
    fs::remove(temporary, ec);
    p.CurrentRecordFile.clear();
    const PrivateCreation privately;  // the converters make ConvertTemp.wav 0600: it may hold a decrypted call
    ConvertFile(recording, temporary);
}

bool Load(const std::string& path, std::int32_t startMilliseconds) {
    PlayerProcess& p = Process();
    const std::string recording = text::Trim(path);
    const std::string temporary = ConvertTempFile();
    if (recording.empty()) return false;
    if (!IsFile(recording)) {
        StopPlay();
        WriteRunLog("!PlayRecordFile The recording [" + recording + "] is missing; nothing is played.");
        return false;
    }
    if (recording != p.CurrentRecordFile || !IsFile(temporary)) {
        if (p.IsConverting) {
            WriteRunLog("!PlayRecordFile a conversion is running already; [" + recording + "] is not played");
            return false;
        }
        Convert(recording, temporary);
        if (p.IsExiting) return false;
    }
    if (!IsFile(temporary)) return false;

    const std::uintmax_t size = fs::file_size(recording);
    p.CurrentRecordFile = recording;
    p.CurrentFileSize = static_cast<std::int32_t>(
        std::min<std::uintmax_t>(size, std::numeric_limits<std::int32_t>::max()));
    p.CurrentPosition = 0;
    p.CurrentDuration = DurationOfSize(recording, size);
    p.CurrentByteRate = ByteRate(recording);
    p.playerBlock.sliderMaximum = p.CurrentDuration;
    p.playerBlock.sliderValue = 0;
    p.IsPlaying = true;
    p.IsPaused = false;
    p.endHold = {};
    p.countedSkips = 0;
    p.Player->mmOpen(temporary);
    p.Player->mmSeek(startMilliseconds < 1 ? 0 : startMilliseconds);
    p.Player->mmPlay();
    Audit("play", AuditRowFor(recording), {}, "started");
    return true;
}

bool HasRows(const platform::sqlstore::Recordset* set) { return set && set->IsOpen() && set->RecordCount() > 0; }

// How long a device may say "playing" without its position moving before
// the held end gives up on it: an output that stalled would hold it forever.
constexpr auto kStalledOutput = std::chrono::seconds(2);

// Whether the device still plays the loaded recording once the count has
// reached its end: the count ends about half a second before the last
// sample (later ticks end it later still), and the last words of a call are
// in that half second.
bool StillSounding() {
    PlayerProcess& p = Process();
    auto& hold = p.endHold;
    if (p.Player->Status() != "playing") return false;
    const auto now = std::chrono::steady_clock::now();
    if (const float at = p.Player->position(); at != hold.devicePosition) {
        hold.devicePosition = at;
        hold.movedAt = now;
        return true;
    }
    return now - hold.movedAt < kStalledOutput;
}

// Plays the loaded recording again from `milliseconds` and counts from
// there. The restart put the slider at 0; it shows the new place at once,
// not only at the next tick.
void RestartAt(std::int32_t milliseconds) {
    PlayerProcess& p = Process();
    Attempt(StopPlay);
    const std::string recording = p.CurrentRecordFile;
    Attempt([&] { PlayRecordFile(recording, milliseconds); });
    p.CurrentPosition = static_cast<float>(milliseconds / 1000.0);
    const auto rounded = static_cast<std::int32_t>(RoundHalfEven(p.CurrentPosition));
    p.playerBlock.sliderValue = rounded;
    p.playerBlock.txtTime = FormatTime(rounded);
}

// A device that skips silence jumps over it: at each jump it reports, the
// count takes the device's position, so it reaches the end with the device.
void FollowSkips() {
    PlayerProcess& p = Process();
    if (!p.Player->SkipSilence()) return;
    const std::int32_t skips = p.Player->Skips();
    if (skips == p.countedSkips) return;
    p.countedSkips = skips;
    p.CurrentPosition = p.Player->position() / 1000;
}

}  // namespace

std::string ConvertTempFile() { return WorkFolder() + "/ConvertTemp.wav"; }

bool PlayRecordFile(const std::string& path, std::int32_t startMilliseconds) {
    bool played = false;
    try {
        played = Load(path, startMilliseconds);
    } catch (const std::exception& e) {
        WriteRunLog("!PlayRecordFile " + Describe(e));
    }
    Show();
    return played;
}

void PlayCurrent() {
    const auto* set = Process().rsResult.get();
    if (!HasRows(set) || set->Bof() || set->Eof()) return;
    std::string name;
    try {
        name = set->Field("FileFullName");
    } catch (const std::exception& e) {
        WriteRunLog("!PlayCurrent " + Describe(e));
        return;
    }
    if (!name.empty()) PlayRecordFile(name, 0);
}

void PlayNext() {
    auto* set = Process().rsResult.get();
    if (!HasRows(set)) return;
    if (!set->Eof()) set->MoveNext();
    if (set->Eof()) set->MoveFirst();
    PlayCurrent();
}

void PlayPrevious() {
    auto* set = Process().rsResult.get();
    if (!HasRows(set)) return;
    if (!set->Bof()) set->MovePrevious();
    if (set->Bof()) set->MoveLast();
    PlayCurrent();
}

void StopPlay() {
    PlayerProcess& p = Process();
    if (!p.IsPlaying) return;
    Attempt([&] { p.Player->mmStop(); });
    Attempt([&] { p.Player->mmClose(); });
    p.IsPlaying = false;
    p.IsPaused = false;
    p.CurrentPosition = 0;
    p.playerBlock.sliderValue = 0;
    Attempt(Show);
}

void PausePlay() {
    PlayerProcess& p = Process();
    if (!p.IsPlaying || p.IsPaused) return;
    p.IsPaused = true;
    Attempt([&] { p.Player->mmPause(); });
    Attempt(Show);
}

void ResumePlay() {
    PlayerProcess& p = Process();
    if (!p.IsPlaying || !p.IsPaused) return;
    p.IsPaused = false;
    Attempt([&] { p.Player->mmPlay(); });
    Attempt(Show);
}

void SeekPlay(std::int32_t seconds) {
    PlayerProcess& p = Process();
    if (!p.IsPlaying) return;
    // A second so far on that its milliseconds pass a 32-bit count is
    // skipped as the overflow it is; the play below is still attempted.
    if (seconds >= 1 && seconds <= p.CurrentDuration && seconds <= std::numeric_limits<std::int32_t>::max() / 1000)
        RestartAt(seconds * 1000);
    if (!p.IsPaused) Attempt([&] { p.Player->mmPlay(); });
    Attempt(Show);
}

void PlayFrom(std::int32_t milliseconds) {
    const PlayerProcess& p = Process();
    if (p.CurrentRecordFile.empty() || milliseconds < 0 || milliseconds / 1000.0 > p.CurrentDuration) return;
    RestartAt(milliseconds);
    Attempt(Show);
}

void SeekBy(std::int32_t seconds) {
    const double target = RoundHalfEven(static_cast<double>(Process().CurrentPosition) + seconds);
    if (target < std::numeric_limits<std::int32_t>::min() || target > std::numeric_limits<std::int32_t>::max()) return;
    SeekPlay(static_cast<std::int32_t>(target));
}

void Tick() {
    PlayerProcess& p = Process();
    if (!p.IsPlaying || p.IsPaused) return;
    auto& block = p.playerBlock;
    block.lblTotalDuration = FormatTime(p.CurrentDuration);
    // CurrentPosition is single precision; each tick adds the double 0.1
    // (at another speed, the speed's share of it: 0.2 at 2x) and rounds
    // back, which fixes where its halves fall for the rounding below.
    p.CurrentPosition = static_cast<float>(static_cast<double>(p.CurrentPosition) + p.Player->Speed() / 10000.0);
    FollowSkips();
    const auto rounded = static_cast<std::int32_t>(RoundHalfEven(p.CurrentPosition));
    if (rounded < block.sliderMaximum) {
        block.sliderValue = rounded;
        block.txtTime = FormatTime(rounded);
        Show();
        return;
    }
    // The counted end: the count stands at the length until the device has
    // played the recording's last sample.
    if (StillSounding()) {
        p.CurrentPosition = std::min(p.CurrentPosition, static_cast<float>(p.CurrentDuration));
        block.sliderValue = block.sliderMaximum;
        block.txtTime = FormatTime(block.sliderMaximum);
        Show();
        return;
    }
    StopPlay();
    if (p.AutoPlayNext) PlayNext();
}

}  // namespace player
