// calldeck serve: the command line of the web service (web_service.h).
//
//   calldeck serve [--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE]
//                  [--idle-timeout SECONDS] [--behind-https-proxy]
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kServeHelp;

// Serves the opened record index until stopped; throws UsageError.
int RunServe(const std::vector<std::string>& args);

}  // namespace calldeck
