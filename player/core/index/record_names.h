// player: what a recording's file name says.
//
// The recorder writes three name formats (base = the name without its dot
// and three-letter extension):
//   1  YYYYMMDDhhmmss CCCC number direction-digit   20061201123045000312345671.VOC
//   2  prefix _ YYYYMMDDhhmmss _ x + channel        A_20061201123045_C12.VC8
//   3  prefix _ number _ YYMMDDhhmmss _ x + channel REC_5551234_061201123045_C7.WAV
// GetNameFormat tells them apart (0: not a recording), and the parsers
// cut the fields by position and at underscores. A name whose date-time is
// not a real date, whose channel holds a non-digit or exceeds 128 gives a
// record that is not valid. A name that cannot be cut at all (three
// characters, an empty channel, a channel beyond a 16-bit integer, no dot
// before the extension in format 1) raises RunError, which GetFileInfo
// logs as "!GetFileInfo File[".
//
// Whether a base holding other characters than digits, "_", "*" and "#"
// is refused early: it is not; the date, digit and range checks of the
// parsers decide, and such names end as "Wrong Format".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "player/core/index/record_database.h"

namespace player {

// One file of a folder, as the scan sees it.
struct RecordFile {
    std::string Name;                   // the file's name
    std::string Path;                   // its full path
    std::optional<std::uintmax_t> Size; // known when the listing read it
    std::optional<std::int32_t> WavRate; // a WAV file's header rate, when the listing read it
};

bool IsRecordFileName(const std::string& name);
std::int16_t GetNameFormat(const std::string& name);
RecordInfo ParseNameFormat1(const RecordFile& file);
RecordInfo ParseNameFormat2(const RecordFile& file);
RecordInfo ParseNameFormat3(const RecordFile& file);

}  // namespace player
