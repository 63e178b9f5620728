#!/usr/bin/env bash
# The page test (page_test.mjs) as ctest runs it: skipped (exit 77) only
# when Debian's chromium is not installed; puppeteer-core comes from the
# lock file beside this script, installed by npm ci into the build folder.
#   page_test.sh CALLDECK EMPTY_PLAYER_MDB WORK_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x /usr/bin/chromium ]; then
  echo "SKIPPED: /usr/bin/chromium is missing (Debian's chromium package; scripts/install-deps installs it)"
  exit 77
fi
work=$3
mkdir -p "$work/npm"
cp "$here/package.json" "$here/package-lock.json" "$here/page_test.mjs" "$work/npm/"
(cd "$work/npm" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
node "$work/npm/page_test.mjs" "$1" "$2" "$work/run"
