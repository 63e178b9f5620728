// "Pickup All" without a window: which rows are exported under which names,
// what the progress window is told, what the run log says, and the cases
// where nothing is exported at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/sqlstore/recordset.h"
#include "player/core/files/pick_up_all.h"
#include "player/core/index/record_database.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Lines = std::vector<std::string>;

namespace {


// The progress window: what it was told, in order.
struct SeenProgress : ConvertProcess {
    Lines seen;
    void Show() override { seen.push_back("shown"); }
    void ShowCount(std::int32_t count, std::int32_t total) override { seen.push_back(ConvertCountText(count, total)); }
    void Unload() override { seen.push_back("closed"); }
};

// One row per file on channel 0001, a minute apart, in this order.
void ListRows(const std::vector<fs::path>& files) {
    int minute = 0;
    for (const fs::path& f : files) {
        char at[32];
        std::snprintf(at, sizeof at, "2024-05-06 09:%02d:00", minute++);
        InsertFileInfo({true, f.string(), at, "0001", "1", "00:00:01", "IN"});
    }
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
}

Lines ErrorLines(const StagedPlayer& staged) {
    Lines out;
    for (const std::string& m : staged.LogMessages())
        if (m.find("] Error!") != std::string::npos || m.rfind("!", 0) == 0) out.push_back(m);
    return out;
}

}  // namespace

// Ten rows, two of them missing: eight handed to the converter, the label
// ending at "8 / 10". The picked folder ends in a separator (as "/" does),
// so the targets carry two; a name too short to cut keeps itself; a second
// "a.WAV" gets a name of its own; an earlier export is written over; an
// extension no converter takes is one run-log line.
TEST(PickUpAll, ExportsEveryRecordingWhoseFileExistsAndCountsOnlyThem) {
    StagedPlayer staged;
    staged.Start();
    const fs::path calls = staged.Folder() / "calls", out = staged.Folder() / "out";
    WriteBytes(calls / "0001/a.WAV", "one");
    WriteBytes(calls / "0002/a.WAV", "two");
    WriteBytes(calls / "x.b", "?");
    WriteBytes(calls / ".WAV", "short");
    WriteBytes(calls / "c.XYZ", "?");
    WriteBytes(calls / "d.WAV", "dee");
    WriteBytes(calls / "f.WAV", "eff");
    WriteBytes(calls / "g.WAV", "gee");
    WriteBytes(out / "d.wav", "an earlier, longer export");
    ListRows({calls / "0001/a.WAV", calls / "0002/a.WAV", calls / "b.WAV", calls / "x.b", calls / ".WAV",
              calls / "c.XYZ", calls / "d.WAV", calls / "e.WAV", calls / "f.WAV", calls / "g.WAV"});
    std::vector<bool> batchFlags;
    Process().ConvertingChanged = [&] {
        const bool running = Process().IsBatchConverting;
        if (batchFlags.empty() || batchFlags.back() != running) batchFlags.push_back(running);
    };
    staged.dialogs->folderAnswer = out.string() + "/";
    SeenProgress progress;

    const std::string used = PickUpAll(nullptr, progress);

    EXPECT_EQ(progress.seen, (Lines{"shown", "1 / 10", "2 / 10", "2 / 10", "3 / 10", "4 / 10", "5 / 10", "6 / 10",
                                    "6 / 10", "7 / 10", "8 / 10", "closed"}))
        << "the progress label, row by row: the two missing recordings must not be counted";
    const std::string folder = out.string() + "//";
    EXPECT_EQ(ReadBytes(out / "a.wav"), "one");
    EXPECT_EQ(ReadBytes(out / "a (2).wav"), "two") << "the second a.WAV overwrote the first one's export";
    EXPECT_EQ(ReadBytes(out / ".WAV.wav"), "short") << "a name of four characters is kept whole";
    EXPECT_EQ(ReadBytes(out / "d.wav"), "dee") << "the earlier export of d.WAV was not written over";
    EXPECT_EQ(ReadBytes(out / "f.wav") + ReadBytes(out / "g.wav"), "effgee");
    EXPECT_FALSE(fs::exists(out / "b.wav") || fs::exists(out / "e.wav")) << "a missing recording was exported";
    EXPECT_EQ(ErrorLines(staged),
              (Lines{"ConvertFile File [" + (calls / "x.b").string() + "] To [" + folder + "x.b.wav] Error!",
                     "ConvertFile File [" + (calls / "c.XYZ").string() + "] To [" + folder + "c.wav] Error!"}))
        << "each failed conversion, and only those, belongs in the run log once";
    EXPECT_EQ(staged.dialogs->asked, Lines{"Target Folder"}) << "what the operator was asked or shown";
    EXPECT_EQ(staged.LogMessages().back(), "6 recordings saved to " + out.string() + "/; 2 failed: see the run log")
        << "the line the batch ends with in the run log and the status bar";
    EXPECT_EQ(used, out.string() + "/") << "the folder the batch reports it exported into";
    EXPECT_TRUE(Process().rsResult->Eof()) << "the batch did not walk to the end of the list";
    EXPECT_EQ(batchFlags, (std::vector<bool>{true, false}))
        << "the window was not told when the batch started and ended";
}

TEST(PickUpAll, ExportsNothingWithoutRowsOrWithoutAFolder) {
    StagedPlayer staged;
    staged.Start();
    SeenProgress progress;
    ListRows({});
    PickUpAll(nullptr, progress);
    EXPECT_EQ(staged.dialogs->asked, Lines{"no data"}) << "an empty list must say so and ask for no folder";

    const fs::path calls = staged.Folder() / "calls";
    WriteBytes(calls / "a.WAV", "one");
    ListRows({calls / "a.WAV"});
    for (const std::string& answer : {std::string(), (staged.Folder() / "gone").string()}) {
        staged.dialogs->asked.clear();
        staged.dialogs->folderAnswer = answer;
        PickUpAll(nullptr, progress);
        EXPECT_EQ(staged.dialogs->asked, Lines{"Target Folder"}) << "picker answered \"" << answer << "\"";
        EXPECT_FALSE(Process().IsBatchConverting) << "the batch stayed marked running";
    }
    EXPECT_EQ(std::count(progress.seen.begin(), progress.seen.end(), "shown"), 0)
        << "the progress window opened though nothing was exported";
    EXPECT_TRUE(ErrorLines(staged).empty()) << "something was logged: " << ErrorLines(staged).front();
}
