// The line a job writes for each result code.
#include "converter/convert_job.h"
#include "converter_testing.h"

using namespace velk;

namespace {

TEST(DescribeResult, WritesTheFixedTextNamingTheLibraryOrFileConcerned) {
    ConvertState state;
    CConvertJob job("Target.dll", "Source.dll", "/rec/out.wav", "/rec/in.vc8", state);
    ASSERT_EQ(job.Result(), kTargetLibraryNotLoaded);
    const std::pair<int32_t, const char*> lines[] = {
        {0, "conv success!\n"},
        {-1, "can't load DLL:Target.dll\n"},
        {-2, "can't load DLL:Source.dll\n"},
        {-3, "can't create CodecEncoder from CodecFactory:Target.dll\n"},
        {-4, "can't create CodecDecoder from CodecFactory:Source.dll\n"},
        {-5, "can't get CodecFactory from DLL:Target.dll\n"},
        {-6, "can't get CodecFactory from DLL:Source.dll\n"},
        {-7, "can't init CodecEncoder:Target.dll\n"},
        {-8, "can't init CodecDecoder:Source.dll\n"},
        {-9, "CodecEncoder frame size not supported:Target.dll\n"},
        {-10, "CodecDecoder frame size not supported:Source.dll\n"},
        {-11, "can't open source wav file:/rec/in.vc8\n"},
        {-12, "can't create target wav file:/rec/out.wav\n"},
        {-13, "source wav file too small:/rec/in.vc8\n"},
        {-14, "source wav file format error:/rec/in.vc8\n"},
        {-15, "can't create convert thread!\n"},
        {-16, "target wav file too large:/rec/out.wav\n"},
        {-88, "Unknown error:-88\n"},
        {-17, "target wav file is the source wav file:/rec/out.wav\n"},
        {-18, "Unknown error:-18\n"},
        {7, "Unknown error:7\n"},
    };
    for (const auto& [code, text] : lines) {
        ::testing::internal::CaptureStdout();
        std::ostream& out = job.DescribeResult(code);
        out.flush();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), text) << "code " << code;
        EXPECT_EQ(&out, &std::cout);
    }
}

}  // namespace
