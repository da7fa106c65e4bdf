#!/bin/sh
# Runs a test binary on an X server of its own: xvfb-run starts Xvfb on a
# free display and ends it afterwards, and openbox, when installed, frames
# and maps the windows late, as a desktop's window manager does. The binary
# learns through MDI_PRIVATE_X that the display is its own; without
# xvfb-run it runs without one and its tests skip, saying why. A listing of
# the tests needs no display.
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac
if [ -z "$MDI_PRIVATE_X" ]; then
  command -v xvfb-run >/dev/null || exec "$@"
  MDI_PRIVATE_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
wm=
if command -v openbox >/dev/null; then
  ready=$(mktemp -u)
  openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.05; done
  rm -f "$ready"
fi
"$@"
rc=$?
[ -n "$wm" ] && kill "$wm"
exit $rc
