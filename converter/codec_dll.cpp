// CCodecDLL (see codec_dll.h).
#include "codec_dll.h"

namespace velk {

Tessel::ModuleHandle CCodecDLL::Load(const char* name) {
    Base::Load(name);  // frees through our Free, which clears the export
    if (!IsLoaded()) return nullptr;
    create_ = reinterpret_cast<Tessel::CreateCodecFactoryFn>(GetExport(Tessel::kCreateCodecFactoryName));
    if (!create_) Base::Free();  // not a codec plug-in: report not loaded
    return GetHandle();
}

void CCodecDLL::Free() {
    create_ = nullptr;
    Base::Free();
}

Tessel::ICodecFactory* CCodecDLL::CreateCodecFactory() { return create_ ? create_() : nullptr; }

}  // namespace velk
