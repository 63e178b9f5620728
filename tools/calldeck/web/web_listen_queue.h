// calldeck serve: a listen queue long enough for a burst of browsers.
//
// cpp-httplib (Debian's build) listens with a queue of 5 connections not
// yet accepted; a burst of browsers connecting at once overflows it, and a
// connection dropped there is tried again by its browser only a second
// later. Linux takes a longer queue from listen() called again on the
// listening socket, which cpp-httplib does not hand out: it is found as the
// process's socket listening on the service's port.
#pragma once

namespace calldeck::web {

// Gives the socket listening on `port` the system's longest queue
// (SOMAXCONN); false when none was found or it refused.
bool LengthenListenQueue(int port);

}  // namespace calldeck::web
