// CConvertJob: construction steps and the worker (see convert_job.h).
#include "convert_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "codec_framework/wav_header.h"
#include "frame_loop.h"
#include "source_layout.h"

namespace velk {
namespace {

using Tessel::ICodecFactory;
using Tessel::Ref;

const char* OrEmpty(const char* s) { return s ? s : ""; }

// Frame sizes the worker's fixed buffers can carry.
bool EncoderFits(ICodecFactory& f) {
    const int32_t coded = f.GetCodedFrameSize(), pcm = f.GetPcmFrameSize();
    return coded > 0 && uint32_t(coded) <= kCodedBufferBytes && pcm > 0 && uint32_t(pcm) <= kPcmBufferBytes;
}
bool DecoderFits(ICodecFactory& f) {
    const int32_t coded = f.GetCodedFrameSize(), pcm = f.GetPcmFrameSize();
    return coded > 0 && uint32_t(coded) <= SourceFile::kHeadBytes && pcm > 0 && uint32_t(pcm) <= kPcmBufferBytes;
}

// True when `path` names the file `source` has open (the same path, a hard
// link, a symbolic link to it).
bool NamesTheSource(const std::string& path, const SourceFile& source) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == source.Device() && st.st_ino == source.Inode();
}

}  // namespace

CConvertJob::CConvertJob(const char* targetLibrary, const char* sourceLibrary, const char* targetPath,
                         const char* sourcePath, ConvertState& state, const ThreadStarter& startThread)
    : names_{OrEmpty(targetLibrary), OrEmpty(sourceLibrary), OrEmpty(targetPath), OrEmpty(sourcePath)},
      state_(state) {
    source_.Open(names_.sourcePath);
    targetDll_.Load(names_.targetLibrary.c_str());
    sourceDll_.Load(names_.sourceLibrary.c_str());
    result_ = Construct(startThread);
    if (result_ != kStarted) {
        encoder_.reset();
        decoder_.reset();
    }
}

int32_t CConvertJob::Construct(const ThreadStarter& startThread) {
    if (!targetDll_.IsLoaded()) return kTargetLibraryNotLoaded;
    if (!sourceDll_.IsLoaded()) return kSourceLibraryNotLoaded;

    // Declared in this order so that leaving releases the source factory
    // first and the target factory last.
    Ref<ICodecFactory> targetFactory(targetDll_.CreateCodecFactory());
    Ref<ICodecFactory> sourceFactory;

    if (!targetFactory) return kNoTargetFactory;
    encoder_.reset(targetFactory->CreateEncoder());
    if (!encoder_) return kNoEncoder;
    if (!EncoderFits(*targetFactory.get())) return kTargetFrameSizeUnsupported;
    targetFrameSize_ = uint32_t(targetFactory->GetCodedFrameSize());
    if (encoder_->Init() != 0) return kEncoderNotReady;

    sourceFactory.reset(sourceDll_.CreateCodecFactory());
    if (!sourceFactory) return kNoSourceFactory;
    decoder_.reset(sourceFactory->CreateDecoder());
    if (!decoder_) return kNoDecoder;
    if (!DecoderFits(*sourceFactory.get())) return kSourceFrameSizeUnsupported;
    sourceFrameSize_ = uint32_t(sourceFactory->GetCodedFrameSize());
    if (decoder_->Init() != 0) return kDecoderNotReady;

    if (!source_.IsOpen()) return kSourceNotOpened;

    SourceLayout layout;
    if (int32_t code = MeasureSource(*sourceFactory.get(), source_.Head(), source_.HeadSize(), source_.Size(),
                                     sourceFrameSize_, layout);
        code != kStarted)
        return code;
    // The target header announces targetFrameSize x N bytes in 32-bit
    // fields (and the RIFF length adds the header to it).
    const uint64_t dataLength = uint64_t(targetFrameSize_) * layout.frames;
    if (layout.frames > uint32_t(INT32_MAX) || dataLength > UINT32_MAX - Tessel::wav::kMaxHeaderSize)
        return kTargetTooLarge;
    frames_ = int32_t(layout.frames);
    headerSize_ = layout.headerSize;
    gainControl_ = layout.gainControl;

    if (NamesTheSource(names_.targetPath, source_)) return kTargetIsSource;
    if (!target_.Open(names_.targetPath)) return kTargetNotCreated;
    uint8_t header[Tessel::wav::kMaxHeaderSize] = {};
    const int32_t headerLength = targetFactory->WriteHeader(header, uint32_t(dataLength));
    targetHeaderSize_ = uint32_t(std::clamp<int32_t>(headerLength, 0, sizeof header));
    target_.Write(header, targetHeaderSize_);
    target_.Flush();
    if (target_.Failed()) {  // a full disk already
        if (target_.Created())
            target_.Abandon();
        else
            target_.Close();
        return kTargetNotCreated;
    }
    firstFrame_ = uint64_t(headerSize_) + sourceFrameSize_;  // header and first frame skipped
    source_.Seek(firstFrame_);
    if (!startThread) return kStarted;  // prepared only: ConvertHere runs it

    // The flags are set before the worker exists, so that it can never
    // find them stale; a worker that cannot be made leaves them cleared.
    state_.stopRequest.store(0);
    state_.running.store(1);
    try {
        worker_ = startThread([this] { Convert(); });
    } catch (...) {
        state_.EndRunning();
        target_.Close();
        if (target_.Created()) {
            std::error_code ignored;
            std::filesystem::remove(names_.targetPath, ignored);
        }
        return kNoWorkerThread;
    }
    return kStarted;
}

