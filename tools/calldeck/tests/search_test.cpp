// calldeck search as a process of its own: the rows it prints stand, and
// what the core logs after the search (a close of the index that fails)
// goes to the run log, not into the search's state, which is gone by then.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/core/index/record_database.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"

using namespace player;
using player::testing::Ran;
using player::testing::RunProgram;
using player::testing::StagedPlayer;

TEST(SearchCommand, AFailedCloseAfterTheSearchIsLoggedAndTheRowsStand) {
    StagedPlayer staged;
    staged.Start();
    InsertFileInfo({true, "/calls/a.VC8", "2024-05-01 12:00:10", "0003", "555", "00:00:10", "IN"});
    CloseAccess();
    // A sanitizer build also reports a write into the search's finished frame.
    const Ran search = RunProgram(CALLDECK_PROGRAM, {"search", "--all"}, staged.Folder(),
                                  {"LD_PRELOAD=" REFUSED_COMMIT,
                                   "ASAN_OPTIONS=detect_stack_use_after_return=1:verify_asan_link_order=0"});
    EXPECT_EQ(search.code, 0) << "calldeck search failed after its search: " << search.err;
    EXPECT_EQ(search.out,
              "RecordChannel\tRecordDateTime\tCallNumber\tRecordDuration\tFileFullName\tCallDirection\n"
              "0003\t2024-05-01 12:00:10\t555\t00:00:10\t/calls/a.VC8\tIN\n");
    EXPECT_EQ(search.err, "") << "calldeck search wrote to standard error";
    std::string log;  // calldeck's own clock names the day's file
    for (const auto& file : std::filesystem::directory_iterator(staged.Folder() / "PlayerLog")) {
        std::ifstream in(file.path(), std::ios::binary);
        log.append(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(log.find(">!CloseAccess the last changes to the record index could not be stored\r\n"), std::string::npos)
        << "the failed close was not logged: " << log;
}
