// calldeck export: the messages between the export command and its worker
// processes, over a pair of pipes.
//
// A message is a fixed number of fields, each ended by a NUL byte: a path
// may hold any byte but NUL (the recordings tree has names with tabs, line
// feeds and backslashes), so no quoting is needed and none can go wrong.
//   request (command to worker): source path, temporary target path
//   answer  (worker to command): "1" written or "0" not, the reason
// The command reads answers without blocking, from several workers at once,
// so the reader takes whatever bytes arrived and hands out whole fields.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calldeck {

// Writes the fields, each with its NUL, all of it; false when the other end
// is gone (or any other write failure). Never raises SIGPIPE's default
// action: the caller ignores SIGPIPE.
bool WriteFields(int fd, const std::vector<std::string_view>& fields);

class FieldReader {
public:
    enum class Status { Fields, More, Closed };

    explicit FieldReader(int fd) : fd_(fd) {}

    // Reads what the descriptor holds (blocking as the descriptor does) and
    // fills `fields` with the next `count` fields once they have all come:
    // Fields. More: not all have come yet (only after a short read on a
    // non-blocking descriptor). Closed: the other end closed (or the read
    // failed) before they came.
    Status Read(std::size_t count, std::vector<std::string>& fields);

private:
    std::optional<std::vector<std::string>> Take(std::size_t count);

    int fd_;
    std::string buffer_;
};

}  // namespace calldeck
