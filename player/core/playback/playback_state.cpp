// The playback state's link to the process: see playback_state.h.
#include "player/core/playback/playback_state.h"

#include "player/core/process_state.h"

namespace player {

std::uint32_t SendThroughProcess(std::string_view command, std::string& reply) {
    return Process().MciSend(command, reply);
}

}  // namespace player
