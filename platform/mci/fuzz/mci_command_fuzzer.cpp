// The MCI command parser on any command string. A command it takes names
// an alias, and an open names its file and device type.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/mci/command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto command = platform::mci::ParseCommand(text);
    if (!command) return 0;
    if (command->alias.empty()) std::abort();
    if (command->verb == platform::mci::Verb::kOpen && (command->path.empty() || command->device_type.empty()))
        std::abort();
    return 0;
}
