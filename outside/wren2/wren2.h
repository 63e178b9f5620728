/* AuralWren2: the outside G.729 codec library, as its callers see it.
 *
 * The G.729 bridge plug-in binds this library by name ("AuralWren2.dll")
 * and looks up its four entry points by name; nothing links against it.
 * This header is the whole contract: the names, the argument order and the
 * block size. One block is 10 ms: 80 signed 16-bit samples at 8000 samples
 * per second against one standard 10-byte G.729 frame.
 *
 * The library holds one encoder channel and one decoder channel, kept
 * apart, so a process can run one encoder and one decoder at once. Each
 * channel is created on first use or by its initialisation entry, which
 * also resets it; both are freed when the library is unloaded.
 *
 * Every entry returns 0, or -1 when it could not do its work (a null
 * pointer, a channel that could not be made); callers may ignore it. */
#ifndef AURAL_WREN2_H
#define AURAL_WREN2_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { kWren2BlockSamples = 80, kWren2BlockBytes = 10 };

/* Wren2Call1: creates or resets the encoder channel (no voice-activity
 * detection, so every block codes into a full 10-byte frame). */
typedef int32_t (*Wren2EncoderInitFn)(void);
/* Wren2Call3: codes one block of 80 samples into 10 bytes. */
typedef int32_t (*Wren2EncodeBlockFn)(const int16_t pcm[80], uint8_t out[10]);
/* Wren2Call4: creates or resets the decoder channel. */
typedef int32_t (*Wren2DecoderInitFn)(void);
/* Wren2Call7: decodes one 10-byte frame into 80 samples. A non-zero flag
 * says the frame was lost: its bytes are not used and the decoder conceals
 * the gap from what it heard before. */
typedef int32_t (*Wren2DecodeBlockFn)(const uint8_t in[10], int16_t pcm[80], int32_t flag);

#define WREN2_ENCODER_INIT_NAME "Wren2Call1"
#define WREN2_ENCODE_BLOCK_NAME "Wren2Call3"
#define WREN2_DECODER_INIT_NAME "Wren2Call4"
#define WREN2_DECODE_BLOCK_NAME "Wren2Call7"

#ifdef __cplusplus
}
#endif

#endif /* AURAL_WREN2_H */
