#!/bin/sh
# End-to-end test of tarvelin.exe under wine and Xvfb with a window manager
# (openbox), as a user meets it: the window above the others, closed with
# Alt+F4; a package named on the command line (as when it is dropped on the
# program's icon); a real drag and drop from a second X client (the native
# drag source), which stays below the window, onto the list. The boxes are answered with Enter; the result
# folder beside the package, on another file system than the wine prefix's
# C: drive, is compared with what the native `pandrel x PKG '*.*'` gives, and
# the run's staging folder in the prefix must be left empty.
#   tests/windows/drop_test.sh TARVELIN_EXE WINE_RUN NATIVE_BUILD PREFIX
# NATIVE_BUILD holds tool/pandrel, tests/fixtures/make_fixture and
# front/qt/tarvelin_drag_source; PREFIX is the test's own wine prefix (made
# on first use). With SCREENSHOT_DIR set, the window and the first box are
# saved there as tarvelin-windows.png and tarvelin-windows-box.png.
# Exits 77 (skipped) where Xvfb, xdotool, openbox, xprop, xwininfo or wine is
# missing.
# Every wait is bounded.
set -eu

if [ "${1:-}" != --inside ]; then
  [ $# -eq 4 ] || { echo "usage: $0 TARVELIN_EXE WINE_RUN NATIVE_BUILD PREFIX" >&2; exit 2; }
  for program in xvfb-run Xvfb xauth xdotool openbox xprop xwininfo wine wineserver timeout; do
    if ! command -v "$program" >/dev/null 2>&1; then
      echo "SKIP: $program is not installed (scripts/install-deps installs it)"
      exit 77
    fi
  done
  for built in tool/pandrel tests/fixtures/make_fixture front/qt/tarvelin_drag_source; do
    if [ ! -x "$3/$built" ]; then
      echo "SKIP: no $3/$built (the native build makes it)"
      exit 77
    fi
  done
  work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelin-wine-drop-XXXXXX")
  status=0
  timeout 840 xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" \
    sh "$0" --inside "$work" "$@" </dev/null || status=$?
  # The prefix's server and its programs go with the display they used.
  WINEPREFIX=$4 timeout 60 wineserver -k 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
fi

# Inside the X server from here on.
work=$2
tarvelin=$3
wine_run=$4
native=$5
export WINEPREFIX="$6"
export WINEDEBUG=-all
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs "$@" until it succeeds, at most $tries times, 0.1 s apart.
tries=300
poll() {
  n=0
  until "$@"; do
    n=$((n + 1))
    [ "$n" -lt "$tries" ] || return 1
    sleep 0.1
  done
}

# The package lies on another file system than the prefix's C: drive (a
# tmpfs where there is one), so that the result is moved across drives.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  pkgs=$(mktemp -d /dev/shm/tarvelin-wine-drop-XXXXXX)
else
  pkgs=$(mktemp -d "/tmp/tarvelin-wine-drop-XXXXXX")
fi
pids=""
cleanup() {
  for pid in $pids; do kill -TERM "$pid" 2>/dev/null || true; done
  rm -rf "$pkgs"
}
trap cleanup EXIT

# A package whose cabinet lies beside it, under a name that cmd.exe and
# the shell would both misread if it were not quoted.
base='我的 100% & ^'
package="$pkgs/$base.msi"
result="$pkgs/${base}_EXT"
"$native/tests/fixtures/make_fixture" sample-external "$package"
"$native/tool/pandrel" x "$package" '*.*' "$work/expected/" >/dev/null

# Chinese text needs a font that the prefix finds under the window's name.
timeout 300 "$wine_run" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft YaHei UI' \
  /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1 ||
  fail "the font replacement could not be set in $WINEPREFIX"

# Lists "size path" of every file below $1.
listing() { (cd "$1" && find . -type f -exec wc -c {} + | grep -v ' total$' | sort -k2); }

# The windows titled "Tarvelin": the form (a normal window) and its boxes
# (dialogs).
titled() { xdotool search --onlyvisible --name '^Tarvelin$' 2>/dev/null || true; }
is_form() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_NORMAL; }
form_window() {
  for shown in $(titled); do
    if is_form "$shown"; then
      echo "$shown"
      return
    fi
  done
}
form_shown() { [ -n "$(form_window)" ]; }

