// The player's process-wide state: see process_state.h.
#include "player/core/process_state.h"

#include "platform/dynlib/dynlib.h"
#include "platform/sqlstore/connection.h"

namespace player {

namespace {
PlayerProcess& Storage() {
    static PlayerProcess process;
    return process;
}
}  // namespace

PlayerProcess& Process() { return Storage(); }

void ResetProcess() {
    if (auto& player = Storage().Player) player->mmClose();
    if (auto& c = Storage().PlayerConnection) c->Close();
    Storage() = PlayerProcess{};
}

std::string ProgramFolder() {
    std::string folder = platform::dynlib::ProgramFolder().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace player
