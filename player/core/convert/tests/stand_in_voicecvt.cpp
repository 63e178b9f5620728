// A stand-in for the outside library VoiceCvt that only says what it was
// asked: each call appends a line to the file named by the environment
// variable STAND_IN_VOICECVT_LOG ("init", "start TYPE GAIN SOURCE TARGET",
// "progress N", "stop"). A start writes the source's bytes to the target
// behind a 4-byte mark ("WAV!"); a source whose name holds "refused" is
// refused with -3. The progress is 50, then 100.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#define STAND_IN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_polls = 0;

void Log(const std::string& line) {
    if (const char* file = std::getenv("STAND_IN_VOICECVT_LOG")) std::ofstream(file, std::ios::app) << line << "\n";
}

}  // namespace

STAND_IN_EXPORT int32_t QZ_InitCvt() {
    Log("init");
    return 0;
}

STAND_IN_EXPORT int32_t QZ_StartCvtToFileWave(const char* source, const char* target, int32_t type, double gain) {
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", gain);
    Log("start " + std::to_string(type) + " " + number + " " + source + " " + target);
    if (std::strstr(source, "refused")) return -3;
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << "WAV!" << in.rdbuf();
    g_polls = 0;
    return 0;
}

STAND_IN_EXPORT int16_t QZ_GetCvtVoiceProcess() {
    const int16_t p = ++g_polls >= 2 ? 100 : 50;
    Log("progress " + std::to_string(p));
    return p;
}

STAND_IN_EXPORT int32_t QZ_StopCvtToFileWave() {
    Log("stop");
    return 0;
}
