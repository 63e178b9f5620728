// calldeck audit: the audit trail (player/core/audit/audit_trail.h) checked and
// listed from a terminal.
//
//   calldeck audit verify [FILES]
//   calldeck audit show [search options] [--act ACT]... [FILES]
//
// Without FILES both read every daily file of the state folder's
// PlayerAudit. "verify" follows the chain (player/core/audit/audit_verify.h),
// prints its notes (cut records, a series that begins with a file no longer
// there), then either "audit trail whole: ..." with the last hash, exit 0,
// or "audit trail tampered: FILE line N: ...", exit 1. "show" prints the
// records as they are stored (tab-separated, escaped as "calldeck search"
// escapes, the hash last) under a header line: those of the acts named
// with --act, about recordings the search options find (only the options
// given narrow the list; a record without the field an option asks about,
// as a day's continue record, is left out by it).
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kAuditHelp;

// Runs the command; throws UsageError.
int RunAudit(const std::vector<std::string>& args);

}  // namespace calldeck
