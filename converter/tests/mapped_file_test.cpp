// CMappedFile: the source recording mapped read-only, whole.
#include "converter/mapped_file.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

TEST(MappedFile, MapsTheWholeFileReadOnly) {
    TempDir dir;
    const Bytes content = LinearFrames(3);
    WriteFile(dir / "a.raw", content);
    CMappedFile file;
    ASSERT_TRUE(file.Open((dir / "a.raw").string()));
    ASSERT_NE(file.View(), nullptr);
    ASSERT_EQ(file.Size(), content.size());
    EXPECT_TRUE(std::equal(content.begin(), content.end(), file.View()));
}

TEST(MappedFile, LeavesNothingMappedForAMissingEmptyOrNonRegularFile) {
    TempDir dir;
    WriteFile(dir / "empty.raw", {});
    CMappedFile file;
    for (const fs::path& p : {dir / "missing.raw", dir / "empty.raw", dir.path(), fs::path("")}) {
        EXPECT_FALSE(file.Open(p.string())) << p;
        EXPECT_EQ(file.View(), nullptr) << p;
        EXPECT_EQ(file.Size(), 0u) << p;
    }
}

TEST(MappedFile, OpeningAgainReplacesTheEarlierMapping) {
    TempDir dir;
    WriteFile(dir / "a.raw", Bytes(100, 0xAA));
    WriteFile(dir / "b.raw", Bytes(7, 0xBB));
    CMappedFile file;
    ASSERT_TRUE(file.Open((dir / "a.raw").string()));
    ASSERT_TRUE(file.Open((dir / "b.raw").string()));
    EXPECT_EQ(file.Size(), 7u);
    EXPECT_EQ(file.View()[6], 0xBB);
    EXPECT_FALSE(file.Open((dir / "missing").string()));
    EXPECT_EQ(file.View(), nullptr) << "a failed open must not leave the earlier file mapped";
}

TEST(MappedFile, KeepsTheMappingAfterTheFileIsRemoved) {
    TempDir dir;
    WriteFile(dir / "a.raw", Bytes(4096, 0x5A));
    CMappedFile file;
    ASSERT_TRUE(file.Open((dir / "a.raw").string()));
    fs::remove(dir / "a.raw");
    EXPECT_EQ(file.View()[4095], 0x5A);
}

}  // namespace
