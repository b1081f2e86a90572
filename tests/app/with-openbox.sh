#!/bin/sh
# Runs a program on the X display already set up (xvfb-run) with openbox managing its windows, as
# on a desktop: the program's exit status is this script's. Every wait is bounded.
# usage: with-openbox.sh PROGRAM [ARGS...]
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
i=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  i=$((i + 1))
  if [ $i -gt 100 ]; then
    echo "openbox did not start" >&2
    kill $wm 2>/dev/null
    wait $wm 2>/dev/null
    exit 1
  fi
  sleep 0.1
done
"$@"
status=$?
kill $wm 2>/dev/null
wait $wm 2>/dev/null
exit $status
