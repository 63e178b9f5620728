// The six interfaces through which the conversion library drives codec
// plug-ins it has never seen: IRoot, IDLL, ICodec, ICodecEncoder,
// ICodecDecoder, ICodecFactory. Host and plug-ins meet only through the
// virtual tables, so the order of the operations declared here IS the
// binary contract (slot numbers in the comments): never reorder, insert or
// remove one. docs/design.md ("The binary contract").
#pragma once

#include <cstdint>

namespace Tessel {

using ModuleHandle = void*;

class IRoot {
public:
    virtual int32_t AddRef() = 0;       // 0: count after the increment
    virtual int32_t Release() = 0;      // 1: count after the decrement, 0 = destroyed
    virtual int32_t GetRefCount() = 0;  // 2
};

// A holder of one loaded library (see dll_helper.h).
class IDLL : public IRoot {
public:
    virtual const char* GetClassName() = 0;           // 3: "TDLLHelper"
    virtual const char* GetFileName() = 0;            // 4: name last given to Load
    virtual ModuleHandle Load(const char* name) = 0;  // 5: null when not loaded
    virtual void Free() = 0;                          // 6
    virtual bool IsLoaded() = 0;                      // 7
    virtual ModuleHandle GetHandle() = 0;             // 8
};

// What every codec object answers. Slots 5-18 give the same values on the
// factory, the encoder and the decoder of one plug-in (they come from the
// plug-in's one kThisCodec, codec_adapter.h). Slot 3 names each object's
// class. Slot 4 is the plug-in's own file name on all three, except in the
// G.729 bridge, whose encoder and decoder answer the name of the outside
// library they load ("AuralWren2.dll").
//
// The header operations (13, 15, 17) take only a pointer to the start of a
// file image and cannot know its length: the caller must hand them an image
// that holds the whole header, i.e. every byte up to and including the
// "data" chunk's id and the 16-byte format block at offset 20. The
// conversion library checks the file's size (Tessel::wav::ImageFits)
// before it calls them.
class ICodec : public IRoot {
public:
    virtual const char* GetClassName() = 0;                        // 3
    virtual const char* GetModuleName() = 0;                       // 4
    virtual int32_t GetCodecType() = 0;                            // 5
    virtual int32_t GetFormatTag() = 0;                            // 6
    virtual const char* GetCodecName() = 0;                        // 7
    virtual int32_t GetBitRate() = 0;                              // 8: bits per second
    virtual int32_t GetFrameDuration() = 0;                        // 9: milliseconds
    virtual int32_t GetCodedFrameSize() = 0;                       // 10: bytes
    virtual int32_t GetPcmFrameSize() = 0;                         // 11: bytes (320)
    virtual int32_t GetFrameSamples() = 0;                         // 12: samples (160)
    virtual int32_t GetFmtChunkSize(const uint8_t* image) = 0;     // 13
    virtual int32_t GetOwnFmtChunkSize() = 0;                      // 14
    virtual int32_t GetHeaderSize(const uint8_t* image) = 0;       // 15
    virtual int32_t GetOwnHeaderSize() = 0;                        // 16
    virtual bool CheckHeader(const uint8_t* image) = 0;            // 17
    // 18: writes this codec's WAV header for dataLength coded bytes and
    // returns its length; 0 for a null buffer or a codec without header.
    virtual int32_t WriteHeader(uint8_t* buffer, uint32_t dataLength) = 0;
};

class ICodecEncoder : public ICodec {
public:
    virtual int32_t Init() = 0;  // 19: 0 ready, -1 cannot work
    // 20: frames x GetPcmFrameSize bytes of PCM into frames x
    // GetCodedFrameSize coded bytes.
    virtual int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) = 0;
};

class ICodecDecoder : public ICodec {
public:
    virtual int32_t Init() = 0;  // 19: 0 ready, -1 cannot work
    // 20: the reverse; flag is handed to the codec unchanged.
    virtual int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t flag) = 0;
};

class ICodecFactory : public ICodec {
public:
    virtual ICodecEncoder* CreateEncoder() = 0;  // 19: count 1, or null
    virtual ICodecDecoder* CreateDecoder() = 0;  // 20: count 1, or null
};

}  // namespace Tessel
