// platform/dynlib: loading shared libraries by the names the system writes.
//
// The conversion library, the codec plug-ins and the player find each other
// by file name at run time, the way a Windows program finds DLLs beside
// itself: "AuralCodecLinear.dll", "AuralCodecDlg32K.dll", "AuralWren2.dll".
// This layer stands in for LoadLibraryA, GetProcAddress and FreeLibrary.
//
// How a requested name is found:
//   * A name with a directory part ("/opt/x/Foo.dll") is handed to the
//     platform loader as it stands.
//   * Otherwise the program folder is searched first. A file there matches
//     when its name equals, without regard to letter case, either the name
//     as requested or the requested stem with ".so" ("AuralCodecDlg32K.dll"
//     finds "AuralCodecDlg32k.so"). An exact-case match wins over others.
//   * Then the platform's normal search (LD_LIBRARY_PATH, the cache, the
//     system folders) is asked for "<stem>.so" and then for the name itself.
// Binding is immediate and local (RTLD_NOW | RTLD_LOCAL): every plug-in
// defines classes of the same names, and they must never meet.
//
// The program folder is the folder of the running executable. The
// environment variable CALLDECK_PROGRAM_FOLDER names another one; it is read
// at every lookup so that every module of a process (each has its own copy
// of this layer) agrees, and tests can stage a folder of their own.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::dynlib {

using Handle = void*;

// LoadLibraryA: null when the library cannot be found or loaded; LastError()
// then says why.
Handle Open(std::string_view name);
// GetProcAddress: null when the symbol is missing or the handle is null.
void* Symbol(Handle handle, const char* name);
// FreeLibrary: a null handle is ignored.
void Close(Handle handle);
// The loader's last complaint (any thread's), for log lines and messages.
std::string LastError();

// The folder searched first: CALLDECK_PROGRAM_FOLDER, else the folder of
// the running executable.
std::filesystem::path ProgramFolder();
// The file of the program folder that Open would pick for a bare name;
// empty when none matches (Open then falls back to the normal search).
std::filesystem::path FindInProgramFolder(std::string_view name);

// One loaded library, unloaded when the object goes.
class Library {
public:
    Library() = default;
    explicit Library(std::string_view name) : handle_(Open(name)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    Library(Library&& other) noexcept : handle_(other.release()) {}
    Library& operator=(Library&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~Library() { Close(handle_); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void* symbol(const char* name) const { return Symbol(handle_, name); }
    void reset(Handle handle = nullptr) {
        Close(handle_);
        handle_ = handle;
    }
    Handle release() {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }

private:
    Handle handle_ = nullptr;
};

}  // namespace platform::dynlib
