// calldeck export: one export worker process as the command holds it.
//
// The command starts "calldeck export-worker" from its own executable
// (/proc/self/exe, so the worker is always the same build) with a pipe on
// each side and in a process group of its own: the terminal's Ctrl+C
// reaches the command alone, which then stops its workers in order instead
// of every process dying wherever it stood. The object owns the process and
// both pipe ends; letting it go closes the request pipe, ends the process
// (SIGTERM, then waits for it) and reaps it, so no worker outlives the
// command's hold on it and none is left a zombie; the worker's decrypt
// folder goes with it.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "export_pipe.h"

namespace calldeck {

class WorkerProcess {
public:
    // Starts a worker; throws std::system_error when the system gives no
    // process or pipe.
    WorkerProcess();
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    int AnswerFd() const { return answers_; }  // non-blocking, for poll

    // Hands the worker one recording; false when it is gone. `who` and
    // `where`, when given, are whom the worker's audit records (a
    // decryption's) name instead of its own user and machine: calldeck
    // serve's web user, and their address and browser.
    bool Send(const std::string& source, const std::string& target, const std::string& who = {},
              const std::string& where = {});

    // The answer to the request sent, once it has come whole.
    struct Answer {
        bool written = false;
        std::string reason;
    };
    // Reads what has come: Fields with `answer` filled, More, or Closed when
    // the worker ended (died) without answering.
    FieldReader::Status Read(Answer& answer);

    // Ends the process and reaps it; says how it ended ("killed by signal
    // 11 (Segmentation fault)", "exited with code 1"). `now`: at once, by
    // SIGTERM, whatever it is doing; otherwise its input is closed and it is
    // waited for, so an idle worker tidies up (its decrypt folder) and exits.
    std::string End(bool now = true);

private:
    pid_t pid_ = -1;
    int requests_ = -1;
    int answers_ = -1;
    std::unique_ptr<FieldReader> reader_;
    std::string ended_;
};

}  // namespace calldeck
