#!/bin/bash
# start|stop a virtual display for Wine when there is no real one.
# Prints the DISPLAY value to use.
display=":${FERROW_DISPLAY:-97}"
num=${display#:}
answers() { xdpyinfo -display "$display" >/dev/null 2>&1; }
case "$1" in
  start)
    if ! answers; then
      # A socket or lock left by a server that died with an earlier session
      # would make us skip the start, or make Xvfb refuse it.
      rm -f "/tmp/.X11-unix/X$num" "/tmp/.X$num-lock"
      Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      echo $! > "/tmp/ferrow-xvfb-$num.pid"
      for _ in $(seq 200); do answers && break; sleep 0.1; done
      answers || { echo "xvfb.sh: the virtual display $display did not start" >&2; exit 1; }
    fi
    echo "$display" ;;
  stop)
    if [ -f "/tmp/ferrow-xvfb-$num.pid" ]; then
      kill "$(cat "/tmp/ferrow-xvfb-$num.pid")" 2>/dev/null || true
      rm -f "/tmp/ferrow-xvfb-$num.pid"
    fi ;;
esac
