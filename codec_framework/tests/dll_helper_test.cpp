// TDLLHelper, the framework's library holder, and plug-ins living side by
// side in one process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "codec_framework/testing/plugin_under_test.h"

using namespace Tessel;
using Tessel::testing::PluginUnderTest;
using Tessel::testing::TestLibrary;

namespace {

bool StillLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

const std::string kAlt = TestLibrary("TesselAltCodec.so");

TEST(LibraryHolder, KeepsTheNameOfALibraryThatCouldNotBeLoaded) {
    TDLLHelper<> dll;
    EXPECT_STREQ(dll.GetClassName(), "TDLLHelper");
    EXPECT_STREQ(dll.GetFileName(), "");
    EXPECT_EQ(dll.Load("AuralCodecMissing.dll"), nullptr);
    EXPECT_FALSE(dll.IsLoaded());
    EXPECT_EQ(dll.GetHandle(), nullptr);
    EXPECT_STREQ(dll.GetFileName(), "AuralCodecMissing.dll");
    dll.Free();  // nothing held: nothing happens
    EXPECT_FALSE(dll.IsLoaded());
}

TEST(LibraryHolder, UnloadsTheFirstLibraryBeforeLoadingASecond) {
    TDLLHelper<> dll(kAlt.c_str());
    ASSERT_TRUE(dll.IsLoaded()) << kAlt;
    EXPECT_TRUE(StillLoaded(kAlt));
    EXPECT_NE(dll.Load("AuralCodecLinear.dll"), nullptr);
    EXPECT_FALSE(StillLoaded(kAlt)) << "the first library stayed loaded";
    EXPECT_STREQ(dll.GetFileName(), "AuralCodecLinear.dll");
    EXPECT_NE(dll.GetHandle(), nullptr);
}

TEST(LibraryHolder, UnloadsOnFreeAndOnDestruction) {
    {
        TDLLHelper<> dll(kAlt.c_str());
        dll.Free();
        EXPECT_FALSE(dll.IsLoaded());
        EXPECT_FALSE(StillLoaded(kAlt)) << "Free left the library loaded";
        dll.Load(kAlt.c_str());
        EXPECT_TRUE(StillLoaded(kAlt));
    }
    EXPECT_FALSE(StillLoaded(kAlt)) << "destroying the holder left the library loaded";

    auto* counted = NewObject<TDLLHelper<>>(kAlt.c_str());
    EXPECT_EQ(counted->GetRefCount(), 1);
    EXPECT_EQ(counted->Release(), 0);
    EXPECT_FALSE(StillLoaded(kAlt));
}

// A holder with its own Free, as the G.729 bridge has: Load must reach it.
class CountingHolder : public TDLLHelper<> {
public:
    int frees = 0;
    void Free() override {
        ++frees;
        TDLLHelper<>::Free();
    }
};

TEST(LibraryHolder, LoadGoesThroughADerivedHoldersFree) {
    CountingHolder dll;
    dll.Load(kAlt.c_str());
    dll.Load(kAlt.c_str());
    EXPECT_EQ(dll.frees, 2);
    EXPECT_TRUE(dll.IsLoaded());
}

TEST(PluginEntry, EveryCallMakesANewFactoryWithOneReference) {
    PluginUnderTest alt(kAlt);
    ASSERT_TRUE(alt.Loaded());
    auto a = alt.Factory();
    auto b = alt.Factory();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(b->GetRefCount(), 1);
}

// Both plug-ins define CCodecFactory, CCodecEncoder, CCodecDecoder and
// kThisCodec; loaded into one process each must still answer its own.
TEST(PluginEntry, TwoPluginsInOneProcessEachAnswerTheirOwnValues) {
    PluginUnderTest linear("AuralCodecLinear.dll");
    PluginUnderTest alt(kAlt);
    ASSERT_TRUE(linear.Loaded() && alt.Loaded());
    auto linearEnc = linear.Encoder();
    auto altEnc = alt.Encoder();
    auto linearDec = linear.Decoder();
    auto altDec = alt.Decoder();

    EXPECT_STREQ(linearEnc->GetModuleName(), "AuralCodecLinear.DLL");
    EXPECT_STREQ(altEnc->GetModuleName(), "TesselAltCodec.DLL");
    EXPECT_STREQ(altEnc->GetClassName(), linearEnc->GetClassName());
    EXPECT_EQ(linearEnc->GetCodedFrameSize(), 320);
    EXPECT_EQ(altEnc->GetCodedFrameSize(), 100);
    EXPECT_EQ(altEnc->GetOwnFmtChunkSize(), 20);
    EXPECT_EQ(altDec->Init(), -1);
    EXPECT_EQ(linearDec->Init(), 0);

    std::vector<int16_t> pcm(160, 1000);
    std::vector<uint8_t> coded(320, 0);
    linearEnc->Encode(coded.data(), pcm.data(), 1);
    EXPECT_EQ(coded[0], 1000 & 0xFF) << "the linear encoder ran the other plug-in's code";
    altEnc->Encode(coded.data(), pcm.data(), 1);
    EXPECT_EQ(coded[0], 0xA5);
    altDec->Decode(pcm.data(), coded.data(), 1, 0);
    EXPECT_EQ(pcm[0], -4242);

    uint8_t header[128];
    EXPECT_EQ(altEnc->WriteHeader(header, 10), 60);
    EXPECT_EQ(linearEnc->WriteHeader(header, 10), 58);
}

}  // namespace
