#!/bin/bash
# start|stop a virtual display for Wine when there is no real one.
# Prints the DISPLAY value to use.
display=":${FERROW_DISPLAY:-97}"
num=${display#:}
case "$1" in
  start)
    if [ ! -S "/tmp/.X11-unix/X$num" ]; then
      Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      echo $! > "/tmp/ferrow-xvfb-$num.pid"
      for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$num" ] && break; sleep 0.1; done
    fi
    echo "$display" ;;
  stop)
    if [ -f "/tmp/ferrow-xvfb-$num.pid" ]; then
      kill "$(cat "/tmp/ferrow-xvfb-$num.pid")" 2>/dev/null || true
      rm -f "/tmp/ferrow-xvfb-$num.pid"
    fi ;;
esac
