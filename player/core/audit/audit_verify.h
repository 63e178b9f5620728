// player: checking the audit trail's chain (audit_record.h, audit_trail.h)
// and naming the first record that does not fit, with what happened to it;
// a crash's cut tail is a note, not tampering. It holds two files in
// memory at a time and hashes each line once. What it prints and why:
// docs/audit.md ("calldeck audit verify").
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace player {

struct AuditVerification {
    bool whole = true;      // false: tampering found, `problem` names it
    std::string problem;    // "audit-2026-12-08.tsv line 17: ..."
    std::vector<std::string> notes;
    std::uint64_t records = 0;  // records checked
    std::string lastHash;       // the chain's last hash, hex
};

// The daily audit files of a folder, in date order.
std::vector<std::filesystem::path> AuditFiles(const std::filesystem::path& folder);

// Checks `files` as one series, in name order (which is date order),
// record by record: each record's seq must be the one after the record
// before it, and its hash the BLAKE2b of its text and that record's hash.
// What happened to the first record that does not fit is found by looking
// one record ahead:
//   changed   its seq fits but its hash does not (a byte of it was edited);
//   inserted  the record after it fits where it stands;
//   swapped   it and the record after it fit in the other order;
//   removed   its seq jumps and the records after it follow on from it;
//   missing file  a file's "continue" record names a file that is not
//             the one before it (a day taken out of the middle).
// A file's last line without its line end is a cut tail, and a cut line
// the writer ended and followed with a matching "cut-record" record is a
// repaired cut: both are notes. The first file may continue one that is no
// longer there (older files removed on purpose); its "continue" record then
// gives the starting point, and a note says so. A file that cannot be read
// is a problem.
AuditVerification VerifyAudit(std::vector<std::filesystem::path> files);
// The same check of one series of records held in memory (the site's chain
// on its server, site_audit.h), named `name` in what it says.
AuditVerification VerifyAuditText(const std::string& name, std::string_view text);

}  // namespace player
