// platform/dynlib: loading shared libraries by the names the system writes
// ("AuralCodecDlg32K.dll", "AuralWren2.dll"). The conversion library, the
// codec plug-ins and the player find each other by file name at run time,
// in the program folder; a requested name finds "<stem>.so" there without
// regard to letter case, then the platform's search, and binds RTLD_NOW |
// RTLD_LOCAL. The rules and why: docs/design.md ("Libraries are found...").
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::dynlib {

using Handle = void*;

// Loads the library a name finds: a name with a directory part as it
// stands, else the program folder's match (FindInProgramFolder; an
// exact-case match wins), else the platform's search (LD_LIBRARY_PATH, the
// cache, the system folders) for "<stem>.so", then for the name itself.
// Null when the library cannot be found or loaded; LastError() then says
// why.
Handle Open(std::string_view name);
// The address of an entry point; null when the symbol is missing or the
// handle is null.
void* Symbol(Handle handle, const char* name);
// Unloads; a null handle is ignored.
void Close(Handle handle);
// The loader's last complaint (any thread's), for log lines and messages.
std::string LastError();

// The folder searched first: CALLDECK_PROGRAM_FOLDER, else the folder of
// the running executable. The variable is read at every lookup, so that
// every module of a process (each has its own copy of this layer) agrees,
// and tests can stage a folder of their own.
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
