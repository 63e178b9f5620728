// player: MediaPlayer, one media device driven by command strings.
//
// It opens a file under an alias (the path itself), plays, pauses, stops,
// seeks and reports length, position and mode in milliseconds. Every
// command goes through the sender it was made with -- by default the
// process's MciSend (playback_state.h) -- so tests see the exact strings
// and script the replies; error codes are never examined, and a failed
// device only shows as 0 or "" in what the status commands report.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace player {

// How a command reaches the media control interface: the error code
// (0 = success) and a status's answer in `reply`.
using MciSender = std::function<std::uint32_t(std::string_view command, std::string& reply)>;
// The process's MciSend (playback_state.h).
std::uint32_t SendThroughProcess(std::string_view command, std::string& reply);

class MediaPlayer {
public:
    explicit MediaPlayer(MciSender send = SendThroughProcess) : send_(std::move(send)) {}
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;
    ~MediaPlayer();

    // Closes what is open, then opens sTheFile as Waveaudio (.wav),
    // AviVideo (.avi; in window hwnd when it is at least 1) or Sequencer
    // (.mid). A missing file sets the file name to the not-found message;
    // any other extension keeps the name but opens no device.
    void mmOpen(std::string sTheFile, std::optional<std::int32_t> hwnd = std::nullopt);
    void mmClose();
    // Pauses, or plays on when the device is paused already.
    void mmPause();
    // Plays, from the start when the device stands at the end.
    void mmPlay();
    void mmStop();
    void mmSeek(std::int32_t nPosition);
    const std::string& filename() const { return fileName_; }
    void filename(std::string sTheFile) { mmOpen(std::move(sTheFile)); }
    bool Wait() const { return wait_; }
    void Wait(bool bWaitvalue) { wait_ = bWaitvalue; }
    float Length();
    // Seeks to nPosition rounded to the nearest millisecond, halves to
    // even; beyond a 32-bit integer raises Overflow.
    void position(float nPosition);
    float position();
    // The device's mode word ("playing", "paused", "stopped"), "" when none.
    std::string Status();
    void mmRestart();

    // How the device plays, kept by the player and sent again after every
    // open, so the next recording plays as the last one did; a device left
    // as opened (1x, 100 %, no skipping) is not told. Speed and gain in
    // thousandths: speed 500..2000 (1000 as recorded, the pitch kept), gain
    // 0..2000; a value outside is not taken.
    void mmSpeed(std::int32_t thousandths);
    std::int32_t Speed() const { return speed_; }
    void mmVolume(std::int32_t thousandths);
    std::int32_t Volume() const { return volume_; }
    // Jumps over silence longer than a second, a quarter second kept at
    // each edge.
    void mmSkipSilence(bool on);
    bool SkipSilence() const { return skipSilence_; }
    // The jumps over silence the open device has made; 0 when none is open.
    std::int32_t Skips();
    // The open file's largest sample magnitude, 0..32768 (full scale).
    std::int32_t Peak();

private:
    std::uint32_t Send(const std::string& command);
    std::string Ask(const std::string& what);
    std::string Quoted() const;
    void SendSpeed();
    void SendVolume();
    void SendSkipSilence();

    MciSender send_;
    std::string fileName_;
    bool wait_ = false;
    std::string alias_;
    std::int32_t speed_ = 1000;
    std::int32_t volume_ = 1000;
    bool skipSilence_ = false;
};

}  // namespace player
