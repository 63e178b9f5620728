// CConvertJob: one conversion of a source recording into a target file of
// another coded format, from the checks at its start to its worker thread.
// The player judges a conversion by the target's existence, so the start
// checks everything before a byte is converted and a conversion that fails
// leaves no target. Result codes, their order and the decisions behind
// them: docs/conversion.md.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <thread>

#include "codec_dll.h"
#include "codec_framework/ref.h"
#include "convert_state.h"
#include "source_file.h"
#include "result_text.h"
#include "target_file.h"

namespace velk {

class CConvertJob {
public:
    // How the worker is started; a failure throws std::system_error, as
    // std::thread does when the system has no thread to give. An empty
    // starter starts none (see ConvertHere).
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;
    static std::thread StartThread(std::function<void()> work) { return std::thread(std::move(work)); }

    // Does every check on the caller's thread, in a fixed order, and stops at
    // the first failure, so that with several faults the earliest step's
    // code is the one reported (Result()): the two codec libraries, the
    // target's factory, encoder, frame size and readiness, the same for the
    // source's decoder, the source file, its header and length, what the
    // target header can announce, a target that is the source itself, the
    // target file, the worker thread. On success the target's header has
    // been written with the full expected length, and the worker runs. A
    // start that fails after the target was created removes the file it
    // created; a target that existed before is left as it is. The factories
    // are released before construction ends, the target's last; the encoder
    // and decoder belong to the worker, which releases them (the decoder
    // first) before it clears the running flag. The job only refers to the
    // shared flags; whoever owns the job owns them.
    CConvertJob(const char* targetLibrary, const char* sourceLibrary, const char* targetPath, const char* sourcePath,
                ConvertState& state, const ThreadStarter& startThread = StartThread);
    // Keeps the two libraries loaded until now: joins the worker, unloads
    // the source library, then the target one, then closes the source.
    virtual ~CConvertJob();
    CConvertJob(const CConvertJob&) = delete;
    CConvertJob& operator=(const CConvertJob&) = delete;

    // Writes the line for `code` (result_text.h) to standard output, naming
    // this job's libraries and paths, and returns the stream.
    virtual std::ostream& DescribeResult(int32_t code);

    // Converts a job prepared without a starter on this thread, frame by
    // frame, at once; true when the target was written whole. A conversion
    // that fails removes its target, as the worker's does. Only for a job
    // whose Result() is kStarted and that has no worker; called once. That
    // is how a batch export uses the library's own frame loop, checks and
    // target handling in a process of its own.
    bool ConvertHere();

    int32_t Result() const { return result_; }
    const JobNames& Names() const { return names_; }
    // The system's error number of a write the target's disk refused (at the
    // start's header or while converting), 0 when none was refused.
    int TargetError() const { return target_.Error(); }
    int32_t FrameCount() const { return frames_; }
    uint32_t SourceHeaderSize() const { return headerSize_; }
    uint32_t SourceFrameSize() const { return sourceFrameSize_; }
    uint32_t TargetFrameSize() const { return targetFrameSize_; }

private:
    int32_t Construct(const ThreadStarter& startThread);
    bool Convert();
    bool Finish(int32_t written);

    JobNames names_;
    SourceFile source_;
    CCodecDLL targetDll_;
    CCodecDLL sourceDll_;
    int32_t result_ = 0;
    ConvertState& state_;
    std::thread worker_;
    TargetFile target_;
    uint64_t firstFrame_ = 0;  // file offset of the first frame converted
    Tessel::Ref<Tessel::ICodecEncoder> encoder_;
    Tessel::Ref<Tessel::ICodecDecoder> decoder_;
    int32_t frames_ = 0;
    uint32_t targetFrameSize_ = 0;
    uint32_t sourceFrameSize_ = 0;
    uint32_t headerSize_ = 0;
    uint32_t targetHeaderSize_ = 0;
    bool gainControl_ = false;
};

}  // namespace velk
