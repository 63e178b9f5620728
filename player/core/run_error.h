// player: the run-time error the player's modules raise and trap.
//
// Every operation of the player that can fail traps its own errors, writes
// one run-log line made of "!", its name, a blank and the error's
// description, and returns a failure value. Errors inside a module are
// raised as RunError, which carries the number and the description the log
// shows; the numbers and texts are the classic run-time ones an operator
// reading the run log knows ("Path not found", "Type mismatch", ...).
// FileError turns an operating-system error into one of them.
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

// The run-time error for a failed file-system call.
RunError FileError(std::error_code ec);

// The description a trap writes for any error: a RunError's or store
// error's own text, otherwise what the exception says.
std::string Describe(const std::exception& e);
int NumberOf(const std::exception& e);

}  // namespace player
