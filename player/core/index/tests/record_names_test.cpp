// What the scan reads from a recording's name and size.
#include <gtest/gtest.h>

#include "player/core/playback/durations.h"
#include "player/core/index/record_scan.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::MakeFile;
using player::testing::StagedPlayer;

namespace {

class NamedFiles : public ::testing::Test {
protected:
    void SetUp() override { staged_.Start(); }
    // GetFileInfo of a file of that name and size in the staged folder.
    RecordInfo Info(const std::string& name, std::uintmax_t size = 0) {
        const fs::path path = staged_.Folder() / "rec" / name;
        MakeFile(path, size);
        return GetFileInfo({name, path.string(), std::nullopt, std::nullopt});
    }
    std::string PathOf(const std::string& name) const { return (staged_.Folder() / "rec" / name).string(); }
    StagedPlayer staged_;
};

}  // namespace

TEST_F(NamedFiles, TheThreeRecorderFormatsGiveEveryField) {
    RecordInfo f1 = Info("20061201123045000312345671.VOC", 80000);
    EXPECT_TRUE(f1.IsValid);
    EXPECT_EQ(f1.FileFullName, PathOf("20061201123045000312345671.VOC"));
    EXPECT_EQ(f1.RecordDateTime, "2006-12-01 12:30:45");
    EXPECT_EQ(f1.RecordChannel, "0003");
    EXPECT_EQ(f1.CallNumber, "12345671") << "the number keeps the direction digit";
    EXPECT_EQ(f1.CallDirection, "IN");
    EXPECT_EQ(f1.RecordDuration, "00:00:10") << "80 000 bytes of VOC at 8000 bytes a second";

    EXPECT_EQ(Info("20061201123045000312345670.voc").CallDirection, "OUT") << "lower-case extensions count too";

    // Date and time, channel, number, direction, length.
    using Fields = std::vector<std::string>;
    const auto fields = [](const RecordInfo& r) {
        return r.IsValid ? Fields{r.RecordDateTime, r.RecordChannel, r.CallNumber, r.CallDirection, r.RecordDuration}
                         : Fields{"not a recording"};
    };
    EXPECT_EQ(fields(Info("A_20061201123045_C12.VC8", 5000)),
              (Fields{"2006-12-01 12:30:45", "0012", "", "", "00:00:05"}));
    EXPECT_EQ(fields(Info("REC_5551234_061201123045_C7.WAV", 16000)),
              (Fields{"06-12-01 12:30:45", "0007", "5551234", "", "00:00:02"}));
}

TEST_F(NamedFiles, Channel128IsTheLastOneAcceptedInEveryFormat) {
    EXPECT_TRUE(Info("20061201123045012812345671.VOC").IsValid);
    EXPECT_FALSE(Info("20061201123045012912345671.VOC").IsValid);
    EXPECT_TRUE(Info("A_20061201123045_C128.VC8").IsValid);
    EXPECT_FALSE(Info("A_20061201123045_C129.VC8").IsValid);
    EXPECT_EQ(Info("REC_1_061201123045_C0128.WAV").RecordChannel, "0128");
    EXPECT_FALSE(Info("REC_1_061201123045_C129.WAV").IsValid);
    EXPECT_FALSE(Info("A_20061201123045_C1x.VC8").IsValid) << "a channel with a letter";
    EXPECT_FALSE(Info("A_20061301123045_C12.VC8").IsValid) << "month 13";
    EXPECT_FALSE(Info("20060230123045000312345671.VOC").IsValid) << "30 February";
}

TEST_F(NamedFiles, OtherNamesAreNotRecordings) {
    EXPECT_EQ(GetNameFormat("A_B_C_D_E.VOC"), 0) << "five pieces";
    EXPECT_EQ(GetNameFormat("A_B.VOC"), 0) << "two pieces";
    EXPECT_EQ(GetNameFormat("20061201123045000312345671.MP3"), 0);
    EXPECT_EQ(GetNameFormat(""), 0);
    EXPECT_EQ(GetNameFormat("_20061201123045.VOC"), 1) << "an underscore first is no prefix";
    EXPECT_EQ(GetNameFormat(" a_b_c.wav "), 2);
    EXPECT_EQ(GetNameFormat("a_b_c_d.NTC"), 3);
    RecordInfo five = Info("A_B_C_D_E.VOC");
    EXPECT_FALSE(five.IsValid);
    EXPECT_EQ(five.FileFullName, PathOf("A_B_C_D_E.VOC")) << "the log names the file";
}

TEST_F(NamedFiles, NamesThatCannotBeCutAreLoggedAndGiveAnEmptyRecord) {
    const struct {
        const char* name;
        const char* why;
    } cases[] = {
        {"VOC", "Invalid procedure call or argument"},                   // the name is only an extension
        {"20061201123045.VOC", "Type mismatch"},                         // empty channel
        {"A_20061201123045_C40000.VC8", "Overflow"},                     // beyond a 16-bit integer
        {"A_20061201123045_.VC8", "Type mismatch"},                      // empty last piece
    };
    for (const auto& c : cases) {
        RecordInfo info = Info(c.name);
        EXPECT_FALSE(info.IsValid) << c.name;
        EXPECT_EQ(info.FileFullName, "") << c.name << ": the record must be empty";
        EXPECT_EQ(staged_.LogMessages().back(), "!GetFileInfo File[" + PathOf(c.name) + "] " + c.why) << c.name;
    }
}

TEST(RecordingLength, SizeOverRateTruncatedAndAtLeastOneSecond) {
    StagedPlayer staged;
    const fs::path dir = staged.Folder();
    const struct {
        const char* name;
        std::uintmax_t size;
        int seconds;
    } cases[] = {{"a.VOC", 0, 1},     {"a.WAV", 8000 * 3 + 7999, 3}, {"a.vc2", 4000 * 5, 5},
                 {"a.VC5", 1600, 1},  {"a.NTC", 1000 * 3600 * 101, 363600}, {"a.dec", 999, 1},
                 {"a.VD8", 2000, 2},  {"a.VC8", 3000, 3}, {"a.txt", 100000, 1}};
    for (const auto& c : cases) {
        MakeFile(dir / c.name, c.size);
        EXPECT_EQ(DurationOf((dir / c.name).string()), c.seconds) << c.name;
    }
    EXPECT_EQ(ByteRate((dir / "a.txt").string()), 0);
    EXPECT_EQ(ByteRate((dir / "none.VOC").string()), 0) << "a missing file has no rate";
    EXPECT_EQ(DurationOf((dir / "none.VOC").string()), 1);
    EXPECT_EQ(FormatTime(0), "00:00:00");
    EXPECT_EQ(FormatTime(-1), "");
    EXPECT_EQ(FormatTime(3661), "01:01:01");
    EXPECT_EQ(FormatTime(363600), "101:00:00") << "hours are not limited to 24 or to two digits";
}
