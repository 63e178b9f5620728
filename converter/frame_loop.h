// The worker's frame loop: read one source frame, decode it into PCM, even
// out its loudness when the source asked for it, encode it into the target
// format and append it to the target, advancing the shared progress; a
// stop request is honoured after each written frame.
//
// It is the whole of a conversion but the target's end, which the job's
// worker writes after it; the pipeline benchmark times it on its own. Its
// buffers are fixed -- 2048 PCM bytes, and 1024 bytes of room for each
// coded frame, which the encoder writes straight into the target's write
// buffer -- and nothing is allocated per frame; the job has checked the
// codecs' frame sizes against them.
//
// A frame the source no longer holds (the file shrank or was deleted), a
// codec call that answers other than 0, or a write the target refuses ends
// the loop as failed.
#pragma once

#include <atomic>
#include <cstdint>

#include "codec_framework/interfaces.h"
#include "source_file.h"
#include "target_file.h"

namespace velk {

inline constexpr uint32_t kPcmBufferBytes = 2048;
inline constexpr uint32_t kCodedBufferBytes = 1024;

struct FramePipeline {
    Tessel::ICodecDecoder* decoder = nullptr;
    Tessel::ICodecEncoder* encoder = nullptr;
    SourceFile* source = nullptr;     // positioned at the first source frame to convert
    TargetFile* target = nullptr;
    int32_t frames = 0;               // N, at least 1
    uint32_t sourceFrameSize = 0;     // at most SourceFile::kChunkBytes
    uint32_t targetFrameSize = 0;
    bool gainControl = false;
};

struct FramesDone {
    int32_t written = 0;  // frames appended to the target
    bool failed = false;
};

// Converts frames until all N are written, a stop request is seen after a
// frame, or a frame fails. Leaves `progress` at (100 x i) / N, i being N
// after the last frame or, after a stop, the index of the last frame
// written.
FramesDone RunFrames(const FramePipeline& p, std::atomic<int32_t>& progress, const std::atomic<int32_t>& stopRequest);

}  // namespace velk
