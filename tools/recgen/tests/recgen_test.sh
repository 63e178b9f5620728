#!/usr/bin/env bash
# recgen end to end: a small tree twice from one seed (byte for byte the
# same), once from another (different), then scanned by the player's core.
# usage: recgen_test.sh RECGEN CALLDECK PLAYER.MDB
set -euo pipefail
recgen=$1
calldeck=$2
database=$3
stage=$(mktemp -d /tmp/recgen-test-XXXXXX)
trap 'rm -rf "$stage"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
expect() {  # expect WHAT ACTUAL WANTED
  [ "$2" == "$3" ] || fail "$1: got [$2], wanted [$3]"
}

report=$("$recgen" --seed 7 --calls 16 --days 2 "$stage/one" 2>/dev/null)
"$recgen" --seed 7 --calls 16 --days 2 "$stage/two" >/dev/null 2>&1
"$recgen" --seed 8 --calls 16 --days 2 "$stage/other" >/dev/null 2>&1
# Encrypted recordings carry a random nonce: they differ in their bytes but
# must hold the same recording.
diff -r -x '*E.WAV' -x '*E.NTC' "$stage/one" "$stage/two" >/dev/null || fail "two trees from seed 7 differ"
velkconv=$(dirname "$recgen")/velkconv
encrypted=0
while IFS= read -r -d '' f; do
  type=0; [[ $f == *.NTC ]] && type=3
  twin=$stage/two/${f#"$stage/one/"}
  "$velkconv" decrypt "$f" $type "$stage/plain-one" >/dev/null && "$velkconv" decrypt "$twin" $type "$stage/plain-two" >/dev/null \
    || fail "$f does not open with the player's voice mask"
  cmp -s "$stage/plain-one" "$stage/plain-two" || fail "$f holds another recording in the second tree"
  encrypted=$((encrypted + 1))
done < <(find "$stage/one" -type f \( -name '*E.WAV' -o -name '*E.NTC' \) -print0)
[ "$encrypted" -gt 0 ] || fail "no encrypted recording in the tree"
[ -n "$(find "$stage/one" -type f \( -name '*.VOC' -o -name '*.VC2' -o -name '*.VC5' \) -size +0)" ] \
  || fail "no VoiceCvt recording (VOC, VC2, VC5) in the tree"
if diff -r "$stage/one" "$stage/other" >/dev/null; then fail "seeds 7 and 8 gave the same tree"; fi
[ ! -e "$stage/one.part" ] || fail "the half-written tree was left beside the finished one"

recordings=$(sed -n 's/^recgen: \([0-9]*\) recordings.*/\1/p' <<<"$report")
[ -n "$recordings" ] || fail "recgen did not say how many recordings it wrote: $report"
expect "recordings reported" "$recordings" 17   # 16 calls and the empty one

ls "$stage/one/O'Brien's calls/"* >/dev/null 2>&1 || fail "no recording in the folder whose name holds an apostrophe"
# Encrypted recordings (E before the extension) are ciphertext, not frames or RIFF.
for f in $(find "$stage/one" -type f \( -name '*.VC8' -o -name '*.NTC' -o -name '*.VD8' -o -name '*.DEC' \) ! -name '*E.NTC' -size +0 | tr ' ' '?'); do
  [ $(( $(stat -c %s "$f") % 20 )) -eq 0 ] || fail "$f is not whole 20-byte G.729 frames"
done
alaw=0
for f in $(find "$stage/one" -type f -name '*.WAV' ! -name '*E.WAV' -size +0 | tr ' ' '?'); do
  [ "$(head -c 4 "$f")" == RIFF ] || fail "$f is not a WAV file"
  [ "$(od -An -tu2 -j20 -N2 "$f" | tr -d ' ')" == 6 ] && alaw=$((alaw + 1))
done
[[ $report =~ ([0-9]+)\ PCM\ WAV,\ ([0-9]+)\ A-law\ WAV,\ ([0-9]+)\ G.729 ]] || fail "no counts per container in: $report"
[ "${BASH_REMATCH[1]}" -gt 0 ] && [ "${BASH_REMATCH[2]}" -gt 0 ] && [ "${BASH_REMATCH[3]}" -gt 0 ] \
  || fail "a container is missing from the tree: $report"
expect "A-law WAV files (format tag 6)" "$alaw" "${BASH_REMATCH[2]}"

"$recgen" --seed 7 --calls 16 "$stage/one" >/dev/null 2>&1 && fail "recgen wrote into a folder that is not empty"

# The player's scan finds what recgen says it wrote, refuses the rest.
export CALLDECK_PROGRAM_FOLDER=$stage/program
mkdir -p "$CALLDECK_PROGRAM_FOLDER"
cp "$database" "$CALLDECK_PROGRAM_FOLDER/Player.mdb"
expect "scan report" "$("$calldeck" scan --main-folder "$stage/one" 2>/dev/null)" "Record File = $recordings"
wrong=$(grep -c 'Wrong Format : \[' "$CALLDECK_PROGRAM_FOLDER"/PlayerLog/Runlog*.txt)
expect "files the scan refused" "$wrong" 5
out=$("$calldeck" search --all | tail -n +2)
grep -q "O'Brien's calls" <<<"$out" || fail "the apostrophe folder's recordings are not in the index"
expect "directions seen" "$(cut -f6 <<<"$out" | sort -u | tr '\n' ' ')" " IN OUT "
echo "recgen: all checks passed"
