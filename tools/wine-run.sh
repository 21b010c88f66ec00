#!/bin/bash
# Runs one Windows program under wine64 in the project's prefix, on the
# user's display or on Xvfb. The program's exit code is ours.
source "$(dirname "$0")/wine-env.sh"
wine_ready || exit 125
# Wine's own background processes inherit the program's output handles and
# outlive it; given our pipe, they would keep the test runner waiting. So the
# program writes to a file that we pass on once it has ended.
out=$(mktemp)
"$WINE64" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
# 'wine64' itself failing to start must never look like a passing test.
if [ $rc -eq 0 ] && [ ! -e "$1" ] && [ ! -e "$1.exe" ]; then
  echo "wine-run: no such program: $1" >&2; exit 126
fi
exit $rc
