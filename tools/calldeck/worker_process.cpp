// calldeck export: a worker process; see worker_process.h.
#include "worker_process.h"

#include "export_worker.h"

#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace calldeck {
namespace {

[[noreturn]] void Fail(int error, const char* what) { throw std::system_error(error, std::generic_category(), what); }

// A pipe whose ends close on exec; the child gets its end through dup2.
struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) Fail(errno, "no pipe for an export worker");
        read = fds[0], write = fds[1];
    }
};

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string HowItEnded(int status) {
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                                    strsignal(WTERMSIG(status)) + ")";
    if (WIFEXITED(status)) return "exited with code " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

}  // namespace

WorkerProcess::WorkerProcess() {
    Pipe toWorker, fromWorker;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, toWorker.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromWorker.write, STDOUT_FILENO);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    char program[] = "calldeck", command[] = "export-worker";
    char* argv[] = {program, command, nullptr};
    const int spawned = posix_spawn(&pid_, "/proc/self/exe", &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(toWorker.read);
    ::close(fromWorker.write);
    if (spawned != 0) {
        ::close(toWorker.write);
        ::close(fromWorker.read);
        pid_ = -1;
        Fail(spawned, "no process for an export worker");
    }
    requests_ = toWorker.write;
    answers_ = fromWorker.read;
    ::fcntl(answers_, F_SETFL, ::fcntl(answers_, F_GETFL) | O_NONBLOCK);
    reader_ = std::make_unique<FieldReader>(answers_);
}

WorkerProcess::~WorkerProcess() { End(); }

bool WorkerProcess::Send(const std::string& source, const std::string& target, const std::string& who,
                         const std::string& where) {
    // The fields end with NUL, so none may hold one.
    const auto field = [](std::string text) {
        std::replace(text.begin(), text.end(), '\0', ' ');
        return text;
    };
    return requests_ >= 0 && WriteFields(requests_, {source, target, field(who), field(where)});
}

FieldReader::Status WorkerProcess::Read(Answer& answer) {
    std::vector<std::string> fields;
    const FieldReader::Status status = reader_->Read(2, fields);
    if (status == FieldReader::Status::Fields) answer = {fields[0] == "1", fields[1]};
    return status;
}

std::string WorkerProcess::End(bool now) {
    CloseFd(requests_);
    CloseFd(answers_);
    if (pid_ > 0) {
        if (now) ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        // A worker that had already ended on its own says how; one ended by
        // the SIGTERM above was stopped by the command.
        ended_ = HowItEnded(status);
        std::error_code ec;
        std::filesystem::remove_all(WorkerDecryptFolder(pid_), ec);
        pid_ = -1;
    }
    return ended_;
}

}  // namespace calldeck