# The inside of window $1 on the screen, in X, Y, WIDTH and HEIGHT, as
# xwininfo tells it (xdotool counts a frame's offset twice).
inside() {
  info=$(xwininfo -id "$1")
  X=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
  Y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
  WIDTH=$(echo "$info" | sed -n 's/.*Width: *//p')
  HEIGHT=$(echo "$info" | sed -n 's/.*Height: *//p')
}

# Saves window $1 with its frame (when a window manager drew one) as $2.
screenshot() {
  [ -n "${SCREENSHOT_DIR:-}" ] || return 0
  command -v import >/dev/null 2>&1 || return 0
  inside "$1"
  x=$X y=$Y width=$WIDTH height=$HEIGHT
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
  left=0 right=0 top=0 bottom=0
  [ -z "$extents" ] || IFS=, read -r left right top bottom <<EOF
$extents
EOF
  mkdir -p "$SCREENSHOT_DIR"
  sleep 0.5  # the last paint
  import -window root -crop "$((width + left + right))x$((height + top + bottom))+$((x - left))+$((y - top))" \
    +repage "$SCREENSHOT_DIR/$2"
}

# Starts tarvelin.exe with the arguments given; its pid in $tarvelin_pid.
start_tarvelin() {
  "$wine_run" "$tarvelin" "$@" >>"$work/tarvelin.out" 2>&1 &
  tarvelin_pid=$!
  pids="$pids $tarvelin_pid"
}
# Waits for the program's end, which must be a clean one.
await_end() {
  ended() { ! kill -0 "$tarvelin_pid" 2>/dev/null; }
  poll ended || fail "tarvelin.exe did not end ($1)"
  wait "$tarvelin_pid" || fail "tarvelin.exe ended with an error ($1; $(cat "$work/tarvelin.out"))"
}

# Each box that shows gets the keyboard focus and then Enter, the key of
# its one button, until the program ends. The first box is saved as
# $1 when given.
presses=0
box_picture=""
answer_boxes() {
  kill -0 "$tarvelin_pid" 2>/dev/null || return 0
  for shown in $(titled); do
    ! is_form "$shown" || continue
    if [ -n "$box_picture" ]; then
      screenshot "$shown" "$box_picture"
      box_picture=""
    fi
    if [ "$(xdotool getwindowfocus 2>/dev/null)" != "$shown" ]; then
      timeout 30 xdotool windowfocus --sync "$shown" 2>/dev/null || continue
    fi
    xdotool key Return
    presses=$((presses + 1))
  done
  return 1
}

