// The scan of a recordings tree into the record table.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "codec_framework/testing/wav_files.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/record_scan.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "player/core/file_utilities.h"
#include "player/core/text.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Names = std::vector<std::string>;

namespace {

// A progress window that remembers what it was told to show.
struct WatchedProgress : ParseFileProcess {
    Names shown;
    void ShowFileCount() override { shown.push_back("all " + std::to_string(FileCount)); }
    void ShowRecordFileCount() override { shown.push_back("rec " + std::to_string(RecordFileCount)); }
};

class RecordingsTree : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        root_ = staged_.Folder() / "calls";
        fs::create_directories(root_);
        Process().frmParseFileProcess = &progress_;
    }
    // The stored files, in the order they were inserted, relative to the root.
    Names Stored() {
        auto rs = GetRecordset("select FileFullName from RecordFileInfo order by rowid");
        Names out;
        for (; rs->IsOpen() && !rs->Eof(); rs->MoveNext())
            out.push_back(fs::path(rs->Field("FileFullName")).lexically_relative(root_).string());
        return out;
    }
    void Add(const std::string& relative, std::uintmax_t size = 0) { MakeFile(root_ / relative, size); }
    // The run log without the rebuild's own start and end lines.
    Names Logged() const {
        Names out;
        for (const std::string& m : staged_.LogMessages())
            if (m.rfind("Rebuild of the record index", 0) != 0) out.push_back(m);
        return out;
    }
    std::int32_t Scan() { return RebuildRecordIndex("  " + root_.string() + "  "); }

    StagedPlayer staged_;
    fs::path root_;
    WatchedProgress progress_;
};

const char* const kF1 = "20061201123045000312345671.VOC";
const char* const kF2 = "A_20061201123045_C12.VC8";
const char* const kF3 = "REC_5551234_061201123045_C7.WAV";

}  // namespace

TEST_F(RecordingsTree, SubfoldersComeBeforeFilesAndEveryFileIsCountedAndOddOnesLogged) {
    Add(std::string("sub/") + kF2);
    Add(std::string("sub/deeper/") + kF3);
    Add(kF1, 80000);
    Add("notes.txt");
    EXPECT_EQ(Scan(), 3);
    EXPECT_EQ(Stored(), (Names{"sub/deeper/" + std::string(kF3), "sub/" + std::string(kF2), kF1}));
    EXPECT_EQ(progress_.FileCount, 4);
    EXPECT_EQ(progress_.shown, (Names{"rec 0", "all 1", "rec 1", "all 2", "rec 2", "all 3", "rec 3", "all 4"}));
    EXPECT_EQ(Logged(), Names{"Wrong Format : [" + (root_ / "notes.txt").string() + "]"});
    EXPECT_EQ(MyTrim(Process().MainFolder.str()), root_.string()) << "the trimmed folder is the stored main folder";
    EXPECT_FALSE(Process().IsParsing);
    auto rs = GetRecordset(kShowAllRecordStatement);
    rs->MoveLast();
    EXPECT_EQ(rs->Field("RecordDuration"), "00:00:01") << "an empty recording lasts one second";
}

TEST_F(RecordingsTree, ANameThatCannotBeCutIsLoggedTwiceAndSkipped) {
    Add("WAV");
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(progress_.FileCount, 1);
    EXPECT_EQ(Logged(),
              (Names{"!GetFileInfo File[" + (root_ / "WAV").string() + "] Invalid procedure call or argument",
                     "Wrong Format : []"}))
        << "the failed derivation leaves an empty record, so the second line names nothing";
}

TEST_F(RecordingsTree, AFolderNamedWithAnApostropheIsIndexed) {
    Add(std::string("O'Brien/") + kF1);
    EXPECT_EQ(Scan(), 1);
    EXPECT_EQ(Stored(), Names{"O'Brien/" + std::string(kF1)});
    EXPECT_TRUE(Logged().empty()) << Logged().front();
}

