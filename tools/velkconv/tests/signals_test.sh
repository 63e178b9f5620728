#!/usr/bin/env bash
# signals_test.sh VELKCONV SCRATCH: a conversion ended by SIGPIPE (its output
# read by `head -c 10`), SIGHUP, SIGINT, SIGTERM or SIGKILL leaves nothing
# under the target's name, and an existing target as it was. The first four
# leave no temporary file either; SIGKILL may leave one, named
# .TARGET.velkconv-XXXXXX and readable by its owner only. A conversion left
# alone puts the whole file under the target's name, mode 0600, and leaves
# nothing else. Each failure says what went wrong.
set -uo pipefail
velkconv=$1 dir=$2
rm -rf "$dir" && mkdir -p "$dir" || exit 1
fail() { echo "FAILED: $*"; exit 1; }

# An hour of G.729 frames (random bits decode as well as speech): about two
# seconds of work, so a signal sent just after the start finds it running.
head -c 3600000 /dev/urandom > "$dir/hour.ntc"

# The files of the scratch folder other than the source and the outputs.
others() { ls -A "$dir" | grep -vx -e hour.ntc -e short.ntc -e out.txt -e "$@"; }

# convert_and_signal TARGET SIGNAL: starts a conversion into TARGET, sends
# SIGNAL once it has started, and waits for it; its output is in out.txt.
convert_and_signal() {
  local target=$1 signal=$2
  "$velkconv" "$dir/hour.ntc" 3 "$dir/$target" 0 > "$dir/out.txt" 2>&1 &
  local pid=$!
  for _ in $(seq 1000); do grep -q 'conv success!' "$dir/out.txt" && break; sleep 0.01; done
  grep -q 'conv success!' "$dir/out.txt" || fail "the conversion did not start: $(cat "$dir/out.txt")"
  sleep 0.1
  kill -s "$signal" $pid
  wait $pid
  status=$?
  ! grep -qx '100%' "$dir/out.txt" || fail "SIGNAL $signal came after the conversion ended; nothing was tested"
}

for signal in HUP INT TERM; do
  echo "an earlier export" > "$dir/earlier-$signal.wav"
  convert_and_signal "new-$signal.wav" "$signal"
  [ ! -e "$dir/new-$signal.wav" ] || fail "SIG$signal left a target of $(stat -c %s "$dir/new-$signal.wav") bytes"
  [ $status -eq 1 ] || fail "a conversion stopped by SIG$signal exited $status, not 1"
  convert_and_signal "earlier-$signal.wav" "$signal"
  [ "$(cat "$dir/earlier-$signal.wav")" == "an earlier export" ] || fail "SIG$signal changed an existing target"
  [ -z "$(others "earlier-$signal.wav")" ] || fail "SIG$signal left temporary files: $(others "earlier-$signal.wav")"
  rm -f "$dir/earlier-$signal.wav"
done

# SIGPIPE: the reader of the output goes away after ten bytes.
"$velkconv" "$dir/hour.ntc" 3 "$dir/piped.wav" 0 | head -c 10 > /dev/null
status=${PIPESTATUS[0]}
[ ! -e "$dir/piped.wav" ] || fail "SIGPIPE left a target of $(stat -c %s "$dir/piped.wav") bytes"
[ -z "$(others piped.wav)" ] || fail "SIGPIPE left temporary files: $(others piped.wav)"
[ $status -eq 1 ] || fail "a conversion whose reader went away exited $status, not 1"

# SIGKILL cannot be caught: at most the temporary, under its own name.
convert_and_signal killed.wav KILL
[ ! -e "$dir/killed.wav" ] || fail "SIGKILL left a target of $(stat -c %s "$dir/killed.wav") bytes"
for left in $(others killed.wav); do
  [[ $left == .killed.wav.velkconv-?????? ]] || fail "SIGKILL left $left, not a temporary named .killed.wav.velkconv-XXXXXX"
  [ "$(stat -c %a "$dir/$left")" == 600 ] || fail "the temporary $left has mode $(stat -c %a "$dir/$left"), not 600"
  rm -f "$dir/$left"
done

# Left alone, the conversion ends under the target's name, whole and private.
head -c 20000 "$dir/hour.ntc" > "$dir/short.ntc"
(umask 022 && "$velkconv" "$dir/short.ntc" 3 "$dir/whole.wav" 0 > "$dir/out.txt" 2>&1) \
  || fail "a conversion left alone failed: $(cat "$dir/out.txt")"
# 1000 source frames of 20 ms; the first is not converted.
[ "$(stat -c %s "$dir/whole.wav")" -eq $((58 + 160 * 999)) ] \
  || fail "the whole target has $(stat -c %s "$dir/whole.wav") bytes, expected a 58-byte header and 999 frames"
[ "$(stat -c %a "$dir/whole.wav")" == 600 ] || fail "the target has mode $(stat -c %a "$dir/whole.wav"), not 600"
[ -z "$(others whole.wav)" ] || fail "a whole conversion left temporary files: $(others whole.wav)"
echo "velkconv signals: all checks passed"
