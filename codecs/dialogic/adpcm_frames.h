// The frame routines of the two Dialogic ADPCM variants: one 20 ms frame
// (160 PCM samples at 8000 Hz) against 80 coded bytes at 32 kbit/s or 60 at
// 24 kbit/s. Codes are packed two to a byte, the earlier sample in the high
// nibble. Only the ADPCM state runs on across frames; the routines must
// match the system's converted files byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/dialogic/adpcm.h"

namespace dialogic {

inline constexpr size_t kFrameSamples = 160;
inline constexpr size_t kCodedBytes32k = 80;
inline constexpr size_t kCodedBytes24k = 60;

// 32 kbit/s codes every sample: x = sample >> 4 on the way in, predictor x 16
// on the way out.
void Decode32kFrame(AdpcmState& st, int16_t* pcm, const uint8_t* coded);
void Encode32kFrame(AdpcmState& st, uint8_t* coded, const int16_t* pcm);

// 24 kbit/s codes 6000 values a second and converts to and from 8000 Hz
// inside the frame by linear interpolation, in groups of 8 PCM samples
// against 6 ADPCM values (3 bytes). The encoder samples the input at 1/3,
// 5/3, 3, 13/3, 17/3 and 7 sample intervals into the group; the decoder puts
// each output sample back three quarters of a decoded interval after the
// previous one. Every shift is arithmetic (toward minus infinity) and "/ 3"
// truncates toward zero. The decoder's interpolation starts each frame from
// 0, not from the last value of the previous frame, so the first sample of
// every frame is three quarters of the frame's first decoded value: that is
// the format's decoding as the system's converted files hold it.
void Decode24kFrame(AdpcmState& st, int16_t* pcm, const uint8_t* coded);
void Encode24kFrame(AdpcmState& st, uint8_t* coded, const int16_t* pcm);

}  // namespace dialogic
