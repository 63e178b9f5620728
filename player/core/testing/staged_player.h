// player/core/testing: a player process of a test's own.
//
// StagedPlayer gives a test a fresh process state (ResetProcess), a
// temporary program folder holding a copy of the empty Player.mdb the
// build delivers, a clock the test sets, dialogs that answer from a
// script and remember what they were asked, and the status-bar echoes.
// The folder is named in CALLDECK_PROGRAM_FOLDER, so the player's files
// and the libraries it loads are looked for there alike. Everything is
// undone when it goes, so no test sees another's leftovers.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/core/process_state.h"

namespace player::testing {

class ScriptedDialogs : public Dialogs {
public:
    std::deque<bool> answers;      // Question answers, in order; No when empty
    std::string folderAnswer;      // PickFolder; "" is a cancel
    std::vector<std::string> asked;  // every text shown or title used, in order

    bool Question(std::string_view text, bool) override;
    void Information(std::string_view text) override;
    std::string PickFolder(WindowHandle, std::string_view title) override;
    std::string fileAnswer;        // PickFile; "" is a cancel
    std::string fileInitial;       // the name PickFile was last opened with
    std::string PickFile(WindowHandle, std::string_view title, std::string_view, std::string_view,
                         std::string_view) override;
};

class StagedPlayer {
public:
    // withDatabase: copy the delivered empty Player.mdb into the folder.
    explicit StagedPlayer(bool withDatabase = true);
    StagedPlayer(const StagedPlayer&) = delete;
    StagedPlayer& operator=(const StagedPlayer&) = delete;
    ~StagedPlayer();

    const std::filesystem::path& Folder() const { return folder_; }
    // The clock every log entry reads.
    LocalTime now{2024, 5, 6, 12, 30, 45};
    std::vector<std::string> echoes;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();

    // The lines of the run-log file of a day ("YYYY-MM-DD"), without line ends.
    std::vector<std::string> LogLines(const std::string& day = "2024-05-06") const;
    // Every logged message (the text after "<stamp>") of that day.
    std::vector<std::string> LogMessages(const std::string& day = "2024-05-06") const;

    // InitPath and ConnectAccess, as the program's start does.
    void Start();
    // Links a library of the built program folder (or of its test-libs)
    // into the staged folder, under `as` when given: the player then finds
    // it by name as it finds the delivered one.
    void StageLibrary(const std::string& file, const std::string& as = "");

private:
    std::filesystem::path folder_;
    std::optional<std::string> previousProgramFolder_;  // CALLDECK_PROGRAM_FOLDER before
};

// An empty record index as the build delivers it (a copy of its own, which
// no program run has filled).
std::filesystem::path BuiltDatabase();
// A file of `size` bytes (sparse: large sizes cost nothing); folders made.
void MakeFile(const std::filesystem::path& path, std::uintmax_t size = 0);
// The n-th call of channel 3 on 2024-05-01 (at 12:00:10 to 12:00:59), in
// the recorder's first name format: a name the scan indexes.
std::string CallName(int n);

}  // namespace player::testing
