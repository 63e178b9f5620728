// The loader finds libraries by the Windows-style names the system writes.
#include "platform/dynlib/dynlib.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;
using namespace platform::dynlib;

namespace {

using AnswerFn = int (*)();

// A program folder of the test's own, named through CALLDECK_PROGRAM_FOLDER,
// into which probe libraries are copied under the names a case needs.
class StagedProgramFolder : public ::testing::Test {
protected:
    void SetUp() override {
        built_ = ProgramFolder() / "test-libs";
        char pattern[] = "/tmp/dynlib-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        setenv("CALLDECK_PROGRAM_FOLDER", folder_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("CALLDECK_PROGRAM_FOLDER");
        fs::remove_all(folder_);
    }
    // Copies probe build 1 or 2 into the staged folder as `file`.
    fs::path Stage(const std::string& file, int build = 1) {
        fs::copy_file(built_ / (build == 1 ? "DynlibProbe.so" : "DynlibProbeOther.so"), folder_ / file);
        return folder_ / file;
    }
    static int AnswerOf(const Library& lib) {
        auto fn = reinterpret_cast<AnswerFn>(lib.symbol("DynlibProbeAnswer"));
        return fn ? fn() : -1;
    }
    static bool IsLoaded(const fs::path& file) {
        void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

    fs::path built_;
    fs::path folder_;
};

TEST_F(StagedProgramFolder, FindsEveryCodecNameOfTheFormatTableWhateverItsLetterCase) {
    Stage("AuralCodecDlg32k.so");
    Stage("AuralCodecDlg24k.so", 2);
    for (const char* name : {"AuralCodecDlg32K.dll", "auralcodecdlg32k.DLL", "AURALCODECDLG32K.dll"}) {
        Library lib(name);
        ASSERT_TRUE(lib) << name << " was not found: " << LastError();
        EXPECT_EQ(AnswerOf(lib), 1) << name;
    }
    Library small_k("AuralCodecDlg24k.dll");
    Library capital_k("AuralCodecDlg24K.DLL");
    EXPECT_EQ(AnswerOf(small_k), 2);
    EXPECT_EQ(AnswerOf(capital_k), 2);
}

TEST_F(StagedProgramFolder, PicksTheSameFileEveryTimeWhenSeveralSpellingsExist) {
    Stage("probe.so", 1);
    Stage("PROBE.so", 2);
    EXPECT_EQ(AnswerOf(Library("probe.dll")), 1) << "the exact spelling must win";
    EXPECT_EQ(AnswerOf(Library("PROBE.dll")), 2) << "the exact spelling must win";
    const int first = AnswerOf(Library("Probe.dll"));
    EXPECT_NE(first, -1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(AnswerOf(Library("Probe.dll")), first);
}

TEST_F(StagedProgramFolder, FindsAFileNamedExactlyAsRequestedToo) {
    Stage("Legacy.dll");
    EXPECT_EQ(AnswerOf(Library("legacy.DLL")), 1);
}

TEST_F(StagedProgramFolder, SearchesTheProgramFolderBeforeTheSystem) {
    Stage("libm.so.6");
    EXPECT_EQ(AnswerOf(Library("libm.so.6")), 1) << "a system library was loaded instead of the program folder's";
}

TEST_F(StagedProgramFolder, UsesANameWithAFolderAsItStands) {
    const fs::path file = Stage("AuralCodecLinear.so");
    EXPECT_EQ(AnswerOf(Library(file.string())), 1);
    EXPECT_FALSE(Library((folder_ / "AuralCodecLinear.dll").string()))
        << "a path must not be mapped to another file name";
}

TEST_F(StagedProgramFolder, SaysWhyAMissingOrDamagedLibraryWasNotLoaded) {
    EXPECT_EQ(Open("NoSuchCodec.dll"), nullptr);
    EXPECT_FALSE(LastError().empty());

    std::ofstream(folder_ / "Damaged.so") << "not a library";
    EXPECT_EQ(Open("Damaged.dll"), nullptr);
    EXPECT_FALSE(LastError().empty());

    EXPECT_EQ(Open(""), nullptr);
    EXPECT_EQ(Symbol(nullptr, "anything"), nullptr);
}

TEST_F(StagedProgramFolder, FallsBackToTheSystemSearch) {
    Library libm("libm.so.6");
    ASSERT_TRUE(libm) << LastError();
    EXPECT_NE(libm.symbol("cos"), nullptr);
    EXPECT_EQ(libm.symbol("NoSuchFunction"), nullptr);
}

TEST_F(StagedProgramFolder, UnloadsALibraryWhenItsHolderGoes) {
    const fs::path file = Stage("Transient.so");
    {
        Library lib("Transient.dll");
        ASSERT_TRUE(lib);
        EXPECT_TRUE(IsLoaded(file));
        Library moved = std::move(lib);
        EXPECT_FALSE(lib);
        EXPECT_TRUE(IsLoaded(file));
    }
    EXPECT_FALSE(IsLoaded(file)) << "the library stayed loaded after its holder was destroyed";
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutableUnlessOverridden) {
    unsetenv("CALLDECK_PROGRAM_FOLDER");
    EXPECT_EQ(fs::canonical(ProgramFolder()), fs::canonical(CALLDECK_BUILT_PROGRAM_FOLDER));
    setenv("CALLDECK_PROGRAM_FOLDER", "/tmp", 1);
    EXPECT_EQ(ProgramFolder(), fs::path("/tmp"));
    unsetenv("CALLDECK_PROGRAM_FOLDER");
}

}  // namespace
