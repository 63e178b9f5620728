// CMappedFile: a whole source recording mapped read-only into memory.
//
// The conversion reads its source through a mapping rather than reads: the
// worker walks a cursor through the file frame by frame with nothing copied
// or allocated per frame. The file is opened for reading only (others may
// read and write it meanwhile), its size taken, the whole of it mapped, and
// the descriptor closed again: the mapping keeps the file open.
//
// The size is held in 32 bits, as the job's frame arithmetic and the WAV
// length fields are. A file that cannot be described in 32 bits (4 GiB or
// more) is refused rather than silently treated as the size's low bits;
// an empty file cannot be mapped at all, and neither can anything that is
// not a regular file. Every failure leaves the view null.
#pragma once

#include <cstdint>
#include <string>

namespace velk {

class CMappedFile {
public:
    CMappedFile() = default;
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;
    ~CMappedFile() { Close(); }

    // Closes any earlier mapping, then maps `path`. True when mapped.
    bool Open(const std::string& path);
    void Close();

    // The file's first byte; null when nothing is mapped.
    const uint8_t* View() const { return view_; }
    uint32_t Size() const { return size_; }

private:
    const uint8_t* view_ = nullptr;
    uint32_t size_ = 0;
};

}  // namespace velk
