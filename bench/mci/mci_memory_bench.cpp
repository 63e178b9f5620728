// Resident memory while the MCI layer plays a ten-hour 8 kHz A-law WAV
// (288 000 000 bytes of samples, a sparse file) under SDL's disk audio
// driver writing to /dev/null with no delay, so a few seconds of wall clock
// stream hours of the recording through the layer.
//
// Counters: resident memory before the open (SDL's audio already started by
// a short file), the peak growth over it sampled every 10 ms while playing
// (goal: within 16 MB), and the minutes of the recording played.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "codec_framework/testing/wav_files.h"
#include "platform/mci/mci.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Header(uint32_t data_bytes) { return Tessel::testing::WavHeader(Tessel::testing::kALawWav, data_bytes); }

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

uint32_t Send(const std::string& command, std::string* reply = nullptr) {
  std::string r;
  uint32_t code = platform::mci::SendString(command, r);
  if (reply) *reply = r;
  return code;
}

void BM_PlayTenHourALaw(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("calldeck-mci-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const uint32_t data_bytes = 10u * 3600 * 8000;
  const fs::path wav = dir / "ten-hours.wav", short_wav = dir / "short.wav";
  std::ofstream(wav, std::ios::binary) << Header(data_bytes);
  fs::resize_file(wav, 44 + uint64_t(data_bytes));
  std::ofstream(short_wav, std::ios::binary) << Header(800) << std::string(800, '\x55');
  const std::string open = "Open \"" + wav.string() + "\" ALIAS \"long\" TYPE Waveaudio";

  if (Send("Open \"" + short_wav.string() + "\" ALIAS \"short\" TYPE Waveaudio") != 0) {
    state.SkipWithError(("no audio output: " + platform::mci::LastAudioProblem()).c_str());
    return;
  }
  Send("Play \"short\" wait"), Send("Close \"short\"");

  long before = 0, peak = 0;
  double played_minutes = 0;
  for (auto _ : state) {
    before = ResidentKiB();
    peak = before;
    if (Send(open) != 0) {
      state.SkipWithError("the ten-hour recording could not be opened");
      break;
    }
    Send("Play \"long\"");
    for (auto end = Clock::now() + std::chrono::seconds(3); Clock::now() < end;) {
      peak = std::max(peak, ResidentKiB());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string position;
    Send("Status \"long\" position", &position);
    Send("Close \"long\"");
    played_minutes = std::stod(position) / 60000.0;
  }
  state.counters["before_MiB"] = double(before) / 1024;
  state.counters["peak_growth_MiB"] = double(peak - before) / 1024;
  state.counters["played_minutes"] = played_minutes;
  fs::remove_all(dir);
}
BENCHMARK(BM_PlayTenHourALaw)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  // The disk driver unless the caller chose an output.
  ::setenv("SDL_AUDIODRIVER", "disk", 0);
  ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
  ::setenv("SDL_DISKAUDIODELAY", "0", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
