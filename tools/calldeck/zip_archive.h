// calldeck export --zip: one ZIP archive written through Debian's libzip.
//
// libzip builds the archive in a temporary file beside the named one and
// renames it over that name when the archive is committed, so an export
// that is interrupted, or that fails to commit, never leaves a half-written
// archive under the name asked for. Members are added from files on disk
// and read from them only while the archive is written, a block at a time:
// no recording is held in memory. Members are stored, not deflated: A-law
// audio barely shrinks, and deflating hundreds of megabytes on one core
// would cost more than the conversions themselves.
#pragma once

#include <string>

struct zip;

namespace calldeck {

class ZipArchive {
public:
    // Opens a new archive to be written to `path` (replacing it on commit);
    // throws std::runtime_error with libzip's reason when it cannot.
    explicit ZipArchive(const std::string& path);
    ~ZipArchive();  // discards the archive when it was not committed
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Adds the file at `file` as member `name`; the file must stay until
    // Commit. Throws std::runtime_error with libzip's reason.
    void Add(const std::string& name, const std::string& file);
    // Writes the archive and puts it under its name; throws
    // std::runtime_error with libzip's reason (nothing is left then).
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& what);

    std::string path_;
    struct zip* archive_ = nullptr;
};

}  // namespace calldeck
