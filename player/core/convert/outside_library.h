// player: the conversion libraries the player binds by name on first use.
//
// VelkCodec.dll (conversion, decryption) and VoiceCvt.dll (VOC, VC2, VC5)
// are this project's own libraries, yet the player never links them: it
// binds them by name at run time, as a recorder's host program would, so
// they stay replaceable files with a C entry-point contract. They are found through platform/dynlib the first time one of their functions
// is called, kept loaded for the rest of the process, and their functions
// looked up by name. A library or a function that cannot be found raises a
// RunError at the call, with the texts an operator reading the run log
// knows: "File not found: VoiceCvt.dll", "Can't find DLL entry point
// QZ_InitCvt in VoiceCvt.dll".
#pragma once

#include <string>

namespace player {

class OutsideLibrary {
public:
    explicit OutsideLibrary(std::string name) : name_(std::move(name)) {}
    // The function `symbol` of the library, loading the library first when
    // it is not loaded yet; throws RunError.
    template <class Fn>
    Fn Function(const char* symbol) {
        return reinterpret_cast<Fn>(Address(symbol));
    }

private:
    void* Address(const char* symbol);
    std::string name_;
    void* handle_ = nullptr;
};

// The two libraries, one each per process.
OutsideLibrary& VelkCodecLibrary();
OutsideLibrary& VoiceCvtLibrary();

}  // namespace player
