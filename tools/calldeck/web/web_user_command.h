// calldeck web-user: the web users of this desk, from a terminal.
//
//   calldeck web-user add NAME      asks for the password (twice on a terminal)
//   calldeck web-user remove NAME
//   calldeck web-user list
//
// The password is read from the terminal with echo off, or as the first line
// of standard input when that is no terminal; never from the command line,
// where other users of the machine could read it.
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kWebUserHelp;

// Exit codes: 0 done, 1 refused (the reason on standard error); throws
// UsageError.
int RunWebUser(const std::vector<std::string>& args);

}  // namespace calldeck
