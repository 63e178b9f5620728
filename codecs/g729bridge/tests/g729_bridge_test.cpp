// The bridge's binding to its outside library, seen with stand-ins for that
// library: none at all, one that lacks an entry point, and one that records
// every call. Each test stages a program folder of its own holding the
// bridge and the stand-in under the outside library's name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "standins/recording_wren2.h"

namespace fs = std::filesystem;
using namespace Tessel;
using Tessel::testing::PluginUnderTest;
using wren2_standin::Record;

namespace {

class G729BridgeWithStandIns : public ::testing::Test {
protected:
    void SetUp() override {
        built_ = platform::dynlib::ProgramFolder();
        char pattern[] = "/tmp/g729bridge-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        fs::copy_file(built_ / "AuralCodecWren2.so", folder_ / "AuralCodecWren2.so");
        setenv("CALLDECK_PROGRAM_FOLDER", folder_.c_str(), 1);
    }
    void TearDown() override {
        bridge_.reset();
        if (standIn_) dlclose(standIn_);
        unsetenv("CALLDECK_PROGRAM_FOLDER");
        fs::remove_all(folder_);
    }

    // Stages a stand-in as AuralWren2 (nothing for an empty name) and loads
    // the bridge by its full path.
    PluginUnderTest& Bridge(const std::string& standIn = "") {
        if (!standIn.empty()) fs::copy_file(built_ / "test-libs" / standIn, StandInFile());
        bridge_ = std::make_unique<PluginUnderTest>((folder_ / "AuralCodecWren2.so").string());
        EXPECT_TRUE(bridge_->Loaded()) << "the bridge plug-in did not load: " << platform::dynlib::LastError();
        return *bridge_;
    }
    fs::path StandInFile() const { return folder_ / "AuralWren2.so"; }
    // The stand-in's notes; it stays loaded until the test ends.
    Record& Notes() {
        if (!standIn_) standIn_ = dlopen(StandInFile().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!standIn_) throw std::runtime_error("the bridge has not loaded the stand-in AuralWren2");
        return *reinterpret_cast<wren2_standin::RecordFn>(dlsym(standIn_, wren2_standin::kRecordName))();
    }
    bool StandInLoaded() const {
        void* h = dlopen(StandInFile().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h) dlclose(h);
        return h != nullptr;
    }

    fs::path built_, folder_;
    std::unique_ptr<PluginUnderTest> bridge_;
    void* standIn_ = nullptr;
};

// The library-holder face of a bridge encoder or decoder.
IDLL* DllFace(ICodec* codec) { return dynamic_cast<IDLL*>(codec); }

const std::vector<int16_t> kPcm(3 * 160, 1000);

TEST_F(G729BridgeWithStandIns, WithoutTheOutsideLibraryCodecsAreMadeButNotReadyAndWriteSilence) {
    auto& bridge = Bridge();
    auto enc = bridge.Encoder();
    auto dec = bridge.Decoder();
    ASSERT_TRUE(enc && dec) << "a missing outside library must not stop the objects being made";
    for (ICodec* c : {static_cast<ICodec*>(enc.get()), static_cast<ICodec*>(dec.get())}) {
        IDLL* dll = DllFace(c);
        ASSERT_NE(dll, nullptr) << "no library-holder face on " << c->GetClassName();
        EXPECT_FALSE(dll->IsLoaded());
        EXPECT_STREQ(dll->GetFileName(), "AuralWren2.dll");
        EXPECT_STREQ(c->GetModuleName(), "AuralWren2.dll");
        EXPECT_STREQ(dll->GetClassName(), c->GetClassName());
    }
    EXPECT_EQ(enc->Init(), -1);
    EXPECT_EQ(dec->Init(), -1);

    std::vector<uint8_t> coded(2 * 20 + 1, 0xEE);
    EXPECT_EQ(enc->Encode(coded.data(), kPcm.data(), 2), 0);
    EXPECT_TRUE(std::all_of(coded.begin(), coded.end() - 1, [](uint8_t b) { return b == 0; }))
        << "frames without a coder must come out as zero bytes";
    EXPECT_EQ(coded.back(), 0xEE) << "Encode wrote past two frames";
    std::vector<int16_t> pcm(2 * 160 + 1, 77);
    EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), 2, 0), 0);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end() - 1, [](int16_t s) { return s == 0; }))
        << "frames without a decoder must come out as silence";
    EXPECT_EQ(pcm.back(), 77) << "Decode wrote past two frames";
}

TEST_F(G729BridgeWithStandIns, WithAnEntryPointMissingInitCallsTheInitEntryYetSaysNotReady) {
    auto& bridge = Bridge("AuralWren2NoBlockDecoder.so");
    auto enc = bridge.Encoder();
    auto dec = bridge.Decoder();
    EXPECT_TRUE(DllFace(enc.get())->IsLoaded());
    EXPECT_EQ(enc->Init(), -1) << "an encoder whose library lacks Wren2Call7 said it was ready";
    EXPECT_EQ(dec->Init(), -1) << "a decoder without its block decoder said it was ready";
    EXPECT_EQ(Notes().encoderInits, 1);
    EXPECT_EQ(Notes().decoderInits, 1);

    std::vector<int16_t> pcm(160, 77);
    std::vector<uint8_t> coded(20, 1);
    EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), 1, 0), 0);
    EXPECT_EQ(std::count(pcm.begin(), pcm.end(), 0), 160) << "an unbound block decoder must give silence";
    EXPECT_EQ(Notes().blockCalls, 0);
}

