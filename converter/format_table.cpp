// The format-code table (see format_table.h).
#include "format_table.h"

#include <array>

namespace velk {
namespace {

constexpr std::array<FormatEntry, 6> kTable{{
    {0, "AuralCodecG711a.dll", "G.711 A-law, 160 bytes a frame, behind a 58-byte WAV header"},
    {1, "AuralCodecDlg32K.dll", "Dialogic ADPCM 32 kbit/s, raw, 80 bytes a frame"},
    {2, "AuralCodecDlg24k.dll", "Dialogic ADPCM 24 kbit/s, raw, 60 bytes a frame"},
    {3, "AuralCodecWren2.dll", "G.729-based recordings (VC8, NTC, VD8, DEC), raw, 20 bytes a frame"},
    {16, "AuralCodecLinear.dll", "linear PCM, 16-bit mono 8000 Hz, raw, 320 bytes a frame"},
    {20, "AuralCodecWren.dll", "a plug-in of the same framework that is not part of CallDeck"},
}};

}  // namespace

std::span<const FormatEntry> FormatTable() { return kTable; }

const char* CodecLibraryName(int32_t code) {
    for (const FormatEntry& e : kTable)
        if (e.code == code) return e.library;
    return "";
}

}  // namespace velk
