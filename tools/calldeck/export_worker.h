// calldeck export: the worker process, "calldeck export-worker", which the
// export command starts once per parallel lane.
//
// Why processes and not threads: the outside G.729 library keeps one encoder
// and one decoder channel per process and its entry points take no handle,
// so two G.729 conversions in one process would share (and garble) one
// channel. A process of its own per lane also means a recording that makes
// a codec crash takes its worker alone with it; the command fails that one
// file and starts another worker for the rest.
//
// The worker reads requests (source, temporary target) on its standard
// input and answers each on its standard output (export_pipe.h), converting
// one recording at a time (export_convert.h). It ends when its input ends.
// It decrypts into a folder of its own under the decrypt temp folder, since
// the decrypted copy's name (name, second, "N") is the same for two
// recordings of one name decrypted in the same second by two workers. An
// answer it cannot deliver (the command is gone) takes its target with it,
// so no finished-looking file is left for nobody.
#pragma once

#include <sys/types.h>

#include <string>

namespace calldeck {

// The decrypt folder of the worker `pid`, under the player's decrypt temp
// folder. The command removes it after a worker it had to stop (SIGTERM
// leaves the worker no time to).
std::string WorkerDecryptFolder(pid_t pid);

// The worker's main; the process's exit code.
int RunExportWorker();

}  // namespace calldeck
