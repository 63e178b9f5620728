// SourceFile: the source recording read in chunks, and what it does when the
// file changes under it.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "converter/source_file.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

TEST(SourceFile, ReadsTheHeadAndThenFramesAcrossChunkBoundaries) {
    TempDir dir;
    const Bytes content = LinearFrames(2000);  // 640 000 bytes: more than two chunks
    WriteFile(dir / "a.raw", content);
    SourceFile file;
    ASSERT_TRUE(file.Open((dir / "a.raw").string()));
    ASSERT_EQ(file.Size(), content.size());
    ASSERT_EQ(file.HeadSize(), SourceFile::kHeadBytes);
    EXPECT_TRUE(std::equal(file.Head(), file.Head() + file.HeadSize(), content.begin()));
    file.Seek(58);
    for (size_t at = 58; at + 300 <= content.size(); at += 300) {
        const uint8_t* frame = file.Next(300);
        ASSERT_NE(frame, nullptr) << "frame at " << at;
        ASSERT_TRUE(std::equal(frame, frame + 300, content.begin() + long(at))) << "frame at " << at;
    }
}

TEST(SourceFile, RefusesAMissingEmptyOrNonRegularFileAtOnce) {
    TempDir dir;
    WriteFile(dir / "empty.raw", {});
    ASSERT_EQ(mkfifo((dir / "fifo.raw").c_str(), 0600), 0);
    SourceFile file;
    for (const fs::path& p : {dir / "missing.raw", dir / "empty.raw", dir.path(), fs::path(""), dir / "fifo.raw"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(file.Open(p.string())) << p;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << p << " blocked the open";
        EXPECT_FALSE(file.IsOpen()) << p;
    }
}

TEST(SourceFile, AFileThatShrinksOrIsDeletedEndsTheReadingWithoutASignal) {
    TempDir dir;
    WriteFile(dir / "a.raw", LinearFrames(2000));
    SourceFile shrinking;
    ASSERT_TRUE(shrinking.Open((dir / "a.raw").string()));
    ASSERT_EQ(truncate((dir / "a.raw").c_str(), 100), 0);
    shrinking.Seek(0);
    EXPECT_EQ(shrinking.Next(320), nullptr) << "a frame past the file's new end was handed out";

    WriteFile(dir / "b.raw", LinearFrames(2000));
    SourceFile deleted;
    ASSERT_TRUE(deleted.Open((dir / "b.raw").string()));
    fs::remove(dir / "b.raw");
    deleted.Seek(0);
    EXPECT_EQ(deleted.Next(320), nullptr) << "a deleted recording was read on";
}

}  // namespace
