// _WavHeaderAdapter: the format-independent header operations of ICodec
// (slots 13, 15, 17), shared by every codec, and the virtual destructor of
// the codec line.
//
// The codec's own check (format fields) and the header it writes come one
// layer up, from _CodecAdapter.
#pragma once

#include "interfaces.h"
#include "wav_header.h"

namespace Tessel {

template <class I>
class _WavHeaderAdapter : public I {
public:
    int32_t GetFmtChunkSize(const uint8_t* image) override { return int32_t(wav::FmtChunkSize(image)); }
    int32_t GetHeaderSize(const uint8_t* image) override { return int32_t(wav::HeaderSize(image)); }
    bool CheckHeader(const uint8_t* image) override { return wav::IsRecognised(image); }

    virtual ~_WavHeaderAdapter() = default;
};

}  // namespace Tessel
