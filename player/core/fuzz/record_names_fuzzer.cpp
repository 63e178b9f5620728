// A file name as the scan reads it: the input is the name (a folder listing
// hands over any bytes but "/" and NUL), told apart by GetNameFormat and
// cut into its fields by the format's parser, as GetFileInfo does; a name
// that cannot be cut raises RunError, which the scan logs. The size and WAV
// rate come with the name, as the scan's listing gives them, so no file is
// read. A record called valid must hold what the record store accepts: a
// real date-time, a channel of up to four digits no greater than 128, a
// duration.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "platform/sqlstore/jet_date.h"
#include "player/core/index/record_names.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
    std::fprintf(stderr, "fuzz: %s for the name [%s]\n", what, name.c_str());
    std::abort();
}

player::RecordInfo Parse(const player::RecordFile& file) {
    switch (player::GetNameFormat(file.Name)) {
    case 1: return player::ParseNameFormat1(file);
    case 2: return player::ParseNameFormat2(file);
    case 3: return player::ParseNameFormat3(file);
    default: return {};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name(reinterpret_cast<const char*>(data), size);
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    const player::RecordFile file{name, "/recordings/" + name, uintmax_t(size) * 977, int32_t(size % 3) * 8000};
    player::RecordInfo info;
    try {
        info = Parse(file);
    } catch (const std::exception&) {
        return 0;  // the scan logs "!GetFileInfo File[...]" and goes on
    }
    if (!info.IsValid) return 0;
    if (!platform::sqlstore::CanonicalDateTime(std::string_view(info.RecordDateTime)))
        Fail("a valid record without a date", name);
    // Formats 2 and 3 write four digits; format 1 takes its four characters
    // as they stand, fewer where the name ends sooner.
    const std::string& channel = info.RecordChannel;
    if (channel.empty() || channel.size() > 4 || channel.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(channel) > 128)
        Fail("a valid record with a bad channel", name);
    if (!platform::sqlstore::CanonicalDuration(std::string_view(info.RecordDuration)))
        Fail("a valid record without a duration", name);
    return 0;
}
