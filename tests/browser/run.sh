#!/usr/bin/env bash
# The browser test of the reading page: puppeteer-core from the npm registry
# (installed here from package-lock.json when missing) drives Debian's
# chromium. Exits 77 (skipped) when chromium, node or the package cannot be
# had.
#
#   tests/browser/run.sh DODEVUZ DATA_DIR [SCREENSHOT.png]
#
# BROWSER_TEST names another test script of this folder (kanji_test.js).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
chromium="${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}"
if [ -z "$chromium" ] || ! command -v node >/dev/null; then
  echo "browser test skipped: chromium and node are needed (scripts/install-deps.sh browser)"
  exit 77
fi
# The arguments are paths: from here on they are taken from the test's folder.
args=()
for arg in "$@"; do
  case "$arg" in /*) args+=("$arg") ;; *) args+=("$PWD/$arg") ;; esac
done
cd "$here"
if [ ! -f node_modules/puppeteer-core/package.json ] ||
  [ package-lock.json -nt node_modules/.package-lock.json ]; then
  if ! command -v npm >/dev/null || ! npm ci --no-audit --no-fund --ignore-scripts >npm-ci.log 2>&1; then
    echo "browser test skipped: npm ci failed (see tests/browser/npm-ci.log)"
    exit 77
  fi
fi
export CHROMIUM="$chromium"
exec node "${BROWSER_TEST:-page_test.js}" "${args[@]}"
