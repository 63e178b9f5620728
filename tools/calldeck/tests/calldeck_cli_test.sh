#!/usr/bin/env bash
# calldeck end to end: scan a staged tree into a copy of the delivered
# Player.mdb, then search it the ways the main window can, print names that
# hold tabs and backslashes so that they read back, and find recordings of
# 100 hours and more.
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
# Two folders whose names differ only in a tab against a backslash and "t".
tabbed=$calls/$'a\tb'/A_20061201123045_C20.VC8
backslashed=$calls/'a\tb'/A_20061201123045_C20.VC8
mkdir -p "$(dirname "$tabbed")" "$(dirname "$backslashed")"
truncate -s 1000 "$tabbed" "$backslashed"
# 100 hours of VC5 (1600 bytes a second), sparse.
truncate -s $((1600 * 360000)) "$calls/20061201123045000512345671.VC5"

out=$("$calldeck" scan --main-folder "$calls" 2>/dev/null)
expect "scan report" "$out" "Record File = 6"
expect "stored main folder" "$(head -c 255 "$stage/PlayerMisc.cfg" | sed 's/ *$//')" "$calls"
expect "rows seen by the sqlite3 shell" "$(sqlite3 "$stage/Player.mdb" 'select count(*) from RecordFileInfo')" 6
grep -q "Wrong Format : \[$calls/notes.txt\]" "$stage"/PlayerLog/Runlog*.txt || fail "notes.txt was not logged as wrong format"

header=$'RecordChannel\tRecordDateTime\tCallNumber\tRecordDuration\tFileFullName\tCallDirection'
out=$("$calldeck" search)
expect "default search header" "$(head -1 <<<"$out")" "$header"
expect "default search rows" "$(tail -n +2 <<<"$out" | wc -l)" 6
grep -qxF $'0003\t2006-12-01 12:30:45\t12345671\t00:00:10\t'"$calls/O'Brien/20061201123045000312345671.VOC"$'\tIN' <<<"$out" \
  || fail "the O'Brien recording is missing or wrong: $out"

count() { "$calldeck" search "$@" | tail -n +2 | wc -l; }
expect "--channel 12" "$("$calldeck" search --channel 12 | tail -n +2 | cut -f1)" 0012
expect "--number 555" "$(count --number 555)" 1
expect "--duration >=00:00:05" "$(count --duration '>=00:00:05')" 3
expect "--duration <=00:00:05" "$(count --duration '<=00:00:05')" 4
expect "--no-in --no-out" "$(count --no-in --no-out)" 4
expect "--start after the calls" "$(count --start '2006-12-01 12:30:46')" 0
expect "--end before the calls" "$(count --end '2006-12-01 12:30:44')" 0
expect "--all order" "$("$calldeck" search --all | tail -n +2 | cut -f1 | tr '\n' ' ')" "0003 0005 0007 0012 0020 0020 "

# Recordings of 100 hours and more.
expect "the 100-hour recording's row" "$("$calldeck" search --duration '>=100:00:00' | tail -n +2 | cut -f1,4)" \
  $'0005\t100:00:00'
expect "--duration <=99:59:59 leaves out the 100-hour recording" \
  "$("$calldeck" search --duration '<=99:59:59' | tail -n +2 | cut -f1 | sort | tr '\n' ' ')" "0003 0007 0012 0020 0020 "
expect "--duration <=123:04:05" "$(count --duration '<=123:04:05')" 6
expect "--duration >=123:04:05" "$(count --duration '>=123:04:05')" 0

# A tab prints as \t, a backslash as \\; unescaped, the names are the files.
names=$("$calldeck" search --channel 20 | tail -n +2 | cut -f5)
grep -qxF "$calls"'/a\\tb/A_20061201123045_C20.VC8' <<<"$names" \
  || fail 'the folder named a, backslash, t, b did not print as a\\tb: '"$names"
grep -qxF "$calls"'/a\tb/A_20061201123045_C20.VC8' <<<"$names" \
  || fail 'the folder named a, tab, b did not print as a\tb: '"$names"
expect "the two names read back" "$(while IFS= read -r n; do printf '%b\n' "$n"; done <<<"$names" | sort)" \
  "$(printf '%s\n' "$tabbed" "$backslashed" | sort)"

help=$("$calldeck" search --help) || fail "calldeck search --help did not exit 0"
grep -qF 'a backslash prints as \\' <<<"$help" || fail "calldeck search --help does not say how values are escaped"
"$calldeck" scan --help >/dev/null || fail "calldeck scan --help did not exit 0"
# Read whole first: grep -q ends at its match, and under pipefail a help
# longer than one write would end calldeck by SIGPIPE and fail the line.
help=$("$calldeck" --help) || fail "calldeck --help did not exit 0"
grep -qF 'a tab as \t' <<<"$help" || fail "calldeck --help does not say how values are escaped"

expect "--number with a quote" "$(count --number "O'B")" 0

set +e
"$calldeck" search --channel 129 2>/dev/null; rc=$?
expect "exit code of a bad channel" "$rc" 2
# A rebuild that cannot be done says why, exits 1 and leaves index and setting.
for bad in "$stage/nonexistent" /etc/passwd "" "   "; do
  out=$("$calldeck" scan --main-folder "$bad" 2>&1 >/dev/null); rc=$?
  expect "exit code of a scan of [$bad]" "$rc" 1
  grep -qF "the record index was not rebuilt." <<<"$out" || fail "a scan of [$bad] did not say why: $out"
  expect "rows after a scan of [$bad]" "$(sqlite3 "$stage/Player.mdb" 'select count(*) from RecordFileInfo')" 6
  expect "main folder after a scan of [$bad]" "$(head -c 255 "$stage/PlayerMisc.cfg" | sed 's/ *$//')" "$calls"
