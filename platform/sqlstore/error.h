// platform/sqlstore: the error every store operation raises.
//
// The player traps failures the way its callers expect: each operation that
// can fail catches an error, writes one run-log line made of its own name
// and the error's description, and returns a failure value. So the store
// raises one exception type that carries a number and a description a
// person can read in the log; nothing else escapes it. Numbers are the
// store's own error numbers where the player's log lines know one (3021 no
// current record, 3704 closed object, 3464 a value that is no date), else
// SQLite's result code.
#pragma once

#include <stdexcept>
#include <string>

namespace platform::sqlstore {

class Error : public std::runtime_error {
public:
    Error(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }
    std::string Description() const { return what(); }
    // True when the store refused one statement's values (a text that is no
    // date, a constraint) but is itself sound: the next row may well go in.
    // False for failures of the store itself: a full disk, a read-only or
    // locked file, a missing table, an input/output error.
    bool RefusesOnlyTheValues() const;
    // True when another writer holds the store's write lock (SQLite's busy
    // code): waiting longer may get it.
    bool IsBusy() const;
    // True when the store could not be opened or changed for want of
    // writing (a read-only file or folder, an input/output error, a full
    // disk, a file that cannot be opened for writing): reading it may
    // still work.
    bool CannotWrite() const;

private:
    int number_;
};


// The texts the player's log lines carry for the common cases.
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr const char* kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. "
    "Requested operation requires a current record.";
inline constexpr int kObjectClosed = 3704;
inline constexpr const char* kObjectClosedText = "Operation is not allowed when the object is closed.";
inline constexpr int kTypeMismatch = 3464;
inline constexpr const char* kTypeMismatchText = "Data type mismatch in criteria expression.";
inline constexpr int kDateSyntax = 3075;
inline constexpr int kNotUpdatable = 3251;
inline constexpr int kTransactionOpen = 3246;
inline constexpr const char* kTransactionOpenText = "Operation not allowed in transaction.";
inline constexpr const char* kNotUpdatableText = "Current Recordset does not support updating.";

// SQLite's extended codes keep the primary code in the low byte.
inline bool Error::RefusesOnlyTheValues() const {
    constexpr int kSqliteTooBig = 18, kSqliteConstraint = 19, kSqliteMismatch = 20;
    if (number_ == kTypeMismatch) return true;
    const int primary = number_ & 0xff;
    return primary == kSqliteTooBig || primary == kSqliteConstraint || primary == kSqliteMismatch;
}

inline bool Error::IsBusy() const {
    constexpr int kSqliteBusy = 5;
    return (number_ & 0xff) == kSqliteBusy;
}

inline bool Error::CannotWrite() const {
    constexpr int kSqliteReadOnly = 8, kSqliteIoError = 10, kSqliteFull = 13, kSqliteCantOpen = 14;
    const int primary = number_ & 0xff;
    return primary == kSqliteReadOnly || primary == kSqliteIoError || primary == kSqliteFull ||
           primary == kSqliteCantOpen;
}

}  // namespace platform::sqlstore
