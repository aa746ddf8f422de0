#!/bin/sh
# Takes docs/tarvelin.png: the real window under Xvfb, with a CJK font. Xvfb
# runs no window manager: the picture is the window's client area, 349 x 56
# pixels, which Qt places at the top left corner.
#   front/tools/screenshot.sh BUILD_DIR OUT.png
# Needs xvfb, xauth and fonts-wqy-microhei.
set -eu
build=$1
out=$2
cmake --build "$build" --target tarvelin tarvelin_grab_screen
timeout 60 xvfb-run -a -s "-screen 0 400x120x24" sh -c '
  "$1/front/qt/tarvelin" &
  window=$!
  sleep 3
  "$1/front/qt/tarvelin_grab_screen" "$2" 0 0 349 56
  kill -TERM "$window"
  wait "$window" || true
' sh "$build" "$out"
