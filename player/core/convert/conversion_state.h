// player: the state of the one conversion ConvertFile runs and of a
// "Pickup All" batch, as one part of the process state (process_state.h).
#pragma once

#include <string>

namespace player {

struct ConversionState {
    // IsConverting: a conversion started by ConvertFile that is not finished
    // yet; ConvertingType: the upper-case extension of the file it converts
    // ("" when none).
    bool IsConverting = false;
    std::string ConvertingType;
    // The first decryption of the run has said what protects the recordings.
    bool SiteKeyNoticeTold = false;
    // IsBatchConverting: a "Pickup All" batch runs and may go on
    // (pick_up_all.h); its Cancel and the shutdown clear it.
    bool IsBatchConverting = false;
};

}  // namespace player
