// player/core/testing: a program of the build run by a test as a process of
// its own.
//
// The terminal front's tests, and the shared index's, run calldeck beside
// the test's own player, as another operator or recorder would. The child
// reads nothing (its standard input is /dev/null, no terminal) and writes
// its output into two files of a folder the test names, read back once it
// has ended; its environment is the test's, with the entries given
// ("NAME=value") put in place of the test's own.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace player::testing {

struct Ran {
    int code = -1;  // the exit status, or 128 + the signal that ended it
    std::string out, err;
};

pid_t StartProgram(const std::string& program, std::vector<std::string> args, const std::filesystem::path& outputs,
                   const std::vector<std::string>& environment = {});
// Waits for a started program and reads what it wrote.
Ran FinishProgram(pid_t pid, const std::filesystem::path& outputs);
// What a program that waitpid found ended with `status` wrote.
Ran ResultOf(int status, const std::filesystem::path& outputs);
Ran RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& outputs, const std::vector<std::string>& environment = {});

}  // namespace player::testing
