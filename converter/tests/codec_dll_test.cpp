// The format-code table and the codec-library holder.
#include "codec_framework/ref.h"
#include "converter/codec_dll.h"
#include "converter/format_table.h"
#include "converter_testing.h"

using namespace velk;
using velk::testing::StillLoaded;
using velk::testing::TestLib;

namespace {

TEST(FormatTable, NamesEachKnownCodeExactlyAndNothingElse) {
    EXPECT_STREQ(CodecLibraryName(0), "AuralCodecG711a.dll");
    EXPECT_STREQ(CodecLibraryName(1), "AuralCodecDlg32K.dll");
    EXPECT_STREQ(CodecLibraryName(2), "AuralCodecDlg24k.dll");
    EXPECT_STREQ(CodecLibraryName(3), "AuralCodecWren2.dll");
    EXPECT_STREQ(CodecLibraryName(16), "AuralCodecLinear.dll");
    EXPECT_STREQ(CodecLibraryName(20), "AuralCodecWren.dll");
    for (int32_t unknown : {4, -1, 15, 17, 21, 256, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(CodecLibraryName(unknown), "") << "code " << unknown << " must name no library";
}

TEST(CodecDll, LoadsTheLinearPluginForCode16AndHandsOutItsFactory) {
    CCodecDLL dll(CodecLibraryName(16));
    ASSERT_TRUE(dll.IsLoaded()) << platform::dynlib::LastError();
    EXPECT_STREQ(dll.GetFileName(), "AuralCodecLinear.dll");
    Tessel::Ref<Tessel::ICodecFactory> a(dll.CreateCodecFactory()), b(dll.CreateCodecFactory());
    ASSERT_TRUE(a && b);
    EXPECT_STREQ(a->GetCodecName(), "linear");
    EXPECT_NE(a.get(), b.get()) << "every call must make a new factory";
    EXPECT_EQ(a->GetRefCount(), 1);
}

TEST(CodecDll, ReportsUnknownCodesAndUninstalledPluginsAsNotLoaded) {
    for (int32_t code : {4, -1, 20}) {
        CCodecDLL dll(CodecLibraryName(code));
        EXPECT_FALSE(dll.IsLoaded()) << "code " << code;
        EXPECT_EQ(dll.CreateCodecFactory(), nullptr) << "code " << code;
    }
}

TEST(CodecDll, UnloadsALibraryWithoutCreateCodecFactoryAgain) {
    const std::string path = TestLib("StandInNotACodec");
    CCodecDLL dll(path.c_str());
    EXPECT_FALSE(dll.IsLoaded()) << "a library without CreateCodecFactory was reported loaded";
    EXPECT_EQ(dll.GetHandle(), nullptr);
    EXPECT_EQ(dll.CreateCodecFactory(), nullptr);
    EXPECT_FALSE(StillLoaded(path)) << "the library without the export stayed in memory";
    EXPECT_EQ(dll.GetFileName(), path) << "the name that was tried is kept for the messages";
}

TEST(CodecDll, ForgetsTheOldExportWhenLoadedAgain) {
    CCodecDLL dll(CodecLibraryName(16));
    ASSERT_TRUE(dll.IsLoaded());
    dll.Load(TestLib("StandInNotACodec").c_str());
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_EQ(dll.CreateCodecFactory(), nullptr) << "a factory came from a library that is no longer loaded";
    dll.Load(TestLib("StandInHeadered").c_str());
    Tessel::Ref<Tessel::ICodecFactory> f(dll.CreateCodecFactory());
    ASSERT_TRUE(f);
    EXPECT_STREQ(f->GetCodecName(), "stand-in a-law");
}

}  // namespace
