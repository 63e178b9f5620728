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

# The help is read whole first: grep -q stops reading at its match, and a
# help written in more than one piece would then end velkconv by SIGPIPE,
# which pipefail reports as a failure.
help=$("$velkconv" --help) || fail "--help did not end with status 0"
grep -q 'AuralCodecG711a.dll' <<<"$help" || fail "--help does not list the format codes"
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
[ $status -eq 5 ] || fail "a wrong mask must exit 5 (its code), not $status"
grep -q '^decryption failed with code 5: authentication failed' "$dir/wrong.txt" \
  || fail "a wrong mask did not report code 5 (authentication failed): $(cat "$dir/wrong.txt")"
[ ! -e "$dir/wrong.wav" ] || fail "a failed decryption left a target"
grep -q 'velkconv decrypt SOURCE TYPE TARGET' <<<"$help" || fail "--help does not describe decrypt"

# The exit status is the library's code, so a script tells the faults apart.
head -c 1000 "$dir/callE.WAV" > "$dir/cutE.WAV"
expect_status() {  # expect_status CODE WHAT ARGUMENTS...
  local code=$1 what=$2; shift 2
  "$velkconv" "$@" > "$dir/status.txt" 2>&1
  local status=$?
  [ $status -eq "$code" ] || fail "$what: exit $status, expected $code: $(cat "$dir/status.txt")"
}
expect_status 6 "a cut recording (truncated)" decrypt "$dir/cutE.WAV" 0 "$dir/out.wav"
expect_status 2 "a missing recording" decrypt "$dir/none.WAV" 0 "$dir/out.wav"
expect_status 4 "a WAV recording decrypted as NTC" decrypt "$dir/callE.WAV" 3 "$dir/out.wav"
expect_status 9 "an unknown type" encrypt "$dir/call.wav" 7 "$dir/out.wav"
expect_status 64 "decrypt without a target (usage)" decrypt "$dir/callE.WAV" 0
grep -q '64 usage' <<<"$help" || fail "--help does not list the exit statuses of encrypt and decrypt"

# The mask from a file or standard input; --help warns about the command line's.
printf 'pkrvmhaxbqzetwnjcydsoul\n' > "$dir/mask"
expect_status 0 "the player's mask from a file" decrypt "$dir/callE.WAV" 0 "$dir/file.wav" --mask-file "$dir/mask"
cmp -s "$dir/call.wav" "$dir/file.wav" || fail "the recording decrypted with --mask-file differs"
"$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/stdin.wav" --mask-file - < "$dir/mask" > "$dir/status.txt" 2>&1 \
  || fail "the mask from standard input did not decrypt: $(cat "$dir/status.txt")"
cmp -s "$dir/call.wav" "$dir/stdin.wav" || fail "the recording decrypted with --mask-file - differs"
echo someothermask | "$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/wrong.wav" --mask-file - > /dev/null 2>&1
[ $? -eq 5 ] || fail "a wrong mask from standard input was not refused with code 5"
expect_status 66 "a mask file that does not exist" decrypt "$dir/callE.WAV" 0 "$dir/out.wav" --mask-file "$dir/nomask"
grep -A1 -e '--mask MASK' <<<"$help" | grep -q 'other users' \
  || fail "--help does not say that a mask on the command line is visible to other users"

# Without SiteKey.bin the player's mask is all that protects a recording, and
# velkconv says so once; a SiteKey.bin others may read is refused, its mode named.
prog=$dir/prog
mkdir -p "$prog" && ln -s "$(dirname "$velkconv")/VelkCodec.so" "$prog/VelkCodec.so"
export CALLDECK_PROGRAM_FOLDER=$prog
"$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/plain.wav" 2> "$dir/err.txt" > /dev/null \
  || fail "decryption with the player's mask failed: $(cat "$dir/err.txt")"
[ "$(grep -c 'protected by the built-in mask only' "$dir/err.txt")" -eq 1 ] \
  || fail "without SiteKey.bin, velkconv did not say once that the built-in mask alone protects the recording: $(cat "$dir/err.txt")"
grep -q 'SiteKey.bin' "$dir/err.txt" || fail "the notice does not name the remedy, SiteKey.bin"
"$velkconv" decrypt "$dir/callE.WAV" 0 "$dir/plain.wav" --mask-file "$dir/mask" 2> "$dir/err.txt" > /dev/null
grep -q 'built-in mask only' "$dir/err.txt" || fail "the player's mask from a file did not bring the notice"
head -c 32 /dev/urandom > "$prog/SiteKey.bin" && chmod 644 "$prog/SiteKey.bin"
"$velkconv" encrypt "$dir/call.wav" 0 "$dir/keyedE.WAV" > "$dir/out.txt" 2> "$dir/err.txt"
status=$?
[ $status -eq 12 ] || fail "a SiteKey.bin of mode 0644 was not refused with code 12 (exit $status): $(cat "$dir/out.txt")"
grep -q "$prog/SiteKey.bin has mode 0644" "$dir/err.txt" || fail "the refusal does not name the mode: $(cat "$dir/err.txt")"
chmod 600 "$prog/SiteKey.bin"
expect_status 0 "encryption with a private SiteKey.bin" encrypt "$dir/call.wav" 0 "$dir/keyedE.WAV"
grep -q 'built-in mask' "$dir/status.txt" && fail "velkconv spoke of the built-in mask alone while SiteKey.bin is in use"
unset CALLDECK_PROGRAM_FOLDER

echo "velkconv end-to-end: all checks passed"
