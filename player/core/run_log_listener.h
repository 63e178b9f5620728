// player: the run log heard by a caller while it works.
//
// The core says why something failed in its run-log line, and a terminal
// command wants that text for its own message. RunLogListener takes the
// status-bar hook for as long as it lives and puts back the hook it found
// when it goes, so no hook outlives what it writes to; lines still reach
// the hook it found. Listeners nest: each lives in one scope.
#pragma once

#include <functional>
#include <string>

namespace player {

class RunLogListener {
public:
    RunLogListener();
    ~RunLogListener();
    RunLogListener(const RunLogListener&) = delete;
    RunLogListener& operator=(const RunLogListener&) = delete;

    // The message of the last line written since the listener began or was
    // cleared (without " RunLog : " and its stamp), or `otherwise` when none was.
    std::string Last(const std::string& otherwise = {}) const;
    void Clear() { last_.clear(); }

private:
    std::function<void(const std::string&)> previous_;
    std::string last_;
};

}  // namespace player
