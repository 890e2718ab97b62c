#!/usr/bin/env bash
# Checks that every include between the folders of src/ points down the layers of docs/developers.md:
# a folder includes only folders on lower levels (astro also geo, its own level's).
set -uo pipefail
src=$1/src
declare -A level=([qt]=11 [app]=10 [convert]=9 [utilities]=9 [batch]=8 [rasters]=7 [layers]=6 [gps]=5 [gdal]=5 [projects]=5
                  [tables]=4 [fields]=3 [core]=2 [text]=2 [form]=2 [geo]=1 [astro]=1 [num]=0)
bad=0
for dir in "$src"/*/; do
  from=$(basename "$dir")
  [ -n "${level[$from]:-}" ] || { echo "src/$from: a folder the layers do not name"; bad=1; continue; }
  while IFS=: read -r file to; do
    [ "$to" = "$from" ] && continue
    [ "$from/$to" = astro/geo ] && continue
    if [ -z "${level[$to]:-}" ] || [ "${level[$to]}" -ge "${level[$from]}" ]; then
      echo "${file#"$1"/} includes $to/: not below $from"; bad=1
    fi
  done < <(grep -oE '^#include "[a-z]+/' "$dir"*.h "$dir"*.cpp 2>/dev/null | sed -E 's/#include "([a-z]+)\//\1/')
done
exit $bad
