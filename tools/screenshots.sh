#!/usr/bin/env bash
# Makes the screenshots in docs/screenshots/ (the README's, and the preview of a 320 x 200 render
# and the main window at its minimum size on both tabs, to check the layout): builds the release
# preset's screenshot tool and runs it on the display given, or on a private Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build build/release --target vm_screenshots
if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
QT_QPA_PLATFORM=xcb build/release/tools/vm_screenshots docs/screenshots
