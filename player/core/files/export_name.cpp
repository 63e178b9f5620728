// player: export target names; see export_name.h.
#include "player/core/files/export_name.h"

#include <filesystem>

namespace player {

std::string ExportFolder(const std::string& picked) {
    std::string folder = picked;
    const bool slash = folder.find('/') != std::string::npos;
    if (!slash && folder.find('\\') != std::string::npos) folder += '\\';
    if (slash) folder += '/';
    return folder;
}

std::string ExportTargetName(const std::string& folder, const std::string& source, std::set<std::string>& taken) {
    const std::string name = std::filesystem::path(source).filename().string();
    const std::string stem = name.size() > 4 ? name.substr(0, name.size() - 4) : name;
    std::string target = folder + stem + ".wav";
    for (int n = 2; taken.count(target) != 0; ++n) target = folder + stem + " (" + std::to_string(n) + ").wav";
    taken.insert(target);
    return target;
}

}  // namespace player
