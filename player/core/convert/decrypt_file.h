// player: encrypted recordings, decrypted into a copy before use.
//
// A recording is encrypted when the character before its four-character
// extension is an upper-case "E" (0012345E.WAV, 0012345E.NTC). DecryptFile
// decrypts it through VelkCodec's cvt_DecryptFile (with the player's voice
// mask, set through cvt_SetVoiceMask) into a new copy under decryptTmp,
// "dec_" + the name up to its first dot + "_" + yyyyMMddHHmmss + "N." + the
// upper-cased extension, and returns that copy's path; the caller deletes
// it when done. Only WAV (type 0) and NTC (type 3) recordings are
// decrypted. DecryptedCopy owns such a copy: it deletes it when it goes,
// whichever way the work on it ends, so no failure after the decryption
// leaves plaintext behind. Every failure writes its run-log line and
// returns no path and the reason:
//   "file loss , path = " + path                     no such file
//   "unknow source file type , path = " + path       neither WAV nor NTC
//   "can not decrypt file , path = " + path + " , return = " + code
//   "!DecryptFile " + description + " file = " + path  a run-time error,
//                                   VelkCodec or its entry point missing
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace player {

class clsDecryptFile {
public:
    // The voice mask the player's recordings are encrypted with.
    std::string MaskKey = "pkrvmhaxbqzetwnjcydsoul";

    // cvt_SetVoiceMask with MaskKey (bUse) or "" ; its result.
    std::int16_t setDecryptVoiceMask(bool bUse);
    // cvt_DecryptFile; 0 when the target was written.
    std::int16_t DecryptFile(const std::string& source, std::int32_t type, const std::string& target);
};

bool IsEncryptedFile(const std::string& path);
// The decrypted copy's path, or none and the reason (its run-log line is
// written all the same).
struct Decrypted {
    std::string path;
    std::string reason;
    bool ok() const { return !path.empty(); }
};
Decrypted DecryptFile(const std::string& path);

// A decrypted copy, deleted (MyDelFIle) when the object goes; an empty
// path owns nothing.
class DecryptedCopy {
public:
    explicit DecryptedCopy(std::string path) : path_(std::move(path)) {}
    ~DecryptedCopy();
    DecryptedCopy(const DecryptedCopy&) = delete;
    DecryptedCopy& operator=(const DecryptedCopy&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Removes the plaintext a program killed in the middle of a conversion left
// in decryptTmp: "dec_" copies older than five minutes (a conversion waits
// two at most, so no running program still reads them) and the folders
// "export-<pid>" of export workers and "export-<pid>.parts" of archive
// exports that no longer run. Writes "Removed n
// decrypted copies left by an earlier run" when it removed any; returns n.
int RemoveLeftoverCopies();

}  // namespace player
