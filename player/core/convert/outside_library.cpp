// The outside libraries, bound on first use: see outside_library.h.
#include "player/core/convert/outside_library.h"

#include "platform/dynlib/dynlib.h"
#include "player/core/run_error.h"

namespace player {

void* OutsideLibrary::Address(const char* symbol) {
    // Loaded once and kept: a library that runs a worker thread must not be
    // unloaded under it.
    if (!handle_) handle_ = platform::dynlib::Open(name_);
    if (!handle_) throw RunError(53, "File not found: " + name_);
    void* address = platform::dynlib::Symbol(handle_, symbol);
    if (!address) throw RunError(453, "Can't find DLL entry point " + std::string(symbol) + " in " + name_);
    return address;
}

OutsideLibrary& VelkCodecLibrary() {
    static OutsideLibrary library("VelkCodec.dll");
    return library;
}

OutsideLibrary& VoiceCvtLibrary() {
    static OutsideLibrary library("VoiceCvt.dll");
    return library;
}

}  // namespace player
