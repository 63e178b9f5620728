// The names exported WAVs get: the separator the picked folder is given,
// the cut extension, short names, and two rows of the same file name.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "player/core/files/export_name.h"

using namespace player;

TEST(ExportNames, TheFolderGetsItsSeparatorAndEachRowANameOfItsOwnInIt) {
    EXPECT_EQ(ExportFolder("/home/op/out"), "/home/op/out/");
    EXPECT_EQ(ExportFolder("/"), "//") << "the root, like a drive root, ends in two separators";
    EXPECT_EQ(ExportFolder("d:\\out"), "d:\\out\\");
    EXPECT_EQ(ExportFolder("out"), "out");
    EXPECT_EQ(ExportFolder("/home/op/a\\b"), "/home/op/a\\b/") << "a backslash in a Linux folder's name is no separator";

    std::set<std::string> taken;
    EXPECT_EQ(ExportTargetName("/out/", "/calls/0001/20240506093000_0001_555_IN.VC8", taken),
              "/out/20240506093000_0001_555_IN.wav");
    EXPECT_EQ(ExportTargetName("//", "/calls/a.WAV", taken), "//a.wav");
    EXPECT_EQ(ExportTargetName("/out/", "/calls/a.b", taken), "/out/a.b.wav") << "a short name lost all of itself";
    EXPECT_EQ(ExportTargetName("/out/", "/calls/.VC8", taken), "/out/.VC8.wav");
    EXPECT_EQ(ExportTargetName("/out/", "/calls/0002/20240506093000_0001_555_IN.VC8", taken),
              "/out/20240506093000_0001_555_IN (2).wav")
        << "a second row of the same name would overwrite the first one's export";
    EXPECT_EQ(ExportTargetName("/out/", "/calls/0003/20240506093000_0001_555_IN.NTC", taken),
              "/out/20240506093000_0001_555_IN (3).wav");
}
