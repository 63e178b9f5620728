// player: MediaPlayer over the command strings; see media_player.h.
#include "player/core/playback/media_player.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "player/core/text.h"
#include "player/core/playback/round_half_even.h"
#include "player/core/run_error.h"

namespace player {

namespace {

// A status's answer is read into a buffer of 255 characters: 254 of text
// and the NUL that ends it.
constexpr std::size_t kReplyBuffer = 255;
// The style of a child window, 2 to the power 30.
constexpr std::uint32_t kChildWindowStyle = 1u << 30;

std::string DeviceType(std::string_view file) {
    const std::string extension = text::UCase(text::Right(file, 3));
    if (extension == "WAV") return "Waveaudio";
    if (extension == "AVI") return "AviVideo";
    if (extension == "MID") return "Sequencer";
    return "";
}

bool FileExists(const std::string& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    return std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// The number the leading digits of a reply form; 0 when it starts otherwise.
float LeadingNumber(std::string_view reply) {
    double value = 0;
    for (char c : reply) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
    }
    return static_cast<float>(value);
}

}  // namespace

MediaPlayer::~MediaPlayer() { mmClose(); }

std::string MediaPlayer::Quoted() const { return "\"" + alias_ + "\""; }

std::uint32_t MediaPlayer::Send(const std::string& command) {
    std::string reply;
    return send_(command, reply);
}

std::string MediaPlayer::Ask(const std::string& what) {
    std::string reply;
    send_("Status " + Quoted() + " " + what, reply);
    reply.resize(std::min(reply.find('\0'), std::min(reply.size(), kReplyBuffer - 1)));
    return reply;
}

void MediaPlayer::mmOpen(std::string sTheFile, std::optional<std::int32_t> hwnd) {
    if (!alias_.empty()) mmClose();
    if (!FileExists(sTheFile)) {
        fileName_ = "文件" + sTheFile + " 不存在！";
        return;
    }
    fileName_ = sTheFile;
    alias_ = std::move(sTheFile);
    const std::string type = DeviceType(alias_);
    if (type.empty()) return;
    const std::string opening = "\"" + alias_ + "\" ALIAS " + Quoted() + " TYPE ";
    if (type == "AviVideo" && hwnd && *hwnd >= 1) {
        Send("open " + opening + "AVIVideo parent " + std::to_string(*hwnd) + " style " +
             std::to_string(kChildWindowStyle));
    } else {
        Send("Open " + opening + type);
    }
    Send("set " + Quoted() + " time format milliseconds");
    if (speed_ != 1000) SendSpeed();
    if (volume_ != 1000) SendVolume();
    if (skipSilence_) SendSkipSilence();
}

void MediaPlayer::mmClose() {
    if (alias_.empty()) return;
    Send("Close " + Quoted());
    alias_.clear();
    fileName_.clear();
}

void MediaPlayer::mmPause() {
    if (alias_.empty()) return;
    if (Status() == "paused") {
        mmPlay();
    } else {
        Send("Pause " + Quoted());
    }
}

void MediaPlayer::mmPlay() {
    if (alias_.empty()) return;
    const float length = Length();
    if (length == position()) mmSeek(0);
    Send("Play " + Quoted() + (wait_ ? " wait" : ""));
}

void MediaPlayer::mmStop() {
    if (alias_.empty()) return;
    Send("Stop " + Quoted());
    mmSeek(0);
}

void MediaPlayer::mmSeek(std::int32_t nPosition) { Send("Seek " + Quoted() + " to " + std::to_string(nPosition)); }

float MediaPlayer::Length() { return alias_.empty() ? 0 : LeadingNumber(Ask("length")); }

void MediaPlayer::position(float nPosition) {
    const double rounded = RoundHalfEven(nPosition);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max())) {
        throw RunError::Overflow();
    }
    mmSeek(static_cast<std::int32_t>(rounded));
}

float MediaPlayer::position() { return alias_.empty() ? 0 : LeadingNumber(Ask("position")); }

std::string MediaPlayer::Status() { return alias_.empty() ? "" : Ask("mode"); }

void MediaPlayer::mmRestart() {
    if (alias_.empty()) return;
    mmSeek(0);
    mmPlay();
}

void MediaPlayer::SendSpeed() { Send("set " + Quoted() + " speed " + std::to_string(speed_)); }
void MediaPlayer::SendVolume() { Send("set " + Quoted() + " volume " + std::to_string(volume_)); }
void MediaPlayer::SendSkipSilence() { Send("set " + Quoted() + " skip silence " + (skipSilence_ ? "on" : "off")); }

void MediaPlayer::mmSpeed(std::int32_t thousandths) {
    if (thousandths < 500 || thousandths > 2000) return;
    speed_ = thousandths;
    if (!alias_.empty()) SendSpeed();
}

void MediaPlayer::mmVolume(std::int32_t thousandths) {
    if (thousandths < 0 || thousandths > 2000) return;
    volume_ = thousandths;
    if (!alias_.empty()) SendVolume();
}

void MediaPlayer::mmSkipSilence(bool on) {
    skipSilence_ = on;
    if (!alias_.empty()) SendSkipSilence();
}

std::int32_t MediaPlayer::Skips() { return alias_.empty() ? 0 : static_cast<std::int32_t>(LeadingNumber(Ask("skips"))); }

std::int32_t MediaPlayer::Peak() { return alias_.empty() ? 0 : static_cast<std::int32_t>(LeadingNumber(Ask("peak"))); }

}  // namespace player
