#!/usr/bin/env bash
# Starts Talpor from a build folder with Spanish regional settings (decimal comma,
# thousands point), whatever the user's own are. Without a display it shows the
# window on a virtual X server, saves a picture of it and ends: into the build folder,
# or where the developer options given after the folder say (--screenshot FILE --tab N
# --click NAME, see src/qt/main.cpp).
#
#   scripts/run.sh [BUILD_DIR [TALPOR_OPTIONS...]]
set -euo pipefail
build=${1:-build/release}
[ $# -gt 0 ] && shift
exe="$build/src/qt/talpor"
if [ ! -x "$exe" ]; then
  echo "Talpor: the window is not built yet ($exe is missing)."
  exit 1
fi

spanish=(env -u LC_ALL -u LC_NUMERIC -u LC_MONETARY -u LC_TIME -u LC_MESSAGES -u LANGUAGE
         LANG=es_ES.UTF-8)

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "${spanish[@]}" "$exe" "$@"
fi

shot=""
args=("$@")
for i in "${!args[@]}"; do
  [ "${args[i]}" = --screenshot ] && shot=${args[i + 1]:-}
done
if [ -z "$shot" ]; then
  shot="$(cd "$build" && pwd)/talpor-screenshot.png"
  set -- --screenshot "$shot" "$@"
fi
echo "Talpor: no display found (\$DISPLAY and \$WAYLAND_DISPLAY are empty)."
echo "Talpor: showing the window on a virtual screen (Xvfb, 1024x768) to take a picture of it."
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "Talpor: xvfb-run is not installed (package xvfb); run scripts/deps.sh." >&2
  exit 1
fi
rm -f "$shot"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# The program ends by itself once the picture is saved; the time limit only guards
# against a message box nobody can answer on the virtual screen.
"${spanish[@]}" timeout -k 5 60 xvfb-run -a -s "-screen 0 1024x768x24" "$exe" "$@" >"$log" 2>&1 || true
if [ -f "$shot" ]; then
  echo "Talpor: screenshot saved to $shot"
else
  echo "Talpor: no screenshot was saved (the program failed, or hung for 60 s on the virtual screen):" >&2
  sed 's/^/  /' "$log" >&2
  exit 1
fi
