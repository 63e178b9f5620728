// player: playback of the selected recording, and the play list.
//
// A recording is never played in its own format. PlayRecordFile converts
// it (ConvertFile) into the one temporary WAV file, ConvertTempFile, and
// plays that through the process's MediaPlayer, Player. Selecting the
// recording that is loaded already reopens the WAV without converting
// again. The play list is the result set rsResult itself: PlayNext and
// PlayPrevious move its current row (the grid follows) and wrap around at
// both ends.
//
// The position is not asked from the player: Tick, which the window's
// 100 ms timer Timer1 calls (tests call it directly), counts it in tenths
// of a second, rounds it halves-to-even for the slider and txtTime, and
// ends the recording when the rounded count reaches CurrentDuration, the
// length computed from the recording file's size and byte rate. That is
// about half a second before the computed length, so the count then stands
// at the length while the device still says "playing" (and its position
// moves): the device is closed only after the last sample has sounded, and
// with AutoPlayNext the next row then starts. Without audio output the
// count runs all the same.
//
// Everything lives in the process state (process_state.h): IsPlaying,
// IsPaused, CurrentRecordFile, CurrentDuration, CurrentFileSize,
// CurrentByteRate, CurrentPosition, and the player block's slider and
// texts, which ShowPlayerBlock draws after every change.
//
// A selected row whose recording file is gone is never played, not even
// from a ConvertTemp.wav an earlier recording left: the run log (and with
// it the status bar) says "!PlayRecordFile The recording [path] is
// missing; nothing is played.", and what was playing stops. While a
// conversion runs (its wait lets clicks and ticks through) a request that
// needs another conversion is refused and logged, and ConvertTemp.wav is
// left alone: the conversion on the stack is writing it.
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

// Timer1, every 100 ms: nothing unless playing and not paused; otherwise
// the count goes on a tenth of a second, or the recording ends.
void Tick();

}  // namespace player
