#!/bin/bash
# Screenshots of the settings dialog's four pages and the about box, taken
# on the virtual display: tools/settings-screenshots.sh BUILD_DIR OUT_DIR
set -e
build=$(cd "${1:?build folder}" && pwd)
mkdir -p "${2:?output folder}"; out=$(cd "$2" && pwd)
tools=$(cd "$(dirname "$0")" && pwd)
DISPLAY=$("$tools/xvfb.sh" start); export DISPLAY
work=$(mktemp -d)
for what in 0 1 2 3 about; do
  rm -f "$work/ready" "$work/stop"
  # Wine's drive Z: is the Unix root.
  "$tools/wine-run.sh" "$build/bin/settings_pose.exe" "$what" \
    "Z:$(echo "$work/ready" | tr / '\\')" "Z:$(echo "$work/stop" | tr / '\\')" &
  pid=$!
  for _ in $(seq 600); do [ -e "$work/ready" ] && break; sleep 0.1; done
  [ -e "$work/ready" ] || { echo "settings-screenshots: $what did not open" >&2; kill $pid; exit 1; }
  case $what in about) name=about ;; *) name=settings-page-$((what + 1)) ;; esac
  # Let the first paint land before the capture.
  sleep 1
  import -window root "$out/$name.png"
  mogrify -trim +repage "$out/$name.png"
  touch "$work/stop"
  wait $pid
done
rm -rf "$work"
echo "$out"
