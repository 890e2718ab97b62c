#!/usr/bin/env bash
# talpor-lote's manual page names every option its --help names, so the two do not drift.
set -euo pipefail
lote=$1
page=$2
options=$(ASAN_OPTIONS=detect_leaks=0 "$lote" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
text=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")
missing=0
for o in $options; do
  grep -q -- "$o" <<<"$text" || { echo "the manual page lacks $o" >&2; missing=1; }
done
exit $missing