TEST_F(RecordingsTree, CancelEntersNoNewFolderButFinishesTheFoldersUnderWay) {
    Add(std::string("a/b/") + kF1);
    Add(std::string("a/b/") + kF2);
    Add(std::string("a/y/") + kF3);
    Add(std::string("a/") + kF2);
    Add(std::string("z/") + kF2);
    Add(kF3);
    Process().PumpEvents = [&] {
        if (progress_.FileCount == 1) Process().IsParsing = false;  // Cancel after the first file
    };
    Scan();
    EXPECT_EQ(Stored(), (Names{"a/b/" + std::string(kF1), "a/b/" + std::string(kF2), "a/" + std::string(kF2), kF3}))
        << "a/y and z must not be entered; a/b, a and the root must be finished";
    CloseAccess();
    staged_.Start();
    EXPECT_EQ(Stored().size(), 4u) << "rows inserted before the cancel were lost";
}

TEST_F(RecordingsTree, ASearchDuringTheScanSeesTheRowsSoFarAndOthersThePreviousIndexUntilTheCommit) {
    Add(std::string("0/") + kF3);
    ASSERT_EQ(Scan(), 1);
    fs::remove_all(root_ / "0");
    for (const char* folder : {"1", "2", "3"}) {
        Add(std::string(folder) + "/" + kF1);
        Add(std::string(folder) + "/" + kF2);
    }
    Names mismatches;
    std::set<long> otherSaw;
    auto other = std::make_shared<Connection>();  // as another process would have
    other->ConnectionString = "data source=" + Process().DatabaseFile;
    other->Open();
    Process().PumpEvents = [&] {
        if (!Process().IsParsing) return;
        long seen = GetRecordset(kShowAllRecordStatement)->RecordCount();
        if (seen != progress_.RecordFileCount)
            mismatches.push_back(std::to_string(seen) + " of " + std::to_string(progress_.RecordFileCount));
        Recordset rs;
        rs.Open("select FileFullName from RecordFileInfo", other);
        otherSaw.insert(rs.RecordCount());
    };
    EXPECT_EQ(Scan(), 6);
    EXPECT_TRUE(mismatches.empty()) << "a search during the scan missed rows: " << mismatches.front();
    EXPECT_EQ(otherSaw, std::set<long>{1}) << "another program saw the index half rebuilt";
    Recordset after;
    after.Open("select FileFullName from RecordFileInfo", other);
    EXPECT_EQ(after.RecordCount(), 6) << "another program does not see the committed index";
}

TEST_F(RecordingsTree, ALinkBackUpTheTreeIsNotWalkedAgain) {
    Add(std::string("x/") + kF1);
    fs::create_directory_symlink(root_, root_ / "x" / "back");
    fs::create_directory_symlink(root_ / "x", root_ / "y-twin");
    EXPECT_EQ(Scan(), 1) << "a folder reached twice was indexed twice";
    EXPECT_EQ(Logged(), (Names{"!LoopParseFile Folder already scanned [" + (root_ / "x/back").string() + "]",
                                           "!LoopParseFile Folder already scanned [" + (root_ / "y-twin").string() + "]"}));
}

TEST_F(RecordingsTree, AnEmptyFolderReportsZero) {
    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(Logged().empty());
}

