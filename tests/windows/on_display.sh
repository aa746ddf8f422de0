#!/bin/sh
# Runs a Windows program under wine on an Xvfb display of its own, in the
# wine prefix PREFIX (made on first use), with a font for the window's
# Chinese texts under the name the window asks for; the prefix's server goes
# with the display. Exits 77 (skipped) where Xvfb or wine is missing.
#   tests/windows/on_display.sh WINE_RUN PREFIX PROGRAM.exe [ARGS...]
set -eu
[ $# -ge 3 ] || { echo "usage: $0 WINE_RUN PREFIX PROGRAM.exe [ARGS...]" >&2; exit 2; }
for program in xvfb-run Xvfb xauth wine wineserver timeout; do
  if ! command -v "$program" >/dev/null 2>&1; then
    echo "SKIP: $program is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
wine_run=$1
export WINEPREFIX="$2"
shift 2
status=0
timeout 600 xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" sh -c '
  "$0" reg add "HKCU\\Software\\Wine\\Fonts\\Replacements" /v "Microsoft YaHei UI" \
    /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1 || exit 1
  exec "$0" "$@"' "$wine_run" "$@" </dev/null || status=$?
timeout 60 wineserver -k 2>/dev/null || true
exit "$status"
