#!/usr/bin/env bash
# velkconv_test.sh VELKCONV SCRATCH: converts a generated linear recording
# with velkconv and checks the result; then checks a refused start and the
# help text; then an encryption round trip and a wrong mask. Each failure
# says what went wrong.
set -uo pipefail
velkconv=$1 dir=$2
rm -rf "$dir" && mkdir -p "$dir" || exit 1
fail() { echo "FAILED: $*"; exit 1; }

head -c $((320 * 26)) /dev/urandom > "$dir/source.raw"
"$velkconv" "$dir/source.raw" 16 "$dir/target.wav" 16 > "$dir/out.txt" 2>&1
status=$?
cat "$dir/out.txt"
[ $status -eq 0 ] || fail "velkconv exited $status for a good linear recording"
grep -qx 'conv success!' "$dir/out.txt" || fail "the result line 'conv success!' is missing"
grep -qx '100%' "$dir/out.txt" || fail "the progress never showed 100%"
size=$(stat -c %s "$dir/target.wav")
[ "$size" -eq $((58 + 320 * 25)) ] || fail "target has $size bytes, expected a 58-byte header and 25 frames"
cmp -s <(tail -c +59 "$dir/target.wav") <(tail -c +321 "$dir/source.raw") \
  || fail "the target's audio is not the source from its second frame on"

"$velkconv" "$dir/missing.raw" 16 "$dir/other.wav" 16 > "$dir/refused.txt" 2>&1
status=$?
[ $status -ne 0 ] || fail "velkconv reported success for a missing source"
grep -qx "can't open source wav file:$dir/missing.raw" "$dir/refused.txt" \
  || fail "no 'can't open source wav file:' line for a missing source: $(cat "$dir/refused.txt")"
[ ! -e "$dir/other.wav" ] || fail "a refused conversion left a target"

"$velkconv" "$dir/source.raw" 16 "$dir/other.wav" 7 > "$dir/unknown.txt" 2>&1
grep -qx "can't load DLL:" "$dir/unknown.txt" || fail "an unknown target code did not report 'can't load DLL:'"

"$velkconv" --help | grep -q 'AuralCodecG711a.dll' || fail "--help does not list the format codes"
"$velkconv" a 16 b x > /dev/null 2>&1
[ $? -eq 2 ] || fail "a format code that is not a number must be a usage error (exit 2)"
# Encryption: a round trip with the player's mask, then a wrong mask.
head -c $((65536 * 2 + 777)) /dev/urandom > "$dir/call.wav"
"$velkconv" encrypt "$dir/call.wav" 0 "$dir/callE.WAV" > "$dir/enc.txt" 2>&1
status=$?
[ $status -eq 0 ] || fail "velkconv encrypt exited $status: $(cat "$dir/enc.txt")"
cmp -s "$dir/call.wav" "$dir/callE.WAV" && fail "the encrypted recording is the recording itself"
"$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/dec.wav" --mask pkrvmhaxbqzetwnjcydsoul > "$dir/dec.txt" 2>&1
status=$?
[ $status -eq 0 ] || fail "velkconv decrypt with the player's mask exited $status: $(cat "$dir/dec.txt")"
cmp -s "$dir/call.wav" "$dir/dec.wav" || fail "the decrypted recording differs from the recording that was encrypted"
"$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/wrong.wav" --mask someothermask > "$dir/wrong.txt" 2>&1
status=$?
[ $status -eq 1 ] || fail "a wrong mask must exit 1, not $status"
grep -q '^decryption failed with code 5: authentication failed' "$dir/wrong.txt" \
  || fail "a wrong mask did not report code 5 (authentication failed): $(cat "$dir/wrong.txt")"
[ ! -e "$dir/wrong.wav" ] || fail "a failed decryption left a target"
"$velkconv" --help | grep -q 'velkconv decrypt SOURCE TYPE TARGET' || fail "--help does not describe decrypt"

echo "velkconv end-to-end: all checks passed"