done
expect "message of a scan of a missing folder" "$("$calldeck" scan --main-folder "$stage/nonexistent" 2>&1 >/dev/null)" \
  "calldeck: The main folder \"$stage/nonexistent\" does not exist; the record index was not rebuilt."

# A main folder the scan cannot list, an empty one (an unmounted mount
# point) and /dev find no recording: none of them empties the index.
rows() { sqlite3 "$stage/Player.mdb" 'select count(*) from RecordFileInfo'; }
secret=$stage/secret
mkdir -p "$secret"
cp "$calls/O'Brien/20061201123045000312345671.VOC" "$secret/"
if [ "$(id -u)" -eq 0 ]; then
  # As another user of the machine, whose program folder the stage is.
  chmod 700 "$secret"
  chmod 777 "$stage" "$stage/PlayerLog"
  chmod 666 "$stage/Player.mdb" "$stage/PlayerMisc.cfg" "$stage"/PlayerLog/*
  [ ! -e "$stage/Player.mdb.lock" ] || chmod 666 "$stage/Player.mdb.lock"
  as_other=(runuser -u nobody -- env HOME="$stage" CALLDECK_PROGRAM_FOLDER="$stage")
else
  chmod 000 "$secret"
  as_other=()
fi
out=$("${as_other[@]}" "$calldeck" scan --main-folder "$secret" 2>&1 >/dev/null); rc=$?
expect "exit code of a scan of a folder that cannot be read" "$rc" 1
expect "message of a scan of a folder that cannot be read" "$out" \
  "calldeck: The main folder \"$secret\" cannot be read (Permission denied); the record index was not rebuilt."
expect "rows after a scan of a folder that cannot be read" "$(rows)" 6
chmod 700 "$secret"
mkdir -p "$stage/mnt"
for empty in "$stage/mnt" /dev; do
  out=$("$calldeck" scan --main-folder "$empty" 2>&1 >/dev/null); rc=$?
  expect "exit code of a scan of [$empty]" "$rc" 1
  grep -qF "No recordings were found under $empty; the record index was left as it was." <<<"$out" ||
    fail "a scan of [$empty] did not say why it kept the index: $out"
  grep -qF -- "--allow-empty" <<<"$out" || fail "a scan of [$empty] did not name --allow-empty: $out"
  expect "rows after a scan of [$empty]" "$(rows)" 6
  expect "main folder after a scan of [$empty]" "$(head -c 255 "$stage/PlayerMisc.cfg" | sed 's/ *$//')" "$calls"
done
expect "scan --allow-empty of an empty folder" "$("$calldeck" scan --main-folder "$stage/mnt" --allow-empty 2>/dev/null)" \
  "Record File = 0"
expect "rows after scan --allow-empty" "$(rows)" 0
"$calldeck" scan --main-folder "$calls" >/dev/null 2>&1

# A program folder whose index this user cannot write (a stick made
# read-only): the index there is searched as it is, the user is told once,
# a scan and a purge are refused, and nothing is written into the folder
# nor a second index made elsewhere.
ro=$stage/ro
reader_home=$stage/home
mkdir -p "$ro" "$reader_home"
cp "$stage/Player.mdb" "$stage/PlayerMisc.cfg" "$ro/"
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$reader_home"
  chmod 755 "$ro"
  chmod 644 "$ro"/*
  as_reader=(runuser -u nobody -- env -u XDG_DATA_HOME HOME="$reader_home" CALLDECK_PROGRAM_FOLDER="$ro")
else
  chmod 444 "$ro"/*
  chmod 555 "$ro"
  as_reader=(env -u XDG_DATA_HOME HOME="$reader_home" CALLDECK_PROGRAM_FOLDER="$ro")
fi
listing() { (cd "$ro" && find . -printf '%p %s %T@ %m\n' | sort); }
before=$(listing)
out=$("${as_reader[@]}" "$calldeck" search --all 2>"$stage/reader.err"); rc=$?
expect "exit code of a search of a read-only index" "$rc" 0
expect "recordings found in a read-only index" "$(tail -n +2 <<<"$out" | wc -l)" 6
expect "what a search of a read-only index says" "$(cat "$stage/reader.err")" \
  "CallDeck: The record index $ro/Player.mdb cannot be written (Permission denied). It is open for searching and playing only: rebuilds, deletes and settings cannot be saved."
out=$("${as_reader[@]}" "$calldeck" scan --main-folder "$calls" 2>&1 >/dev/null); rc=$?
expect "exit code of a scan into a read-only index" "$rc" 1
grep -qF "The record index \"$ro/Player.mdb\" cannot be written; the record index was not rebuilt." <<<"$out" ||
  fail "a scan into a read-only index did not say why it was refused: $out"
out=$("${as_reader[@]}" "$calldeck" purge --older-than 1 --yes 2>&1); rc=$?
expect "exit code of a purge of a read-only index" "$rc" 1
grep -qF "cannot be written; nothing was deleted." <<<"$out" || fail "a purge of a read-only index did not say why: $out"
expect "recordings left by a purge of a read-only index" "$(find "$calls" -type f | wc -l)" 7
expect "the read-only program folder after it was used" "$(listing)" "$before"
[ ! -e "$reader_home/.local/share/CallDeck/Player.mdb" ] || fail "a second, private index was made in the user's folder"
[ "$(id -u)" -eq 0 ] || chmod -R u+w "$ro"

sqlite3 "$stage/Player.mdb" 'alter table RecordFileInfo rename to Gone'
"$calldeck" search >/dev/null 2>&1; rc=$?
set -e
expect "exit code of a refused search" "$rc" 1
grep -q '!GetRecordset ' "$stage"/PlayerLog/Runlog*.txt || fail "the refused search was not logged"
echo "calldeck: all checks passed"
