// player/core/testing: a media interface that only listens.
//
// RecordingSink stands in for the MCI layer: it remembers every command a
// MediaPlayer sends, in order, and answers each with the reply scripted
// for exactly that command ("" otherwise) and code 0. Tests of the media
// player and of playback read the commands to see what would have sounded.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/core/process_state.h"

namespace player::testing {

struct RecordingSink {
    std::vector<std::string> commands;
    std::map<std::string, std::string, std::less<>> replies;

    RecordingSink() {
        Process().MciSend = [this](std::string_view command, std::string& reply) {
            commands.emplace_back(command);
            const auto it = replies.find(command);
            reply = it == replies.end() ? "" : it->second;
            return 0u;
        };
    }
    ~RecordingSink() { Process().MciSend = [](std::string_view, std::string& reply) { reply.clear(); return 0u; }; }
    RecordingSink(const RecordingSink&) = delete;
    RecordingSink& operator=(const RecordingSink&) = delete;
    std::vector<std::string> Take() { return std::exchange(commands, {}); }
};

}  // namespace player::testing
