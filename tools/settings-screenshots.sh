#!/bin/bash
# Screenshots of the settings dialog's four pages and the about box, taken
# on the virtual display: tools/settings-screenshots.sh BUILD_DIR OUT_DIR
set -e
build=$(cd "${1:?build folder}" && pwd)
mkdir -p "${2:?output folder}"; out=$(cd "$2" && pwd)
tools=$(cd "$(dirname "$0")" && pwd)
source "$tools/wine-env.sh"
unset DISPLAY  # the pictures are taken on the virtual display
wine_ready
work=$(mktemp -d)
for what in 0 1 2 3 about; do
  rm -f "$work/ready" "$work/stop"
  "$tools/wine-run.sh" "$build/bin/settings_pose.exe" "$what" "$(winpath "$work/ready")" "$(winpath "$work/stop")" &
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
