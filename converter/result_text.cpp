// The texts of the result codes (see result_text.h).
#include "result_text.h"

#include <ostream>

namespace velk {

std::string ResultText(int32_t code, const JobNames& n) {
    switch (code) {
        case kStarted: return "conv success!";
        case kTargetLibraryNotLoaded: return "can't load DLL:" + n.targetLibrary;
        case kSourceLibraryNotLoaded: return "can't load DLL:" + n.sourceLibrary;
        case kNoEncoder: return "can't create CodecEncoder from CodecFactory:" + n.targetLibrary;
        case kNoDecoder: return "can't create CodecDecoder from CodecFactory:" + n.sourceLibrary;
        case kNoTargetFactory: return "can't get CodecFactory from DLL:" + n.targetLibrary;
        case kNoSourceFactory: return "can't get CodecFactory from DLL:" + n.sourceLibrary;
        case kEncoderNotReady: return "can't init CodecEncoder:" + n.targetLibrary;
        case kDecoderNotReady: return "can't init CodecDecoder:" + n.sourceLibrary;
        case kTargetFrameSizeUnsupported: return "CodecEncoder frame size not supported:" + n.targetLibrary;
        case kSourceFrameSizeUnsupported: return "CodecDecoder frame size not supported:" + n.sourceLibrary;
        case kSourceNotOpened: return "can't open source wav file:" + n.sourcePath;
        case kTargetNotCreated: return "can't create target wav file:" + n.targetPath;
        case kSourceTooSmall: return "source wav file too small:" + n.sourcePath;
        case kSourceFormatError: return "source wav file format error:" + n.sourcePath;
        case kNoWorkerThread: return "can't create convert thread!";
        case kTargetTooLarge: return "target wav file too large:" + n.targetPath;
        case kTargetIsSource: return "target wav file is the source wav file:" + n.targetPath;
        default: return "Unknown error:" + std::to_string(code);  // -88 among them
    }
}

std::ostream& WriteResultLine(std::ostream& out, int32_t code, const JobNames& names) {
    return out << ResultText(code, names) << '\n';
}

}  // namespace velk
