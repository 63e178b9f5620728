// calldeck export: worker messages; see export_pipe.h.
#include "export_pipe.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace calldeck {

bool WriteFields(int fd, const std::vector<std::string_view>& fields) {
    std::string message;
    for (std::string_view f : fields) {
        message.append(f);
        message.push_back('\0');
    }
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::write(fd, message.data() + sent, message.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += std::size_t(n);
    }
    return true;
}

std::optional<std::vector<std::string>> FieldReader::Take(std::size_t count) {
    if (std::size_t(std::count(buffer_.begin(), buffer_.end(), '\0')) < count) return std::nullopt;
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = buffer_.find('\0', at);
        fields.emplace_back(buffer_, at, end - at);
        at = end + 1;
    }
    buffer_.erase(0, at);
    return fields;
}

FieldReader::Status FieldReader::Read(std::size_t count, std::vector<std::string>& fields) {
    for (;;) {
        if (auto taken = Take(count)) {
            fields = std::move(*taken);
            return Status::Fields;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Status::More;
        if (n <= 0) return Status::Closed;
        buffer_.append(chunk, std::size_t(n));
    }
}

}  // namespace calldeck
