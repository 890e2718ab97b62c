#!/usr/bin/env bash
# Installs a built Release tree into a prefix (default /usr/local): the programs, their
# grids, the menu entry, the icons, the AppStream entry and the manual pages. Only this
# step runs as root, through sudo, when the prefix is not writable by the user.
set -euo pipefail
build=${1:-build/release}
prefix=${2:-/usr/local}

writable=$prefix
while [ ! -e "$writable" ]; do writable=$(dirname "$writable"); done
sudo=""
if [ ! -w "$writable" ] && [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo cmake --install "$build" --prefix "$prefix"
# The list of installed files stays the user's, like the rest of the build folder.
if [ -n "$sudo" ]; then $sudo chown "$(id -u):$(id -g)" "$build/install_manifest.txt"; fi
echo "Talpor installed in $prefix: $prefix/bin/talpor, $prefix/bin/talpor-lote"
