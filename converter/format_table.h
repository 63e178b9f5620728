// The conversion library's numbering of codecs: a format code names the
// plug-in library that codes that format.
//
// The library names are written exactly as the callers and the installed
// plug-ins know them ("AuralCodecDlg32K.dll" with a capital K next to
// "AuralCodecDlg24k.dll" with a small one); platform/dynlib finds the
// delivered files without regard to letter case. A code that is not in the
// table gives an empty name, which no library answers to, so a start with
// it fails like a start whose library is missing.
//
// This file is shared by VelkCodec and by the velkconv command (which
// documents the codes in its help), so the table exists once.
#pragma once

#include <cstdint>
#include <span>

namespace velk {

struct FormatEntry {
    int32_t code;
    const char* library;      // file name as the loader is asked for it
    const char* description;  // for help texts
};

// Every known code, in increasing order.
std::span<const FormatEntry> FormatTable();

// The library file name for a format code; "" when the code is unknown
// (negative codes included).
const char* CodecLibraryName(int32_t code);

}  // namespace velk
