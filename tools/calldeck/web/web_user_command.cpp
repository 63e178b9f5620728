// calldeck web-user (web_user_command.h).
#include "web_user_command.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <stdexcept>

#include "../search_options.h"
#include "web_users.h"

namespace calldeck {

const char* const kWebUserHelp =
    "usage: calldeck web-user add NAME\n"
    "       calldeck web-user remove NAME\n"
    "       calldeck web-user list\n"
    "  The users who log in to calldeck serve on this desk. add asks for the\n"
    "  password (at least 8 characters) on the terminal, or reads it as the\n"
    "  first line of standard input; a known user gets the new password.\n";

namespace {

// One line from standard input, echo off on a terminal.
std::string ReadSecretLine(const char* prompt) {
    const bool tty = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (tty) {
        std::cerr << prompt << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (tty) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    if (!got) throw std::runtime_error("no password was given");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

int RunWebUser(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"web-user wants add, remove or list"};
    const std::string& verb = args[0];
    try {
        if (verb == "list" && args.size() == 1) {
            for (const std::string& name : web::ListWebUsers()) std::cout << name << "\n";
            return 0;
        }
        if (args.size() != 2) throw UsageError{"web-user " + verb + " wants one NAME"};
        const std::string& name = args[1];
        if (verb == "add") {
            web::CheckWebUserName(name);
            const std::string password = ReadSecretLine("Password: ");
            if (::isatty(STDIN_FILENO) == 1 && ReadSecretLine("Again: ") != password)
                throw std::runtime_error("the two passwords differ; nothing was changed");
            web::SetWebUser(name, password);
            std::cout << "web user " << name << " stored\n";
            return 0;
        }
        if (verb == "remove") {
            if (!web::RemoveWebUser(name)) {
                std::cerr << "calldeck: there is no web user " << name << "\n";
                return 1;
            }
            std::cout << "web user " << name << " removed\n";
            return 0;
        }
    } catch (const std::invalid_argument& e) {
        std::cerr << "calldeck: " << e.what() << "\n";
        return 1;
    } catch (const std::runtime_error& e) {
        std::cerr << "calldeck: " << e.what() << "\n";
        return 1;
    }
    throw UsageError{"web-user wants add, remove or list, not " + verb};
}

}  // namespace calldeck
