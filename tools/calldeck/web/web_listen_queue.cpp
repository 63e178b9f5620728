// The service's listen queue (web_listen_queue.h).
#include "web_listen_queue.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace calldeck::web {

bool LengthenListenQueue(int port) {
    std::error_code ec;
    bool lengthened = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        int fd = -1;
        try {
            fd = std::stoi(entry.path().filename().string());
        } catch (const std::exception&) {
            continue;
        }
        int listening = 0;
        socklen_t size = sizeof listening;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) continue;
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) continue;
        int boundPort = -1;
        if (bound.ss_family == AF_INET) boundPort = ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
        if (bound.ss_family == AF_INET6) boundPort = ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
        if (boundPort == port && ::listen(fd, SOMAXCONN) == 0) lengthened = true;
    }
    return lengthened;
}

}  // namespace calldeck::web
