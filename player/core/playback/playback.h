// player: playback of the selected recording, and the play list (rsResult
// itself). A recording is converted into the one temporary WAV file and
// played through the process's MediaPlayer; the position is counted by
// Tick, not asked from the device, so the whole state machine runs without
// a window or a clock. Its state (IsPlaying, CurrentPosition, the player
// block, ...) lives in the process state. docs/playback.md.
#pragma once

#include <cstdint>
#include <string>

namespace player {

// Program folder + "/ConvertTemp.wav".
std::string ConvertTempFile();

// Makes `path` the loaded recording (converting it when it is not loaded
// already) and plays it from `startMilliseconds` (below 1: from 0). True
// when the temporary WAV exists and was handed to the player.
bool PlayRecordFile(const std::string& path, std::int32_t startMilliseconds);
// The current row of rsResult, its next row (after the last: the first),
// its previous row (before the first: the last). An empty or closed result
// does nothing.
void PlayCurrent();
void PlayNext();
void PlayPrevious();

// Stops and unloads the current recording; CurrentRecordFile and
// ConvertTemp.wav stay. These four are safe to call at any time: every
// step is attempted, and no error leaves them.
void StopPlay();
void PausePlay();
void ResumePlay();
// Restarts the loaded recording at `seconds` when 1 <= seconds <=
// CurrentDuration; then, unless paused, tells the player to play (so 0 or a
// second past the end only resumes).
void SeekPlay(std::int32_t seconds);
// cmdForeward and cmdBackward: SeekPlay of the position 10 seconds on or
// back, rounded halves-to-even.
void SeekBy(std::int32_t seconds);
// The waveform strip's click and the keys Home and End: plays the loaded
// recording from `milliseconds` when that lies in 0 ... CurrentDuration
// seconds, and counts from there (the count then holds a fraction of a
// second), whether it was playing, paused or stopped. Otherwise, or with
// nothing loaded, nothing changes.
void PlayFrom(std::int32_t milliseconds);

// Timer1, every 100 ms: nothing unless playing and not paused; otherwise
// the count goes on a tenth of a second times the player's speed (and
// follows the device's jumps over silence), or the recording ends. The end
// comes when the count, rounded halves-to-even, reaches CurrentDuration
// (the length from the file's size and byte rate), about half a second
// early: the count then stands while the device plays its last samples,
// and the device is closed (and AutoPlayNext starts the next row) only
// after the last one has sounded.
void Tick();

}  // namespace player
