#!/usr/bin/env bash
# Starts Talpor from a build folder with Spanish regional settings (decimal comma,
# thousands point), whatever the user's own are. Without a display it shows the
# window on a virtual X server, saves a picture of it into the build folder and ends.
set -euo pipefail
build=${1:-build/release}
exe="$build/src/qt/talpor"
if [ ! -x "$exe" ]; then
  echo "Talpor: the window is not built yet ($exe is missing)."
  exit 1
fi

run_spanish() {
  env -u LC_ALL -u LC_NUMERIC -u LC_MONETARY LANG=es_ES.UTF-8 "$@"
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec env -u LC_ALL -u LC_NUMERIC -u LC_MONETARY LANG=es_ES.UTF-8 "$exe"
fi

shot="$(cd "$build" && pwd)/talpor-screenshot.png"
echo "Talpor: no display found (\$DISPLAY and \$WAYLAND_DISPLAY are empty)."
echo "Talpor: showing the window on a virtual screen (Xvfb, 1024x768) to take a picture of it."
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "Talpor: xvfb-run is not installed (package xvfb); run scripts/deps.sh." >&2
  exit 1
fi
rm -f "$shot"
# The program ends by itself once the picture is saved; the timeout only guards
# against a message box nobody can answer on the virtual screen.
run_spanish timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$exe" --screenshot "$shot" >/dev/null 2>&1 || true
if [ -f "$shot" ]; then
  echo "Talpor: screenshot saved to $shot"
else
  echo "Talpor: the window did not come up; no screenshot was saved." >&2
  exit 1
fi
