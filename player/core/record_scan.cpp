// The recordings scan: see record_scan.h.
#include "record_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "paths.h"
#include "process_state.h"
#include "run_log.h"
#include "run_error.h"
#include "cut_text.h"

namespace player {
namespace {

struct FolderListing {
    std::vector<std::string> folders;  // full paths
    std::vector<RecordFile> files;
};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// One folder's subfolders and files, each list in name order; one stat per
// entry at most (none for plain subfolders).
FolderListing ListFolder(const std::string& folder) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) throw FileError({errno, std::generic_category()});
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    FolderListing out;
    errno = 0;
    while (dirent* e = readdir(dir.get())) {
        std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = e->d_type == DT_DIR;
        std::optional<std::uintmax_t> size;
        if (e->d_type != DT_DIR) {
            struct stat st {};
            // Follows links: a link to a folder is a folder, to a file a file.
            if (fstatat(dirfd(dir.get()), e->d_name, &st, 0) == 0) {
                isFolder = S_ISDIR(st.st_mode);
                size = static_cast<std::uintmax_t>(st.st_size);
            }
        }
        if (isFolder)
            out.folders.push_back(prefix + e->d_name);
        else
            out.files.push_back({std::string(name), prefix + e->d_name, size});
        errno = 0;
    }
    if (errno != 0) throw FileError({errno, std::generic_category()});
    std::sort(out.folders.begin(), out.folders.end());
    std::sort(out.files.begin(), out.files.end(), [](const RecordFile& a, const RecordFile& b) { return a.Name < b.Name; });
    return out;
}

ParseFileProcess& Progress() {
    static ParseFileProcess unseen;  // counts even when no window shows them
    ParseFileProcess* shown = Process().frmParseFileProcess;
    return shown ? *shown : unseen;
}

}  // namespace

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
        ~Leave() {
            if (--p.scanDepth == 0)
                CommitFileInfo();
            else
                CommitFileInfoIfDue();
        }
    } leave{p};
    try {
        if (!p.IsParsing) return;
        struct stat st {};
        if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
        if (!p.scanVisited.insert({st.st_dev, st.st_ino}).second) {
            WriteRunLog("!LoopParseFile Folder already scanned [" + folder + "]");
            return;
        }
        const FolderListing listing = ListFolder(folder);
        for (const std::string& sub : listing.folders) LoopParseFile(sub);
        ParseFileProcess& progress = Progress();
        for (const RecordFile& file : listing.files) {
            p.PumpEvents();
            const RecordInfo info = GetFileInfo(file);
            ++progress.FileCount;
            progress.ShowFileCount();
            if (info.IsValid) {
                ++progress.RecordFileCount;
                progress.ShowRecordFileCount();
                InsertFileInfo(info);
                CommitFileInfoIfDue();
            } else {
                WriteRunLog("Wrong Format : [" + info.FileFullName + "]");
            }
        }
    } catch (const std::exception& e) {
        WriteRunLog("!LoopParseFile " + Describe(e));
    }
}

std::int32_t RebuildRecordIndex(const std::string& mainFolderText) {
    PlayerProcess& p = Process();
    ClearTmpData();
    p.IsParsing = true;
    struct Done {
        PlayerProcess& p;
        ~Done() { p.IsParsing = false; }
    } done{p};
    const std::string folder = text::Trim(mainFolderText);
    p.MainFolder = folder;
    WriteMiscConfig();
    LoopParseFile(folder);
    p.IsParsing = false;
    return Progress().RecordFileCount;
}

}  // namespace player