bool CConvertJob::ConvertHere() {
    if (result_ != kStarted || worker_.joinable() || !encoder_) return false;
    state_.stopRequest.store(0);
    state_.running.store(1);
    return Convert();
}

// The frames, then the target's end: the worker's whole work, from its first
// frame on at once. Clearing the running flag is the last thing it does;
// from then on the job may be destroyed, so nothing here touches it after.
bool CConvertJob::Convert() {
    FramePipeline p;
    p.decoder = decoder_.get();
    p.encoder = encoder_.get();
    p.source = &source_;
    p.target = &target_;
    p.frames = frames_;
    p.sourceFrameSize = sourceFrameSize_;
    p.targetFrameSize = targetFrameSize_;
    p.gainControl = gainControl_;
    const FramesDone done = RunFrames(p, state_.progress, state_.stopRequest);
    const bool written = !done.failed && Finish(done.written);
    if (!written) target_.Abandon();
    decoder_.reset();
    encoder_.reset();
    if (!written) state_.progress.store(100);  // the caller stops waiting and finds no target
    state_.stopRequest.store(0);
    state_.EndRunning();
    return written;
}

// Ends the target after the last frame written; after a stop its header
// announces what is there instead of the whole conversion.
bool CConvertJob::Finish(int32_t written) {
    const uint64_t dataLength = uint64_t(targetFrameSize_) * uint32_t(written);
    uint8_t header[Tessel::wav::kMaxHeaderSize] = {};
    int32_t headerLength = 0;
    if (written != frames_ && targetHeaderSize_ > 0) {
        headerLength = encoder_->WriteHeader(header, uint32_t(dataLength));
        if (headerLength != int32_t(targetHeaderSize_)) headerLength = 0;  // a header of another size cannot replace it
    }
    return target_.Finish(headerLength > 0 ? header : nullptr, size_t(headerLength), targetHeaderSize_ + dataLength);
}

CConvertJob::~CConvertJob() {
    if (worker_.joinable()) {
        // Only a job torn down against the protocol (the process ending
        // mid-conversion) still has a running worker: ask it to stop.
        if (state_.running.load()) state_.stopRequest.store(1);
        worker_.join();
    }
}

std::ostream& CConvertJob::DescribeResult(int32_t code) { return WriteResultLine(std::cout, code, names_); }

}  // namespace velk
