#!/usr/bin/env bash
# Regenerates the pictures of the window in the README and the manual, one per tab, and of the map, in docs/screenshots/:
# the window of a Release build on a virtual screen (Xvfb, 1024x768), with a point
# converted on each conversion tab and the sun times and a distance on the utilities tab.
#
#   scripts/screenshots.sh [BUILD_DIR]
#
# Without BUILD_DIR it builds build/release (as `make run` does) when needed. The program
# runs with Spanish regional settings and empty settings folders of its own, whatever the
# caller's, so the pictures do not depend on who takes them; each run has a time limit,
# so a message box nobody can answer on the virtual screen fails the run instead of
# hanging it.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
out=docs/screenshots

if [ $# -gt 0 ]; then
  case $1 in /*) build=$1 ;; *) build=$caller/$1 ;; esac
else
  build=build/release
  scripts/deps.sh
  [ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALPOR_TESTS=OFF -DTALPOR_QT=ON
  cmake --build "$build" -j "$(nproc)" --target talpor
fi
exe="$build/src/qt/talpor"
if [ ! -x "$exe" ]; then
  echo "screenshots: $exe is missing; build it first, or give no folder to build build/release." >&2
  exit 1
fi
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (run scripts/deps.sh)." >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The caller's regional and language settings go; Spanish ones come in their place.
env_spanish=(env)
for v in $(compgen -e); do
  case $v in LC_* | LANGUAGE) env_spanish+=(-u "$v") ;; esac
done
env_spanish+=(LANG=es_ES.UTF-8 XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
              XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/run")
mkdir -m 700 "$work/run"

failed=0
# shot NAME [--tab N] [--click BUTTON]...: the window as NAME.png (and a message box a
# click left open as NAME-box.png).
shot() {
  local name=$1
  shift
  local rc=0
  "${env_spanish[@]}" timeout -k 5 60 xvfb-run -a -s "-screen 0 1024x768x24" \
    "$exe" --screenshot "$work/$name.png" "$@" >"$work/$name.log" 2>&1 || rc=$?
  if [ $rc -eq 0 ] && [ -s "$work/$name.png" ] && ! grep -q '^No button' "$work/$name.log"; then
    echo "screenshots: $name.png"
    return
  fi
  if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
    echo "screenshots: $name.png FAILED: talpor $* hung for 60 s and was stopped." >&2
  else
    echo "screenshots: $name.png FAILED: talpor $* (exit status $rc):" >&2
  fi
  sed 's/^/  /' "$work/$name.log" >&2
  failed=1
}

shot tab0-wgs84-ed50 --tab 0 --click CmdED50Helmert
shot tab1-ed50-wgs84 --tab 1 --click CmdWGS84Rejilla
shot tab2-utilidades --tab 2 --click Command3 --click Command4
# The map of tab 0's point, whole and at the point; only the map windows are kept.
shot mapa --tab 0 --click CmdED50Helmert --click CmdMapa_0
shot mapa-punto --tab 0 --click CmdED50Helmert --click CmdMapa_0 --click CmdAlPunto
for m in mapa mapa-punto; do
  [ -f "$work/$m-mapa.png" ] && mv "$work/$m-mapa.png" "$work/$m.png" || { echo "screenshots: no map in $m" >&2; failed=1; }
done

if [ $failed -ne 0 ]; then
  echo "screenshots: $out left as it was." >&2
  exit 1
fi
mkdir -p "$out"
rm -f "$out"/*.png
cp "$work"/*.png "$out"/
ls -l "$out"
