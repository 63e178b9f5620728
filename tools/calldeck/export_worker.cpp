// calldeck export: the worker process; see export_worker.h.
#include "export_worker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "converter/codec_dll.h"
#include "converter/format_table.h"
#include "export_convert.h"
#include "export_pipe.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/paths.h"
#include "player/core/private_files.h"
#include "player/core/process_state.h"

namespace calldeck {
namespace {

namespace fs = std::filesystem;

// The worker's own decrypt folder, removed with whatever is left in it.
class OwnDecryptFolder {
public:
    OwnDecryptFolder() {
        std::string& folder = player::Process().DecryptTmpFolder;
        folder = WorkerDecryptFolder(::getpid());
        path_ = folder;
        try {
            player::MakePrivateFolder(path_);
        } catch (const std::exception&) {  // the decryption then fails and says so
        }
    }
    ~OwnDecryptFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    OwnDecryptFolder(const OwnDecryptFolder&) = delete;
    OwnDecryptFolder& operator=(const OwnDecryptFolder&) = delete;

private:
    fs::path path_;
};

}  // namespace

std::string WorkerDecryptFolder(pid_t pid) {
    return player::Process().DecryptTmpFolder + "/export-" + std::to_string(pid);
}

int RunExportWorker() {
    std::signal(SIGPIPE, SIG_IGN);  // a command that went away is seen as a failed write
    // A worker makes only temporaries, parts and decrypted copies, that may
    // hold a decrypted call: none of them is another user's to read.
    ::umask(077);
    player::InitPath();
    OwnDecryptFolder decryptFolder;
    // Each conversion loads its two codec libraries and lets them go again;
    // holding them here keeps them mapped for the worker's life, so a file
    // costs a reference count instead of a load.
    velk::CCodecDLL keepSource(velk::CodecLibraryName(3)), keepTarget(velk::CodecLibraryName(0));

    FieldReader requests(STDIN_FILENO);
    std::vector<std::string> request;
    while (requests.Read(4, request) == FieldReader::Status::Fields) {
        std::optional<player::AuditActingFor> acting;
        if (!request[2].empty()) acting.emplace(request[2], request[3]);
        const ConvertOutcome outcome = ConvertRecording(request[0], request[1]);
        if (!WriteFields(STDOUT_FILENO, {outcome.written ? "1" : "0", outcome.reason})) {
            std::error_code ec;
            fs::remove(request[1], ec);
            return 1;
        }
    }
    return 0;
}

}  // namespace calldeck
