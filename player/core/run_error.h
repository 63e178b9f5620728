// player: the run-time error the player's modules raise and trap.
//
// Every operation of the player that can fail traps its own errors, writes
// one run-log line made of "!", its name, a blank and the error's
// description, and returns a failure value. Errors inside a module are
// raised as RunError, which carries the number and the description the log
// shows; the numbers are the run-time error numbers an operator's notes
// know (53 File not found, 70 Permission denied, 13 Type mismatch, ...).
// FileError turns an operating-system error into one of them: the number
// its kind has, and the system's own description of the error itself, so
// that an immutable file reads "Operation not permitted", never another
// error's text under the same number.
#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace player {

class RunError : public std::runtime_error {
public:
    RunError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }

    static RunError InvalidCall() { return {5, "Invalid procedure call or argument"}; }
    static RunError Overflow() { return {6, "Overflow"}; }
    static RunError SubscriptOutOfRange() { return {9, "Subscript out of range"}; }
    static RunError TypeMismatch() { return {13, "Type mismatch"}; }
    static RunError FileNotFound() { return {53, "File not found"}; }
    static RunError ObjectNotSet() { return {91, "Object variable or With block variable not set"}; }

private:
    int number_;
};

// What an operation that traps its own errors gives back besides its
// run-log line: nothing when it succeeded, else the reason in the words the
// line says, for a caller that must tell someone (the terminal front, the
// window) without listening to the log.
struct Outcome {
    std::string reason;  // "" when it succeeded
    bool ok() const { return reason.empty(); }
};

// The run-time error for a failed file-system call.
RunError FileError(std::error_code ec);

// The description a trap writes for any error: a RunError's or store
// error's own text, otherwise what the exception says.
std::string Describe(const std::exception& e);
int NumberOf(const std::exception& e);

}  // namespace player
