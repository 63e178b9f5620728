// player: the state of playback -- the one media player and the media
// control interface it sends to, the loaded recording and the counted
// position, the player block as playback leaves it -- as one part of the
// process state (process_state.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/mci/mci.h"
#include "player/core/playback/media_player.h"

namespace player {

struct PlaybackState {
    // The media control interface every MediaPlayer command goes through:
    // the error code (0 = success) and a status's answer in `reply`. Until
    // the program installs platform::mci::SendString, every command finds
    // no audio output and gets an empty reply.
    MciSender MciSend = [](std::string_view, std::string& reply) {
        reply.clear();
        return platform::mci::kNoAudioOutput;
    };
    // Player: the one media player. IsPlaying: a converted recording is open
    // in it; IsPaused: the position count is held. CurrentRecordFile: the
    // recording whose conversion sits in ConvertTemp.wav ("" at start);
    // CurrentDuration its length in seconds, CurrentFileSize its size,
    // CurrentByteRate its byte rate, CurrentPosition the counted position.
    std::unique_ptr<MediaPlayer> Player = std::make_unique<MediaPlayer>();
    bool IsPlaying = false;
    bool IsPaused = false;
    std::string CurrentRecordFile;
    std::int32_t CurrentDuration = 0;
    std::int32_t CurrentFileSize = 0;
    std::int32_t CurrentByteRate = 0;
    float CurrentPosition = 0;
    // The player block as playback leaves it: sldDuration's maximum and
    // value, txtTime and lblTotalDuration; the window's ShowPlayerBlock
    // (seams.h) draws it. The window keeps AutoPlayNext with its check box.
    struct PlayerBlock {
        std::int32_t sliderMaximum = 0;
        std::int32_t sliderValue = 0;
        std::string txtTime = "00:00:00";
        std::string lblTotalDuration = "00:00:00";
    } playerBlock;
    bool AutoPlayNext = false;
    // Once the count has reached its end while the device still plays the
    // recording's last part: the device's position at the last tick and
    // when it last moved (an output that stalled ends the hold).
    struct EndHold {
        float devicePosition = -1;
        std::chrono::steady_clock::time_point movedAt;
    } endHold;
    // The device's jumps over silence the count has followed (Player's
    // Skips since the open).
    std::int32_t countedSkips = 0;
};

}  // namespace player
