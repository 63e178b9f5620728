#include "expect_properties.h"

namespace Tessel::testing {

void ExpectProperties(PluginUnderTest& plugin, const ExpectedProperties& expected) {
    ASSERT_TRUE(plugin.Loaded());
    auto factory = plugin.Factory();
    ASSERT_TRUE(factory) << "CreateCodecFactory gave no factory";
    Ref<ICodecEncoder> enc(factory->CreateEncoder());
    Ref<ICodecDecoder> dec(factory->CreateDecoder());
    ASSERT_TRUE(enc && dec) << "the factory made no encoder or no decoder";

    struct Object {
        ICodec* codec;
        const char* className;
    };
    for (Object o : {Object{factory.get(), "CCodecFactory"}, Object{enc.get(), "CCodecEncoder"},
                     Object{dec.get(), "CCodecDecoder"}}) {
        SCOPED_TRACE(o.className);
        EXPECT_STREQ(o.codec->GetClassName(), o.className);
        EXPECT_STREQ(o.codec->GetModuleName(), expected.moduleName);
        EXPECT_EQ(o.codec->GetCodecType(), expected.codecType);
        EXPECT_EQ(o.codec->GetFormatTag(), expected.formatTag);
        EXPECT_STREQ(o.codec->GetCodecName(), expected.codecName);
        EXPECT_EQ(o.codec->GetBitRate(), expected.bitRate);
        EXPECT_EQ(o.codec->GetFrameDuration(), expected.frameDuration);
        EXPECT_EQ(o.codec->GetCodedFrameSize(), expected.codedFrameSize);
        EXPECT_EQ(o.codec->GetPcmFrameSize(), expected.pcmFrameSize);
        EXPECT_EQ(o.codec->GetFrameSamples(), expected.frameSamples);
        EXPECT_EQ(o.codec->GetOwnFmtChunkSize(), expected.ownFmtChunkSize);
        EXPECT_EQ(o.codec->GetOwnHeaderSize(), expected.ownHeaderSize)
            << (expected.ownHeaderSize ? "recordings in this format begin with a WAV header"
                                       : "recordings in this format are raw, without a header");
    }
    EXPECT_EQ(enc->Init(), 0) << "the encoder is not ready";
    EXPECT_EQ(dec->Init(), 0) << "the decoder is not ready";
}

}  // namespace Tessel::testing
