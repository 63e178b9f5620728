// The site file: see site_file.h.
#include "player/core/index/site_file.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "player/core/text.h"
#include "player/core/run_error.h"

namespace player {

std::string ReadSiteFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return {};
    std::ifstream in(file);
    if (!in) throw FileError({errno ? errno : EACCES, std::generic_category()});
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = text::Trim(line);
        if (!line.empty() && line.front() != '#') return line;
    }
    return {};
}

}  // namespace player
