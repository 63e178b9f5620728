// A player process of a test's own: see staged_player.h.
#include "staged_player.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "player/core/paths.h"
#include "player/core/index/record_database.h"

namespace fs = std::filesystem;

namespace player::testing {
namespace {
constexpr const char* kProgramFolderVariable = "CALLDECK_PROGRAM_FOLDER";
}  // namespace

bool ScriptedDialogs::Question(std::string_view text, bool) {
    asked.emplace_back(text);
    if (answers.empty()) return false;
    bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void ScriptedDialogs::Information(std::string_view text) { asked.emplace_back(text); }

std::string ScriptedDialogs::PickFolder(WindowHandle, std::string_view title) {
    asked.emplace_back(title);
    return folderAnswer;
}

std::string ScriptedDialogs::PickFile(WindowHandle, std::string_view title, std::string_view initial,
                                      std::string_view, std::string_view) {
    asked.emplace_back(title);
    fileInitial = initial;
    return fileAnswer;
}

fs::path BuiltDatabase() { return fs::path(CALLDECK_EMPTY_DATABASE); }

void MakeFile(const fs::path& path, std::uintmax_t size) {
    fs::create_directories(path.parent_path());
    { std::ofstream(path, std::ios::binary | std::ios::trunc); }
    if (!fs::exists(path)) throw std::runtime_error("cannot create test file " + path.string());
    fs::resize_file(path, size);
}

std::string CallName(int n) {
    const std::string second = std::to_string(10 + n % 50);
    return "202405011200" + second + "0003" + std::to_string(5550000 + n) + "1.VOC";
}

StagedPlayer::StagedPlayer(bool withDatabase) {
    ResetProcess();
    char pattern[] = "/tmp/calldeck-player-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary program folder");
    folder_ = pattern;
    if (withDatabase) {
        fs::copy_file(BuiltDatabase(), folder_ / "Player.mdb");
        fs::permissions(folder_ / "Player.mdb", fs::perms::owner_read | fs::perms::owner_write);
    }
    if (const char* previous = std::getenv(kProgramFolderVariable)) previousProgramFolder_ = previous;
    setenv(kProgramFolderVariable, folder_.c_str(), 1);
    PlayerProcess& p = Process();
    p.Now = [this] { return now; };
    p.StatusBarEcho = [this](const std::string& line) { echoes.push_back(line); };
    p.dialogs = dialogs;
}

StagedPlayer::~StagedPlayer() {
    ResetProcess();
    if (previousProgramFolder_)
        setenv(kProgramFolderVariable, previousProgramFolder_->c_str(), 1);
    else
        unsetenv(kProgramFolderVariable);
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void StagedPlayer::StageLibrary(const std::string& file, const std::string& as) {
    fs::path built = fs::path(CALLDECK_BUILT_PROGRAM_FOLDER) / file;
    if (!fs::exists(built)) built = fs::path(CALLDECK_BUILT_PROGRAM_FOLDER) / "test-libs" / file;
    fs::create_symlink(built, folder_ / (as.empty() ? file : as));
}

void StagedPlayer::Start() {
    InitPath();
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
}

std::vector<std::string> StagedPlayer::LogLines(const std::string& day) const {
    std::ifstream in(folder_ / "PlayerLog" / ("Runlog" + day + ".txt"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> StagedPlayer::LogMessages(const std::string& day) const {
    std::vector<std::string> out;
    for (const std::string& line : LogLines(day)) out.push_back(line.substr(line.find('>') + 1));
    return out;
}

}  // namespace player::testing
