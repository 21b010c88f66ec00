#!/bin/bash
# Runs one Windows program under wine64 in the project's prefix, on the
# user's display or on Xvfb. The program's exit code is ours.
source "$(dirname "$0")/wine-env.sh"
"$(dirname "$0")/wine-prefix.sh" || { echo "wine-run: the Wine prefix could not be prepared" >&2; exit 125; }
[ -n "$DISPLAY" ] || export DISPLAY=$("$(dirname "$0")/xvfb.sh" start)
"$WINE64" "$@"
rc=$?
# 'wine64' itself failing to start must never look like a passing test.
if [ $rc -eq 0 ] && [ ! -e "$1" ] && [ ! -e "$1.exe" ]; then
  echo "wine-run: no such program: $1" >&2; exit 126
fi
exit $rc
