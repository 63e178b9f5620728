// The run log heard by a caller: see run_log_listener.h.
#include "player/core/run_log_listener.h"

#include "player/core/process_state.h"

namespace player {

RunLogListener::RunLogListener() : previous_(Process().StatusBarEcho) {
    Process().StatusBarEcho = [this](const std::string& line) {
        const auto stamp = line.find('>');
        last_ = stamp == std::string::npos ? line : line.substr(stamp + 1);
        if (previous_) previous_(line);
    };
}

RunLogListener::~RunLogListener() { Process().StatusBarEcho = std::move(previous_); }

std::string RunLogListener::Last(const std::string& otherwise) const { return last_.empty() ? otherwise : last_; }

}  // namespace player
