// calldeck note, tag, bookmark, hold and notes: see notes_command.h.
#include "notes_command.h"

#include <filesystem>
#include <iostream>

#include "player/core/audit/audit_record.h"
#include "player/core/notes/notes_store.h"
#include "player/core/run_error.h"
#include "search_options.h"

namespace calldeck {

const char* const kNoteHelp =
    "usage: calldeck note PATH [TEXT]\n"
    "  Prints the recording's note, or stores TEXT as its note (\"\" removes it).\n";
const char* const kTagHelp =
    "usage: calldeck tag PATH [+TAG | -TAG | TAG]...\n"
    "  Prints the recording's tags, or adds +TAG (or TAG) and removes -TAG.\n"
    "  A tag is one word of 1 to 32 characters.\n";
const char* const kBookmarkHelp =
    "usage: calldeck bookmark PATH [SECOND LABEL | --remove SECOND]\n"
    "  Prints the recording's bookmarks (second, tab, label), or sets the one\n"
    "  at SECOND of the call, or removes it.\n";
const char* const kHoldHelp =
    "usage: calldeck hold PATH --reason REASON | --release\n"
    "       calldeck hold --list\n"
    "  Places a legal hold on an indexed recording (Delete, DeleteAll and purge\n"
    "  keep it, file and row), releases it, or lists every hold: path, reason,\n"
    "  who, when (UTC), tab-separated.\n";
const char* const kNotesHelp =
    "usage: calldeck notes --orphans\n"
    "  Lists the recordings with a note, tags or bookmarks that the record index\n"
    "  no longer holds.\n";

namespace {

namespace fs = std::filesystem;
using player::EscapeAuditField;

constexpr int kRefused = 1;

// The stored path: an existing file's canonical path, else as given.
std::string StoredPath(const std::string& given) {
    std::error_code ec;
    if (fs::is_regular_file(given, ec))
        if (const fs::path real = fs::canonical(given, ec); !ec) return real.string();
    return given;
}

std::int64_t Second(const std::string& text) {
    std::size_t used = 0;
    long long second = -1;
    try {
        second = std::stoll(text, &used);
    } catch (const std::exception&) {
    }
    if (used != text.size() || second < 0) throw UsageError{"a bookmark wants a second of the call, not \"" + text + "\""};
    return second;
}

int Note(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) throw UsageError{"note wants PATH and at most one TEXT"};
    const std::string path = StoredPath(args[0]);
    if (args.size() == 1) {
        const std::string note = player::LoadAnnotations(path).note;
        if (!note.empty()) std::cout << note << "\n";
        return 0;
    }
    player::SaveNote(path, args[1]);
    return 0;
}

int Tag(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"tag wants PATH"};
    const std::string path = StoredPath(args[0]);
    if (args.size() == 1) {
        for (const std::string& tag : player::LoadAnnotations(path).tags) std::cout << tag << "\n";
        return 0;
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.starts_with("-"))
            player::RemoveTag(path, a.substr(1));
        else
            player::AddTag(path, a.starts_with("+") ? a.substr(1) : a);
    }
    return 0;
}

int Bookmark(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"bookmark wants PATH"};
    const std::string path = StoredPath(args[0]);
    if (args.size() == 1) {
        for (const player::Bookmark& b : player::LoadAnnotations(path).bookmarks)
            std::cout << b.second << "\t" << EscapeAuditField(b.label) << "\n";
        return 0;
    }
    if (args.size() != 3) throw UsageError{"bookmark wants PATH SECOND LABEL, or PATH --remove SECOND"};
    if (args[1] == "--remove")
        player::RemoveBookmark(path, Second(args[2]));
    else
        player::AddBookmark(path, Second(args[1]), args[2]);
    return 0;
}

int HoldCommand(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "--list") {
        for (const auto& [path, hold] : player::Holds())
            std::cout << EscapeAuditField(path) << "\t" << EscapeAuditField(hold.reason) << "\t"
                      << EscapeAuditField(hold.by) << "\t" << hold.at << "\n";
        return 0;
    }
    if (args.size() == 3 && args[1] == "--reason") {
        player::PlaceHold(StoredPath(args[0]), args[2]);
        return 0;
    }
    if (args.size() == 2 && args[1] == "--release") {
        player::ReleaseHold(StoredPath(args[0]));
        return 0;
    }
    throw UsageError{"hold wants PATH --reason REASON, PATH --release, or --list"};
}

int Notes(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0] != "--orphans") throw UsageError{"notes wants --orphans"};
    for (const std::string& path : player::OrphanedPaths()) std::cout << EscapeAuditField(path) << "\n";
    return 0;
}

}  // namespace

int RunNotesCommand(const std::string& command, const std::vector<std::string>& args) {
    try {
        return command == "note"       ? Note(args)
               : command == "tag"      ? Tag(args)
               : command == "bookmark" ? Bookmark(args)
               : command == "hold"     ? HoldCommand(args)
                                       : Notes(args);
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        std::cerr << "calldeck: " << player::Describe(e) << "\n";
        return kRefused;
    }
}

}  // namespace calldeck
