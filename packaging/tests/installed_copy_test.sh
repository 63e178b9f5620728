#!/usr/bin/env bash
# An installed CallDeck, end to end: the build installed into a staging
# folder (DESTDIR) has its program folder, its commands, desktop entry,
# icon, metainfo and manual pages (`man CallDeck` the window's, `man
# calldeck` the commands', whose synopsis keeps every usage whole within its
# options); the installed `calldeck scan` and `calldeck search`, run by a
# user who cannot write the installation, keep the record index and the run
# logs in that user's data folder and leave the installed tree exactly as it
# was.
#
#   installed_copy_test.sh BUILD_DIR RECGEN WORK_DIR
set -euo pipefail
build=$1 recgen=$2 work=$3

fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
chmod 755 "$work"
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install into a staging folder"
prefix=$stage/usr

for file in lib/calldeck/CallDeck lib/calldeck/calldeck lib/calldeck/velkconv lib/calldeck/VelkCodec.so \
            lib/calldeck/VoiceCvt.so lib/calldeck/AuralWren2.so lib/calldeck/AuralCodecG711a.so \
            lib/calldeck/AuralCodecDlg32k.so lib/calldeck/AuralCodecDlg24k.so lib/calldeck/AuralCodecWren2.so \
            lib/calldeck/Player.mdb lib/calldeck/CallDeck.installed \
            share/applications/org.calldeck.CallDeck.desktop share/metainfo/org.calldeck.CallDeck.metainfo.xml \
            share/icons/hicolor/scalable/apps/org.calldeck.CallDeck.svg \
            share/icons/hicolor/48x48/apps/org.calldeck.CallDeck.png \
            share/man/man1/CallDeck.1.gz share/man/man1/calldeck.1.gz share/man/man1/velkconv.1.gz \
            share/doc/calldeck/examples/calldeck-purge.service share/doc/calldeck/examples/calldeck-purge.timer; do
  [ -f "$prefix/$file" ] || fail "the installed tree lacks $file"
done
for command in CallDeck calldeck velkconv; do
  [ "$(readlink "$prefix/bin/$command")" = "../lib/calldeck/$command" ] ||
    fail "bin/$command does not lead to the program folder"
done
desktop-file-validate "$prefix/share/applications/org.calldeck.CallDeck.desktop" ||
  fail "the desktop entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.calldeck.CallDeck.metainfo.xml" >/dev/null ||
  fail "the metainfo does not validate"
zcat "$prefix/share/man/man1/calldeck.1.gz" | grep -q 'calldeck export' ||
  fail "the manual page of calldeck does not describe export"
zcat "$prefix/share/man/man1/CallDeck.1.gz" | grep -q '^\.B Ctrl+Right' ||
  fail "the manual page of the window does not list its keys"
if command -v man >/dev/null; then
  for name in CallDeck calldeck; do
    [ "$(man -M "$prefix/share/man" -w "$name")" = "$prefix/share/man/man1/$name.1.gz" ] ||
      fail "man $name does not open $name.1"
  done
  # On a terminal of 80 columns the synopsis wraps a usage between its
  # options only, and joined up again it holds every usage of --help.
  synopsis=$(MANWIDTH=80 man -l "$prefix/share/man/man1/calldeck.1.gz" 2>/dev/null | sed -n '/^SYNOPSIS/,/^DESCRIPTION/p')
  awk '{ if (gsub(/\[/, "[") != gsub(/\]/, "]") || gsub(/\(/, "(") != gsub(/\)/, ")") || /-$/) exit 1 }' \
    <<<"$synopsis" || fail "calldeck(1) wraps a usage inside an option: $synopsis"
  joined=$(tr -s ' \n' '  ' <<<"$synopsis")
  while IFS= read -r usage; do
    grep -qF -- "$usage" <<<"$joined" || fail "calldeck(1) lacks the usage: $usage"
  done < <("$prefix/bin/calldeck" --help | sed -n 's/^\(Usage: \|  or:  \)//p' | tr -s ' ')
fi

# The user: root stands in for an operator through the unprivileged
# "nobody"; anyone else is an operator already, and the installation is
# made read-only for them as /usr is.
home=$work/home
mkdir -p "$home"
"$recgen" --calls 12 --days 1 "$home/calls" >/dev/null || fail "recgen could not write recordings"
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody: "$home"
  as_user=(runuser -u nobody --)
else
  chmod -R a-w "$stage"
  as_user=()
fi
snapshot() { (cd "$stage" && find . -printf '%p %s %T@ %m\n' | sort); }
before=$(snapshot)

run() { "${as_user[@]}" env -u XDG_DATA_HOME HOME="$home" "$prefix/bin/calldeck" "$@"; }
scan=$(run scan --main-folder "$home/calls" 2>&1) || fail "the installed calldeck scan failed: $scan"
indexed=$(sed -n 's/^Record File = \([0-9]*\)$/\1/p' <<<"$scan")
[ "${indexed:-0}" -gt 0 ] || fail "the scan indexed no recording: $scan"
found=$(run search --all 2>&1) || fail "the installed calldeck search failed: $found"
[ "$(grep -c "$home/calls/" <<<"$found")" -eq "$indexed" ] ||
  fail "the search did not find the $indexed recordings the scan indexed: $found"

user=$home/.local/share/CallDeck
[ -s "$user/Player.mdb" ] || fail "the index is not in the user's data folder $user"
ls "$user/PlayerLog"/Runlog*.txt >/dev/null 2>&1 || fail "the run log is not in the user's data folder"
[ "$(snapshot)" = "$before" ] || {
  diff <(echo "$before") <(snapshot) >&2 || true
  fail "the installed tree was written to"
}
[ "$(id -u)" -eq 0 ] || chmod -R u+w "$stage"
rm -rf "$work"
echo "installed copy: tree, commands and the user's own index all as expected"