# The result folder holds the tool's tree and the registry script; the
# run left nothing in its staging folder.
check_result() {
  [ -f "$result/${base}_ext.reg" ] || fail "no registry script in $result ($1)"
  rm "$result/${base}_ext.reg"
  [ -n "$(listing "$work/expected/SourceDir")" ] || fail "the tool extracted nothing"
  [ "$(listing "$result")" = "$(listing "$work/expected/SourceDir")" ] ||
    fail "the result folder differs from the tool's tree ($1)"
  diff -r "$result" "$work/expected/SourceDir" >/dev/null || fail "a filed file differs ($1)"
  # The user's temporary folder, where GetTempPathW points in the prefix
  # (Temp or AppData\Local\Temp, by wine's version): the run staged there.
  staged=0
  for staging in "$WINEPREFIX"/drive_c/users/*/Temp/tarvelin \
    "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp/tarvelin; do
    [ -d "$staging" ] || continue
    staged=1
    left=$(find "$staging" -mindepth 1 -maxdepth 1)
    [ -z "$left" ] || fail "left in the staging folder ($1): $left"
  done
  [ "$staged" = 1 ] || fail "no staging folder in the user's temporary folder of $WINEPREFIX ($1)"
  rm -rf "$result"
}

# 1. Under the window manager: the window stays above the others, has the
# size of its twips at 96 DPI, and closes with Alt+F4.
openbox >"$work/openbox.out" 2>&1 &
openbox_pid=$!
pids="$pids $openbox_pid"
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
poll wm_up || fail "openbox did not start"

start_tarvelin
tries=600 poll form_shown || fail "the tarvelin window did not show ($(cat "$work/tarvelin.out"))"
window=$(form_window)
xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE ||
  fail "the window is not above the others ($(xprop -id "$window" _NET_WM_STATE))"
inside "$window"
[ "${WIDTH}x$HEIGHT" = 349x56 ] || fail "the window's inside is ${WIDTH}x$HEIGHT, not 349x56"
screenshot "$window" tarvelin-windows.png
timeout 30 xdotool windowfocus --sync "$window" 2>/dev/null || true
closed() { ! kill -0 "$tarvelin_pid" 2>/dev/null; }
close_window() {
  xdotool key alt+F4 2>/dev/null || true
  sleep 0.5
  closed
}
tries=20 poll close_window || fail "Alt+F4 did not close the window"
await_end "closed with Alt+F4"

# 2. A package named on the command line, relative to the folder tarvelin
# starts in, is taken like a drop: two boxes ask to wait for the tool.
cd "$pkgs"
start_tarvelin "$base.msi"
cd "$work"
presses=0
box_picture=tarvelin-windows-box.png
tries=600 poll answer_boxes || fail "tarvelin.exe did not end ($presses boxes answered)"
await_end "a package on the command line"
[ "$presses" -ge 2 ] || fail "only $presses boxes answered for the package on the command line"
check_result "a package on the command line"

# 3. A drag from another X client onto the list, under the window manager
# still; the window stays above the newer one.
start_tarvelin
tries=600 poll form_shown || fail "the tarvelin window did not show again"
window=$(form_window)
"$native/front/qt/tarvelin_drag_source" "$package" >"$work/source.out" 2>&1 &
source_pid=$!
pids="$pids $source_pid"
source_shown() { [ -n "$(xdotool search --onlyvisible --name '^tarvelin drag source$' 2>/dev/null)" ]; }
poll source_shown || fail "the drag source did not show ($(cat "$work/source.out"))"
source_window=$(xdotool search --onlyvisible --name '^tarvelin drag source$' | head -n 1)
# The newer window does not cover it: in the window manager's stacking
# order (bottom first) the form stands above the drag source.
place() {
  n=0
  for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,/ /g'); do
    n=$((n + 1))
    [ "$((id))" -ne "$1" ] || echo "$n"
  done
}
[ "$(place "$window")" -gt "$(place "$source_window")" ] ||
  fail "the drag source covers the window ($(xprop -root _NET_CLIENT_LIST_STACKING))"

# The middle of the list (at 8,32, 329 x 16 in the window's inside) and of
# the drag source.
inside "$window"
to_x=$((X + 8 + 164))
to_y=$((Y + 32 + 8))
inside "$source_window"
from_x=$((X + WIDTH / 2))
from_y=$((Y + HEIGHT / 2))

# Press on the source, move over the list in steps until the window has
# accepted the drag, and only then let go.
xdotool mousemove --sync "$from_x" "$from_y"
xdotool mousedown 1
accepted() {
  step=$((step + 1))
  xdotool mousemove "$((to_x - 10 + step % 20))" "$to_y"
  grep -q '^accepted$' "$work/source.out"
}
step=0
poll accepted || fail "the window did not accept the drag ($(cat "$work/source.out"))"
xdotool mouseup 1
drag_ended() { grep -q 'dropped$' "$work/source.out"; }
poll drag_ended || fail "the drag did not end"
grep -q '^dropped$' "$work/source.out" || fail "the drop did not take place"

presses=0
tries=600 poll answer_boxes || fail "tarvelin.exe did not end after the drop ($presses boxes answered)"
await_end "a drop"
[ "$presses" -ge 2 ] || fail "only $presses boxes answered after the drop"
check_result "a drop"
echo "PASS: above the others, closed with Alt+F4, a package on the command line and one dropped" \
  "from another X client filed across drives ($(listing "$work/expected/SourceDir" | wc -l) files)"
