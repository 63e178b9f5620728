// CCodecDLL: the holder of one codec plug-in library, and ICodecDLL, the
// library-holder interface it answers.
//
// A job holds two of them, one for its source format and one for its
// target format. The holder loads the library by file name, finds its one
// export, CreateCodecFactory, and hands out factories through it. A library
// that loads but lacks the export is of no use as a codec: it is unloaded
// again at once and the holder reports itself not loaded, so a job sees a
// missing library and a foreign one alike.
//
// The holders are fields of the job; their reference counts are not used.
// Each conversion loads its libraries afresh; when source and target are
// the same codec the loader counts the two loads.
#pragma once

#include "codec_framework/dll_helper.h"
#include "codec_framework/plugin_export.h"
#include "codec_framework/root_adapter.h"

namespace velk {

class ICodecDLL : public Tessel::IDLL {
public:
    // 9: a new factory with count 1 (the caller releases it), or null when
    // the library has no export or the plug-in could not make one.
    virtual Tessel::ICodecFactory* CreateCodecFactory() = 0;
};

class CCodecDLL final : public Tessel::TDLLHelper<Tessel::_RootAdapter<ICodecDLL>> {
    using Base = Tessel::TDLLHelper<Tessel::_RootAdapter<ICodecDLL>>;

public:
    CCodecDLL() = default;
    explicit CCodecDLL(const char* name) { CCodecDLL::Load(name); }

    // Loads `name` and looks up its export; without the export the library
    // is unloaded again and the result is null.
    Tessel::ModuleHandle Load(const char* name) override;
    void Free() override;
    Tessel::ICodecFactory* CreateCodecFactory() override;

private:
    Tessel::CreateCodecFactoryFn create_ = nullptr;
};

}  // namespace velk
