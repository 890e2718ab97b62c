#!/usr/bin/env bash
# Runs GNU make on Talpor's Makefile, installing make first where it is missing (a
# minimal Debian has no make): `./make run`, `./make test`, or any other target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

# The real make, never this script: it may itself be on PATH (PATH holding ".").
real_make() {
  local dir
  local -a dirs
  IFS=: read -ra dirs <<<"/usr/bin:$PATH"
  for dir in "${dirs[@]}"; do
    [ -x "${dir:-.}/make" ] && ! [ "${dir:-.}/make" -ef "$here/make" ] && { echo "${dir:-.}/make"; return 0; }
  done
  return 1
}

if ! gnu_make=$(real_make); then
  # Every target but clean needs the other packages too: one apt-get run for all.
  echo "GNU make is missing; installing it with the other Debian packages Talpor needs."
  scripts/deps.sh
  gnu_make=$(real_make) || { echo "make is still not found after installing it." >&2; exit 1; }
fi
exec "$gnu_make" "$@"
