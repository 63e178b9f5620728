// Loading libraries by Windows-style name: see dynlib.h for the search rules.
#include "dynlib.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace platform::dynlib {
namespace {

// The loader's last complaint. Not thread-local: a library holding
// thread-local storage leaves the sanitizers' leak check walking it after
// the library is unloaded (every codec plug-in that carries this loader
// is), and loading happens on one thread at a time anyway. A fixed buffer,
// so no destructor runs for it at exit.
std::mutex g_errorLock;
char g_lastError[512] = {};

void SetLastError(const std::string& why) {
    std::lock_guard lock(g_errorLock);
    std::snprintf(g_lastError, sizeof g_lastError, "%s", why.c_str());
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c); };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && EqualsIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

// "AuralCodecLinear.dll" -> "AuralCodecLinear.so"; a name without ".dll"
// keeps its stem and gains ".so".
std::string ElfName(std::string_view name) {
    std::string_view stem = EndsWithIgnoringCase(name, ".dll") ? name.substr(0, name.size() - 4) : name;
    return std::string(stem) + ".so";
}

Handle OpenPath(const std::string& path) {
    dlerror();
    Handle h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* why = dlerror();
        SetLastError(why ? why : ("cannot load " + path));
    }
    return h;
}

}  // namespace

std::filesystem::path ProgramFolder() {
    if (const char* over = std::getenv("CALLDECK_PROGRAM_FOLDER"); over && *over) return over;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::filesystem::path FindInProgramFolder(std::string_view name) {
    const std::string elf = ElfName(name);
    std::vector<std::filesystem::path> matches;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(ProgramFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (file == name || file == elf) return it->path();  // exact case wins
        if (EqualsIgnoringCase(file, name) || EqualsIgnoringCase(file, elf)) matches.push_back(it->path());
    }
    if (matches.empty()) return {};
    // Several spellings of one name: take the same one every time.
    return *std::min_element(matches.begin(), matches.end());
}

Handle Open(std::string_view name) {
    SetLastError("");
    if (name.empty()) {
        SetLastError("no library name given");
        return nullptr;
    }
    const std::string requested(name);
    if (requested.find('/') != std::string::npos) return OpenPath(requested);

    if (auto local = FindInProgramFolder(name); !local.empty()) {
        if (Handle h = OpenPath(local.string())) return h;
        return nullptr;  // found but broken: say so rather than load a stranger
    }
    if (Handle h = OpenPath(ElfName(name))) return h;
    const std::string first = LastError();
    if (Handle h = OpenPath(requested)) return h;
    SetLastError(first);
    return nullptr;
}

void* Symbol(Handle handle, const char* name) {
    if (!handle || !name) return nullptr;
    dlerror();
    void* sym = dlsym(handle, name);
    if (!sym) {
        const char* why = dlerror();
        SetLastError(why ? why : std::string("no symbol ") + name);
    }
    return sym;
}

void Close(Handle handle) {
    if (handle) dlclose(handle);
}

std::string LastError() {
    std::lock_guard lock(g_errorLock);
    return g_lastError;
}

}  // namespace platform::dynlib