TEST_F(RecordingsTree, OnlyRegularFilesAreRecordingsAndWhatIsPassedOverIsLoggedWithItsPath) {
    Add(kF1);
    const auto fifo = root_ / "20061201123046000312345671.VOC";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto socketFile = root_ / "20061201123047000312345671.VOC";
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketFile.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << socketFile;
    fs::create_symlink(root_ / "gone.VOC", root_ / "20061201123048000312345671.VOC");
    fs::create_symlink(root_ / "20061201123049000312345671.VOC", root_ / "20061201123049000312345671.VOC");
    fs::create_symlink(root_ / kF1, root_ / "20061201123050000312345671.VOC");  // a link to a recording is one
    // A folder whose path is longer than the system takes, made a step at a time.
    int fd = open(root_.c_str(), O_DIRECTORY);
    std::string deep = root_.string();
    const std::string step(200, 'd');
    while (deep.size() < 4200) {
        ASSERT_EQ(mkdirat(fd, step.c_str(), 0700), 0);
        const int next = openat(fd, step.c_str(), O_DIRECTORY);
        close(fd);
        fd = next;
        deep += "/" + step;
    }
    close(fd);
    // A folder that goes away after it was listed, before it is entered.
    Add(std::string("b/") + kF2);
    Add(std::string("a/") + kF2);
    Process().PumpEvents = [&, pumps = 0]() mutable {
        if (++pumps == 2) fs::rename(root_ / "b", staged_.Folder() / "b-moved");  // on entering a/
    };
    EXPECT_EQ(Scan(), 3) << "the recording, the link to it and a/ were to be stored";
    close(sock);
    // rm takes a tree deeper than the path limit apart a step at a time.
    EXPECT_EQ(std::system(("rm -rf '" + (root_ / step).string() + "'").c_str()), 0);
    const std::string notRegular = "!LoopParseFile Not a regular file [";
    const Names logged = Logged();
    for (const std::string& line :
         {"!LoopParseFile No such file or directory [" + (root_ / "b").string() + "]",
          notRegular + fifo.string() + "]", notRegular + socketFile.string() + "]",
          "!LoopParseFile No such file or directory [" + (root_ / "20061201123048000312345671.VOC").string() + "]",
          "!LoopParseFile Too many levels of symbolic links [" +
              (root_ / "20061201123049000312345671.VOC").string() + "]"})
        EXPECT_EQ(std::count(logged.begin(), logged.end(), line), 1) << "not logged once: " << line;
    const auto tooLong = std::find_if(logged.begin(), logged.end(), [](const std::string& l) {
        return l.rfind("!LoopParseFile File name too long [", 0) == 0;
    });
    EXPECT_NE(tooLong, logged.end()) << "the folder beyond the path limit was skipped silently";
    EXPECT_EQ(staged_.LogMessages().back(),
              "Rebuild of the record index from [" + root_.string() +
                  "] ended: 3 recordings stored, 0 files not recognised, 6 folders or files passed over");
}

TEST_F(RecordingsTree, AWavRecordingLastsWhatItsHeaderSays) {
    // 16-bit PCM at 8 kHz is 16 000 bytes a second: 134 s of it, behind
    // list chunks of odd length (and their pad bytes) before the format and
    // the data; an A-law WAV is 8 000; no header, 8 000.
    auto wav = [](Tessel::testing::WavLayout layout, std::uint32_t audio) {
        return Tessel::testing::WavHeader(layout, audio) + std::string(audio, '\0');
    };
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(root_ / name, std::ios::binary) << bytes;
    };
    Tessel::testing::WavLayout listed = Tessel::testing::kPcmWav;
    listed.listBeforeFmt = listed.listBeforeData = std::string_view("INFO\0", 5);
    write("REC_1_061201123045_C1.WAV", wav(listed, 134 * 16000));
    write("REC_2_061201123045_C2.WAV", wav(Tessel::testing::kALawWav, 134 * 8000));
    write("REC_3_061201123045_C3.WAV", std::string(16000, 'x'));
    EXPECT_EQ(Scan(), 3);
    auto rs = GetRecordset(kShowAllRecordStatement);
    Names durations;
    for (; !rs->Eof(); rs->MoveNext()) durations.push_back(rs->Field("RecordDuration"));
    EXPECT_EQ(durations, (Names{"00:02:14", "00:02:14", "00:00:02"}))
        << "16-bit, A-law and header-less WAV recordings, channels 1 to 3";
}

TEST_F(RecordingsTree, ARebuildEmptiesTheTableFirst) {
    Add(kF1);
    Scan();
    fs::remove(root_ / kF1);
    Add(kF2);
    progress_.Load();
    EXPECT_EQ(Scan(), 1);
    EXPECT_EQ(Stored(), Names{kF2});
}
