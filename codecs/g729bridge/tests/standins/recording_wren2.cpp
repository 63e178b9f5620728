// A stand-in for the outside library AuralWren2 that codes nothing and
// notes every call: how often each initialisation entry ran, and for each
// block call its entry, pointers and flag. Built once with all four entry
// points and once without the block decoder (WITHOUT_BLOCK_DECODER).
#include "recording_wren2.h"

#include <iterator>

#include "outside/wren2/wren2.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
wren2_standin::Record g_record;

void Note(int32_t entry, const void* in, void* out, int32_t flag) {
    if (g_record.blockCalls < int32_t(std::size(g_record.log))) g_record.log[g_record.blockCalls] = {entry, in, out, flag};
    ++g_record.blockCalls;
}
}  // namespace

STANDIN_EXPORT wren2_standin::Record* Wren2StandInRecord() { return &g_record; }

STANDIN_EXPORT int32_t Wren2Call1(void) { return ++g_record.encoderInits, 0; }
STANDIN_EXPORT int32_t Wren2Call4(void) { return ++g_record.decoderInits, 0; }

STANDIN_EXPORT int32_t Wren2Call3(const int16_t pcm[80], uint8_t out[10]) {
    Note(3, pcm, out, 0);
    return 0;
}

#ifndef WITHOUT_BLOCK_DECODER
STANDIN_EXPORT int32_t Wren2Call7(const uint8_t in[10], int16_t pcm[80], int32_t flag) {
    Note(7, in, pcm, flag);
    return 0;
}
#endif
