#!/bin/sh
# The window in a Wayland session, under a headless weston: with XWayland
# it goes to X, where it can stay on top, and shows on the X display; without
# it, it runs as a Wayland client and says once that it cannot stay on top.
#   front/tools/wayland_test.sh TARVELIN
# Needs weston, Xwayland, Qt's Wayland plugin (qt6-wayland) and xdotool
# (scripts/install-deps installs them); exits 77 (skipped) where one is
# missing. Every wait is a bounded poll.
set -eu

[ $# -eq 1 ] || { echo "usage: $0 TARVELIN" >&2; exit 2; }
tarvelin=$1
for program in weston Xwayland xdotool timeout; do
  if ! command -v "$program" >/dev/null 2>&1; then
    echo "SKIP: $program is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
if ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
  echo "SKIP: Qt's Wayland plugin is not installed (qt6-wayland; scripts/install-deps installs it)"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvelin-wayland-XXXXXX")
# weston wants a runtime folder of the user's alone.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE
# Under the sanitizers: what system libraries leak on a real display is not
# ours.
LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

# XWayland's sockets go where X servers put theirs; the X servers that run
# as root make the folder, weston does not.
# (An X server started beside this test may make it at the same time.)
if [ ! -d /tmp/.X11-unix ] && mkdir -m 1777 /tmp/.X11-unix 2>/dev/null; then
  chmod 1777 /tmp/.X11-unix
fi
[ -d /tmp/.X11-unix ] || { echo "SKIP: /tmp/.X11-unix is missing and cannot be made"; exit 77; }

weston_pid=
tarvelin_pid=
stop() {
  [ -z "$tarvelin_pid" ] || kill -TERM "$tarvelin_pid" 2>/dev/null || true
  [ -z "$weston_pid" ] || kill -TERM "$weston_pid" 2>/dev/null || true
  [ -z "$weston_pid" ] || wait "$weston_pid" 2>/dev/null || true
  tarvelin_pid=
  weston_pid=
}
trap 'stop; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs "$@" until it succeeds, at most 300 times, 0.1 s apart.
poll() {
  n=0
  until "$@"; do
    n=$((n + 1))
    [ "$n" -lt 300 ] || return 1
    sleep 0.1
  done
}

# Starts a headless weston on the socket $1, with the further options.
start_weston() {
  socket=$1
  shift
  timeout 300 weston --backend=headless-backend.so --socket="$socket" --idle-time=0 \
    --log="$work/$socket.log" "$@" </dev/null >/dev/null 2>&1 &
  weston_pid=$!
  listening() { kill -0 "$weston_pid" 2>/dev/null && [ -S "$XDG_RUNTIME_DIR/$socket" ]; }
  poll listening || fail "weston did not start: $(cat "$work/$socket.log" 2>/dev/null)"
}

# Without XWayland: a Wayland client, whose window Qt makes a toplevel
# surface, and one line that it cannot stay on top.
start_weston wayland-only
WAYLAND_DEBUG=client WAYLAND_DISPLAY=wayland-only timeout 300 "$tarvelin" \
  </dev/null >/dev/null 2>"$work/wayland.err" &
tarvelin_pid=$!
shown() { grep -q 'set_title("Tarvelin")' "$work/wayland.err" 2>/dev/null; }
poll shown || fail "no Wayland window: $(grep -v '^\[' "$work/wayland.err")"
told=$(grep -c '^tarvelin: .*cannot stay above' "$work/wayland.err" || true)
[ "$told" -eq 1 ] ||
  fail "told $told times that the window cannot stay on top: $(grep -v '^\[' "$work/wayland.err")"
stop

# With XWayland: on the X display, and nothing said.
start_weston with-x --xwayland
display=
offered() {
  display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\)$/\1/p' "$work/with-x.log" | head -n 1)
  [ -n "$display" ]
}
poll offered || fail "weston did not offer XWayland: $(cat "$work/with-x.log")"
DISPLAY=$display WAYLAND_DISPLAY=with-x timeout 300 "$tarvelin" \
  </dev/null >/dev/null 2>"$work/x.err" &
tarvelin_pid=$!
found() { [ -n "$(DISPLAY=$display xdotool search --onlyvisible --name '^Tarvelin$' 2>/dev/null)" ]; }
poll found || fail "the window did not show on XWayland's display $display: $(cat "$work/x.err")"
! grep -q 'cannot stay above' "$work/x.err" || fail "on X it says it cannot stay on top"
stop
echo "PASS: a Wayland client without XWayland, on X with it"
