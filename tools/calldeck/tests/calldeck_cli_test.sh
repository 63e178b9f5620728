#!/usr/bin/env bash
# calldeck end to end: scan a staged tree into a copy of the delivered
# Player.mdb, then search it the ways the main window can.
# usage: calldeck_cli_test.sh CALLDECK PLAYER.MDB
set -euo pipefail
calldeck=$1
database=$2
stage=$(mktemp -d /tmp/calldeck-cli-XXXXXX)
trap 'rm -rf "$stage"' EXIT
export CALLDECK_PROGRAM_FOLDER=$stage
cp "$database" "$stage/Player.mdb"

fail() { echo "FAILED: $*" >&2; exit 1; }
expect() {  # expect WHAT ACTUAL WANTED
  [ "$2" == "$3" ] || fail "$1: got [$2], wanted [$3]"
}

calls=$stage/calls
mkdir -p "$calls/O'Brien" "$calls/sub"
truncate -s 80000 "$calls/O'Brien/20061201123045000312345671.VOC"
truncate -s 5000 "$calls/sub/A_20061201123045_C12.VC8"
: > "$calls/REC_5551234_061201123045_C7.WAV"
: > "$calls/notes.txt"

out=$("$calldeck" scan --main-folder "$calls" 2>/dev/null)
expect "scan report" "$out" "Record File = 3"
expect "stored main folder" "$(head -c 255 "$stage/PlayerMisc.cfg" | sed 's/ *$//')" "$calls"
expect "rows seen by the sqlite3 shell" "$(sqlite3 "$stage/Player.mdb" 'select count(*) from RecordFileInfo')" 3
grep -q "Wrong Format : \[$calls/notes.txt\]" "$stage"/PlayerLog/Runlog*.txt || fail "notes.txt was not logged as wrong format"

header=$'RecordChannel\tRecordDateTime\tCallNumber\tRecordDuration\tFileFullName\tCallDirection'
out=$("$calldeck" search)
expect "default search header" "$(head -1 <<<"$out")" "$header"
expect "default search rows" "$(tail -n +2 <<<"$out" | wc -l)" 3
grep -qxF $'0003\t2006-12-01 12:30:45\t12345671\t00:00:10\t'"$calls/O'Brien/20061201123045000312345671.VOC"$'\tIN' <<<"$out" \
  || fail "the O'Brien recording is missing or wrong: $out"

count() { "$calldeck" search "$@" | tail -n +2 | wc -l; }
expect "--channel 12" "$("$calldeck" search --channel 12 | tail -n +2 | cut -f1)" 0012
expect "--number 555" "$(count --number 555)" 1
expect "--duration >=00:00:05" "$(count --duration '>=00:00:05')" 2
expect "--duration <=00:00:05" "$(count --duration '<=00:00:05')" 2
expect "--no-in --no-out" "$(count --no-in --no-out)" 2
expect "--start after the calls" "$(count --start '2006-12-01 12:30:46')" 0
expect "--end before the calls" "$(count --end '2006-12-01 12:30:44')" 0
expect "--all order" "$("$calldeck" search --all | tail -n +2 | cut -f1 | tr '\n' ' ')" "0003 0007 0012 "

expect "--number with a quote" "$(count --number "O'B")" 0

set +e
"$calldeck" search --channel 129 2>/dev/null; rc=$?
expect "exit code of a bad channel" "$rc" 2
sqlite3 "$stage/Player.mdb" 'alter table RecordFileInfo rename to Gone'
"$calldeck" search >/dev/null 2>&1; rc=$?
set -e
expect "exit code of a refused search" "$rc" 1
grep -q '!GetRecordset ' "$stage"/PlayerLog/Runlog*.txt || fail "the refused search was not logged"
echo "calldeck: all checks passed"