TEST_F(G729BridgeWithStandIns, HandsEveryBlockOfAFrameToTheLibraryInOrderWithTheCallersFlag) {
    auto& bridge = Bridge("AuralWren2Recording.so");
    auto enc = bridge.Encoder();
    auto dec = bridge.Decoder();
    ASSERT_EQ(enc->Init(), 0);
    ASSERT_EQ(dec->Init(), 0);
    Record& notes = Notes();
    EXPECT_EQ(notes.encoderInits, 1);
    EXPECT_EQ(notes.decoderInits, 1);

    std::vector<uint8_t> coded(3 * 20);
    std::vector<int16_t> pcm(3 * 160);
    enc->Encode(coded.data(), kPcm.data(), 3);
    ASSERT_EQ(notes.blockCalls, 6) << "3 frames of 20 ms are 6 blocks of 10 ms";
    for (int i = 0; i < 6; ++i) {
        const auto& call = notes.log[i];
        EXPECT_EQ(call.entry, 3);
        EXPECT_EQ(call.in, kPcm.data() + 80 * i) << "block " << i << " read the wrong samples";
        EXPECT_EQ(call.out, coded.data() + 10 * i) << "block " << i << " wrote to the wrong bytes";
    }

    for (int32_t flag : {0, 1, -7}) {
        notes.blockCalls = 0;
        dec->Decode(pcm.data(), coded.data(), 3, flag);
        ASSERT_EQ(notes.blockCalls, 6);
        for (int i = 0; i < 6; ++i) {
            const auto& call = notes.log[i];
            EXPECT_EQ(call.entry, 7);
            EXPECT_EQ(call.in, coded.data() + 10 * i) << "block " << i << " decoded the wrong bytes";
            EXPECT_EQ(call.out, pcm.data() + 80 * i) << "block " << i << " wrote to the wrong samples";
            EXPECT_EQ(call.flag, flag) << "Decode did not hand its flag to block " << i;
        }
    }

    notes.blockCalls = 0;
    for (int32_t frames : {0, -1}) {
        enc->Encode(coded.data(), kPcm.data(), frames);
        dec->Decode(pcm.data(), coded.data(), frames, 0);
    }
    EXPECT_EQ(notes.blockCalls, 0) << "no frames must make no block call";
}

TEST_F(G729BridgeWithStandIns, BothFacesShareOneReferenceCountAndTheLastReleaseDestroysOnce) {
    auto factory = Bridge("AuralWren2Recording.so").Factory();
    ICodec* objects[] = {factory->CreateEncoder(), factory->CreateDecoder()};
    for (ICodec* codec : objects) {
        IDLL* dll = DllFace(codec);
        EXPECT_EQ(dll->AddRef(), 2);
        EXPECT_EQ(codec->GetRefCount(), 2) << "a reference taken on the library face did not count";
        EXPECT_EQ(codec->AddRef(), 3);
        EXPECT_EQ(dll->GetRefCount(), 3);
        EXPECT_EQ(codec->Release(), 2);
        EXPECT_EQ(dll->Release(), 1);
    }
    EXPECT_TRUE(StandInLoaded()) << "an object was destroyed while a reference was held";
    // The encoder goes by its codec face, the decoder by its library face.
    EXPECT_EQ(objects[0]->Release(), 0);
    EXPECT_TRUE(StandInLoaded()) << "the decoder's binding went with the encoder";
    EXPECT_EQ(DllFace(objects[1])->Release(), 0);
    EXPECT_FALSE(StandInLoaded()) << "the last Release did not destroy the objects and free their library";
}

TEST_F(G729BridgeWithStandIns, FreeingTheLibraryLeavesACodecThatSaysNotReadyUntilLoadedAgain) {
    auto& bridge = Bridge("AuralWren2Recording.so");
    auto enc = bridge.Encoder();
    IDLL* dll = DllFace(enc.get());
    ASSERT_EQ(enc->Init(), 0);
    dll->Free();
    EXPECT_FALSE(StandInLoaded());
    EXPECT_EQ(enc->Init(), -1) << "entry points into an unloaded library were kept";
    std::vector<uint8_t> coded(20, 0xEE);
    enc->Encode(coded.data(), kPcm.data(), 1);  // must not call into the unloaded library
    EXPECT_EQ(std::count(coded.begin(), coded.end(), 0), 20);

    EXPECT_NE(dll->Load("AuralWren2.dll"), nullptr);
    EXPECT_EQ(enc->Init(), 0) << "Load did not bind the entry points again";
    enc->Encode(coded.data(), kPcm.data(), 1);
    EXPECT_EQ(Notes().blockCalls, 2);
}

}  // namespace
