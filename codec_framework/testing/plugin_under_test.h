// PluginUnderTest: a codec plug-in loaded in a test exactly as a host loads
// it -- by name through TDLLHelper, the factory from its one export, every
// object reached only through the interfaces. Nothing of the plug-in is
// linked into the test, so what passes here passes across the binary
// contract between separately built libraries.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "codec_framework/dll_helper.h"
#include "codec_framework/plugin_export.h"
#include "codec_framework/ref.h"

namespace Tessel::testing {

class PluginUnderTest {
public:
    explicit PluginUnderTest(const std::string& name) {
        dll_.Load(name.c_str());
        create_ = reinterpret_cast<CreateCodecFactoryFn>(dll_.GetExport(kCreateCodecFactoryName));
    }
    // Objects must all be released before this goes (it unloads the code).

    bool Loaded() { return dll_.IsLoaded() && create_ != nullptr; }
    TDLLHelper<>& Dll() { return dll_; }

    Ref<ICodecFactory> Factory() { return Ref<ICodecFactory>(create_ ? create_() : nullptr); }
    Ref<ICodecEncoder> Encoder() { return Ref<ICodecEncoder>(Factory()->CreateEncoder()); }
    Ref<ICodecDecoder> Decoder() { return Ref<ICodecDecoder>(Factory()->CreateDecoder()); }

private:
    TDLLHelper<> dll_;
    CreateCodecFactoryFn create_ = nullptr;
};

// The program folder's test-only libraries (test-libs/), by file name.
std::string TestLibrary(const std::string& file);

}  // namespace Tessel::testing
