// Reference counting and object life: what every host relies on.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "codec_framework/ref.h"
#include "test_codec.h"

using namespace Tessel;
using framework_test::g_destroyed;

namespace {

TEST(ReferenceCount, ReleaseOfTheLastReferenceDestroysTheObject) {
    g_destroyed = 0;
    ICodecEncoder* enc = NewObject<framework_test::CCodecEncoder>();
    ASSERT_NE(enc, nullptr);
    EXPECT_EQ(enc->GetRefCount(), 1) << "a new object must come with exactly one reference";

    EXPECT_EQ(enc->AddRef(), 2);
    EXPECT_EQ(enc->Release(), 1);
    EXPECT_EQ(g_destroyed, 0) << "destroyed while a reference was still held";
    EXPECT_STREQ(enc->GetCodecName(), "framework-test") << "object unusable after a non-final Release";

    EXPECT_EQ(enc->Release(), 0);
    EXPECT_EQ(g_destroyed, 1) << "the last Release did not destroy the object";
}

TEST(ReferenceCount, StaysExactWhenManyThreadsTakeAndDropReferences) {
    g_destroyed = 0;
    Ref<ICodecDecoder> dec(NewObject<framework_test::CCodecDecoder>());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; ++i) {
                dec->AddRef();
                dec->Release();
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(dec->GetRefCount(), 1) << "references were lost or gained between threads";
    EXPECT_EQ(g_destroyed, 0);
    dec.reset();
    EXPECT_EQ(g_destroyed, 1);
}

TEST(Factory, EncodersAndDecodersOutliveTheFactoryThatMadeThem) {
    g_destroyed = 0;
    Ref<ICodecFactory> factory(NewObject<framework_test::CCodecFactory>());
    ASSERT_TRUE(factory);
    Ref<ICodecEncoder> enc(factory->CreateEncoder());
    Ref<ICodecDecoder> dec(factory->CreateDecoder());
    ASSERT_TRUE(enc && dec);
    EXPECT_EQ(enc->GetRefCount(), 1);
    EXPECT_EQ(dec->GetRefCount(), 1);
    EXPECT_EQ(factory->GetRefCount(), 1) << "an encoder or decoder must not hold the factory";
    factory.reset();

    std::vector<int16_t> pcm(160, 0);
    std::vector<uint8_t> coded(320, 0);
    EXPECT_EQ(enc->Encode(coded.data(), pcm.data(), 1), 0);
    EXPECT_EQ(coded[319], 0x11);
    EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), 1, 0), 0);
    EXPECT_EQ(pcm[159], 7);
    EXPECT_STREQ(enc->GetClassName(), "CCodecEncoder");
    EXPECT_STREQ(dec->GetClassName(), "CCodecDecoder");
    enc.reset();
    dec.reset();
    EXPECT_EQ(g_destroyed, 2);
}

TEST(Factory, AnswersThePluginsPropertiesOnEveryObject) {
    Ref<ICodecFactory> factory(NewObject<framework_test::CCodecFactory>());
    Ref<ICodecEncoder> enc(factory->CreateEncoder());
    for (ICodec* c : {static_cast<ICodec*>(factory.get()), static_cast<ICodec*>(enc.get())}) {
        EXPECT_STREQ(c->GetModuleName(), "FrameworkTest.DLL");
        EXPECT_EQ(c->GetOwnFmtChunkSize(), 18);
        EXPECT_EQ(c->GetFrameSamples(), 160);
    }
    EXPECT_STREQ(factory->GetClassName(), "CCodecFactory");
}

}  // namespace
