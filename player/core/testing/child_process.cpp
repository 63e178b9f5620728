// A program of the build run by a test: see child_process.h.
#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>
#include <string_view>

#include "recording_files.h"

extern char** environ;

namespace player::testing {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

pid_t StartProgram(const std::string& program, std::vector<std::string> args, const std::filesystem::path& outputs,
                   const std::vector<std::string>& environment) {
    args.insert(args.begin(), std::filesystem::path(program).filename().string());
    std::vector<std::string> env = environment;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        bool replaced = false;
        for (const std::string& own : environment)
            replaced = replaced || entry.starts_with(own.substr(0, own.find('=') + 1));
        if (!replaced) env.emplace_back(entry);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (outputs / "program.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (outputs / "program.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, Pointers(args).data(), Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error(program + " could not be started");
    return pid;
}

Ran ResultOf(int status, const std::filesystem::path& outputs) {
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadBytes(outputs / "program.out"),
            ReadBytes(outputs / "program.err")};
}

Ran FinishProgram(pid_t pid, const std::filesystem::path& outputs) {
    int status = 0;
    waitpid(pid, &status, 0);
    return ResultOf(status, outputs);
}

Ran RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& outputs, const std::vector<std::string>& environment) {
    return FinishProgram(StartProgram(program, args, outputs, environment), outputs);
}

}  // namespace player::testing
