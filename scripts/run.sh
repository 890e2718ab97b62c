#!/usr/bin/env bash
# Starts Talpor from a build folder with Spanish regional settings.
set -euo pipefail
build=${1:-build/release}
exe="$build/src/qt/talpor"
if [ ! -x "$exe" ]; then
  echo "Talpor: the window is not built yet ($exe is missing)."
  exit 0
fi
exec env -u LC_ALL -u LC_NUMERIC -u LC_MONETARY LANG=es_ES.UTF-8 "$exe"
