// velkconv: the file a conversion writes before it becomes the target.
//
// VelkCodec writes into the path it is given from the first frame on, and a
// conversion may be ended by a signal at any moment; so velkconv gives it a
// temporary file in the target's folder, ".NAME.velkconv-XXXXXX", made
// exclusively and readable by its owner only (0600), and renames it over the
// target only when the conversion ended whole. A rename within one folder
// replaces the name in one step: the target is as it was, or whole. The
// temporary is removed whenever it is let go of uncommitted; only a SIGKILL
// (or a crash) can leave it behind, under that recognisable name.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace velkconv {

class TemporaryTarget {
public:
    // Makes the temporary beside `target`; Error() says why when it cannot.
    explicit TemporaryTarget(const std::filesystem::path& target);
    ~TemporaryTarget();  // removes the temporary unless it was committed
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;

    std::error_code Error() const { return error_; }
    const std::string& Path() const { return path_; }
    // Still there: a conversion that fails while it runs removes its target.
    bool Exists() const;
    // Syncs the file, renames it over the target and syncs the folder.
    std::error_code Commit();

private:
    std::filesystem::path target_;
    std::string path_;
    int fd_ = -1;
    std::error_code error_;
};

}  // namespace velkconv
