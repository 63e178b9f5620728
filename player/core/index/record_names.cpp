// Parsing the recorder's file names: see record_names.h.
#include "player/core/index/record_names.h"

#include "player/core/convert/recording_format.h"
#include "player/core/playback/durations.h"
#include "platform/sqlstore/jet_date.h"
#include "player/core/run_error.h"
#include "player/core/text.h"

namespace player {
namespace {

using namespace text;

bool IsDate(const std::string& text) { return platform::sqlstore::ParseJetDate(text).has_value(); }

std::string BaseOf(const std::string& name) { return Left(name, static_cast<long>(name.size()) - 4); }

std::string DurationText(const RecordFile& file) {
    return FormatTime(file.Size ? DurationOfSize(file.Path, *file.Size, file.WavRate) : DurationOf(file.Path));
}

const std::string& Piece(const std::vector<std::string>& pieces, std::size_t number) {
    if (number < 1 || number > pieces.size()) throw RunError::SubscriptOutOfRange();
    return pieces[number - 1];
}

// Formats 2 and 3 differ only in where the fields sit.
RecordInfo ParseUnderscoreFormat(const RecordFile& file, bool format3) {
    RecordInfo info;
    info.FileFullName = file.Path;
    const auto pieces = Split(BaseOf(file.Name), '_');
    const std::string& dt = Piece(pieces, format3 ? 3 : 2);
    if (format3)
        info.RecordDateTime = Mid(dt, 1, 2) + "-" + Mid(dt, 3, 2) + "-" + Mid(dt, 5, 2) + " " + Mid(dt, 7, 2) + ":" +
                              Mid(dt, 9, 2) + ":" + Mid(dt, 11, 2);
    else
        info.RecordDateTime = Mid(dt, 1, 4) + "-" + Mid(dt, 5, 2) + "-" + Mid(dt, 7, 2) + " " + Mid(dt, 9, 2) + ":" +
                              Mid(dt, 11, 2) + ":" + Mid(dt, 13, 2);
    if (format3) info.CallNumber = Piece(pieces, 2);
    const std::string channel = Mid(Piece(pieces, format3 ? 4 : 3), 2);
    if (!IsDate(info.RecordDateTime)) return info;
    if (!AllDigits(channel)) return info;
    const std::int16_t number = CInt(channel);
    if (number > 128) return info;
    info.RecordChannel = ZeroPad(number, 4);
    info.RecordDuration = DurationText(file);
    info.IsValid = true;
    return info;
}

}  // namespace

bool IsRecordFileName(const std::string& name) {
    const std::string s = UCase(Trim(name));
    if (s.empty()) return false;
    const RecordingFormat* format = RecordingFormatOf(s);
    if (!format || !format->nameMayCarry) return false;
    const std::string base = BaseOf(s);
    if (InStr(base, "_") >= 2) {
        const std::size_t pieces = Split(s, '_').size();
        if (pieces != 3 && pieces != 4) return false;
    }
    return true;
}

std::int16_t GetNameFormat(const std::string& name) {
    const std::string s = Trim(name);
    if (!IsRecordFileName(s)) return 0;
    if (InStr(s, "_") >= 2) {
        switch (Split(s, '_').size()) {
        case 3: return 2;
        case 4: return 3;
        default: return 0;
        }
    }
    return 1;
}

RecordInfo ParseNameFormat1(const RecordFile& file) {
    RecordInfo info;
    info.FileFullName = file.Path;
    const std::string base = BaseOf(file.Name);
    info.RecordDateTime = Mid(base, 1, 4) + "-" + Mid(base, 5, 2) + "-" + Mid(base, 7, 2) + " " + Mid(base, 9, 2) +
                          ":" + Mid(base, 11, 2) + ":" + Mid(base, 13, 2);
    info.CallDirection = Mid(file.Name, InStr(file.Name, ".") - 1, 1) == "1" ? "IN" : "OUT";
    if (!IsDate(info.RecordDateTime)) return info;
    const std::string channel = Mid(base, 15, 4);
    if (!AllDigits(channel)) return info;
    if (CInt(channel) > 128) return info;
    info.RecordChannel = channel;
    info.CallNumber = Mid(base, 19);
    info.RecordDuration = DurationText(file);
    info.IsValid = true;
    return info;
}

RecordInfo ParseNameFormat2(const RecordFile& file) { return ParseUnderscoreFormat(file, false); }
RecordInfo ParseNameFormat3(const RecordFile& file) { return ParseUnderscoreFormat(file, true); }

}  // namespace player
