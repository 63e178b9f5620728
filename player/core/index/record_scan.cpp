// The recordings scan: see record_scan.h.
#include "player/core/index/record_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "player/core/playback/durations.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/run_error.h"

namespace player {
namespace {

// One entry of a folder that is no recording and no folder either.
struct Passed {
    std::string path;
    std::string reason;
};

struct FolderListing {
    std::vector<std::string> folders;  // full paths
    std::vector<RecordFile> files;
    std::vector<Passed> passed;
};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

std::string Reason(int error) { return FileError({error, std::generic_category()}).what(); }

// One folder's subfolders, regular files and passed-over entries, each list
// in name order; one stat per entry at most (none for plain subfolders).
FolderListing ListFolder(const std::string& folder) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) throw FileError({errno, std::generic_category()});
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    FolderListing out;
    errno = 0;
    while (dirent* e = readdir(dir.get())) {
        std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = prefix + e->d_name;
        if (e->d_type == DT_DIR) {
            out.folders.push_back(std::move(path));
            errno = 0;
            continue;
        }
        // A WAV file is opened anyway for its header's rate; the open file
        // gives its size too, without a second lookup of its name.
        struct stat st {};
        std::int32_t wavRate = -1;
        if (e->d_type == DT_REG && IsWav(name)) wavRate = WavByteRateAt(dirfd(dir.get()), e->d_name, &st);
        if (wavRate < 0 && fstatat(dirfd(dir.get()), e->d_name, &st, 0) != 0) {
            // Follows links: a link to a folder is a folder, to a file a file.
            out.passed.push_back({std::move(path), Reason(errno)});
        } else if (S_ISDIR(st.st_mode)) {
            out.folders.push_back(std::move(path));
        } else if (!S_ISREG(st.st_mode)) {
            out.passed.push_back({std::move(path), "Not a regular file"});
        } else if (path.size() >= PATH_MAX) {
            out.passed.push_back({std::move(path), Reason(ENAMETOOLONG)});
        } else {
            if (wavRate < 0 && IsWav(name)) wavRate = WavByteRateAt(dirfd(dir.get()), e->d_name, nullptr);
            out.files.push_back({std::string(name), std::move(path), static_cast<std::uintmax_t>(st.st_size),
                                 wavRate < 0 ? std::nullopt : std::optional<std::int32_t>(wavRate)});
        }
        errno = 0;
    }
    if (errno != 0) throw FileError({errno, std::generic_category()});
    std::sort(out.folders.begin(), out.folders.end());
    std::sort(out.files.begin(), out.files.end(), [](const RecordFile& a, const RecordFile& b) { return a.Name < b.Name; });
    std::sort(out.passed.begin(), out.passed.end(), [](const Passed& a, const Passed& b) { return a.path < b.path; });
    return out;
}

void PassOver(const std::string& path, const std::string& reason) {
    ++Process().ScanSkipped;
    WriteRunLog("!LoopParseFile " + reason + " [" + path + "]");
}

}  // namespace

ParseFileProcess& ScanProgress() {
    PlayerProcess& p = Process();
    if (p.frmParseFileProcess) return *p.frmParseFileProcess;
    // Counts even when no window shows them.
    if (!p.unseenProgress) p.unseenProgress = std::make_shared<ParseFileProcess>();
    return *p.unseenProgress;
}

RecordInfo GetFileInfo(const RecordFile& file) {
    try {
        switch (GetNameFormat(file.Name)) {
        case 1: return ParseNameFormat1(file);
        case 2: return ParseNameFormat2(file);
        case 3: return ParseNameFormat3(file);
        default: {
            RecordInfo info;
            info.FileFullName = file.Path;
            return info;
        }
        }
    } catch (const std::exception& e) {
        WriteRunLog("!GetFileInfo File[" + file.Path + "] " + Describe(e));
        return RecordInfo{};
    }
}

void LoopParseFile(const std::string& folder) {
    PlayerProcess& p = Process();
    p.PumpEvents();
    if (p.scanDepth == 0) p.scanVisited.clear();
    ++p.scanDepth;
    struct Leave {
        PlayerProcess& p;
        ~Leave() { --p.scanDepth; }
    } leave{p};
    try {
        if (!p.IsParsing) return;
        struct stat st {};
        if (folder.empty()) return;
        if (stat(folder.c_str(), &st) != 0) {
            PassOver(folder, Reason(errno));  // gone (renamed, deleted) since it was listed, or too long a path
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            PassOver(folder, "Not a folder");
            return;
        }
        if (!p.scanVisited.insert({st.st_dev, st.st_ino}).second) {
            WriteRunLog("!LoopParseFile Folder already scanned [" + folder + "]");
            return;
        }
        const FolderListing listing = ListFolder(folder);
        for (const std::string& sub : listing.folders) LoopParseFile(sub);
        for (const Passed& odd : listing.passed) PassOver(odd.path, odd.reason);
        ParseFileProcess& progress = ScanProgress();
        for (const RecordFile& file : listing.files) {
            if (!p.StoreFailure.empty()) return;  // nothing more can be stored
            p.PumpEvents();
            const RecordInfo info = GetFileInfo(file);
            ++progress.FileCount;
            progress.ShowFileCount();
            if (info.IsValid) {
                ++progress.RecordFileCount;
                progress.ShowRecordFileCount();
                InsertFileInfo(info);
            } else {
                ++p.ScanNotRecognised;
                WriteRunLog("Wrong Format : [" + info.FileFullName + "]");
            }
        }
    } catch (const std::exception& e) {
        ++p.ScanSkipped;
        WriteRunLog("!LoopParseFile " + Describe(e) + " [" + folder + "]");
    }
}

}  // namespace player
