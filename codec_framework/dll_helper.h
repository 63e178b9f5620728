// TDLLHelper: the framework's holder of one loaded library.
//
// It loads a library by file name, keeps the handle and the name, and
// unloads it; while it holds a handle the library stays loaded. The
// conversion library builds its codec-library holder on it, and the G.729
// bridge builds its binding to the outside codec library on it, which is
// why the base is a template parameter: TDLLHelper<> sits over
// _RootAdapter<IDLL>, a holder with more operations over
// _RootAdapter<ISomethingDerivedFromIDLL>.
//
// Load calls Free through the virtual table, so that a derived holder's own
// Free runs before anything new is loaded; the destructor unloads directly.
// Names are found by platform/dynlib (Windows-style names, case-blind in the
// program folder).
#pragma once

#include <string>

#include "interfaces.h"
#include "platform/dynlib/dynlib.h"
#include "root_adapter.h"

namespace Tessel {

template <class Base = _RootAdapter<IDLL>>
class TDLLHelper : public Base {
public:
    TDLLHelper() = default;
    // Performs the steps of Load (this class's, not a derived one's: the
    // derived part does not exist yet).
    explicit TDLLHelper(const char* name) { TDLLHelper::Load(name); }

    const char* GetClassName() override { return "TDLLHelper"; }
    const char* GetFileName() override { return fileName_.c_str(); }

    ModuleHandle Load(const char* name) override {
        fileName_ = name ? name : "";  // kept even when loading fails
        this->Free();
        library_.reset(platform::dynlib::Open(fileName_));
        return library_.get();
    }

    void Free() override { library_.reset(); }
    bool IsLoaded() override { return bool(library_); }
    ModuleHandle GetHandle() override { return library_.get(); }

    // An export of the loaded library; null when none is loaded or the name
    // is missing.
    void* GetExport(const char* name) const { return library_.symbol(name); }

private:
    std::string fileName_;
    platform::dynlib::Library library_;
};

}  // namespace Tessel
