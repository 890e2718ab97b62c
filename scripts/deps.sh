#!/usr/bin/env bash
# Installs the Debian packages Talpor needs to build, test and run, when any is missing.
set -euo pipefail

# Qt's CMake files need the OpenGL headers (libgl-dev); Xvfb and xauth show the
# window on a machine without a display; the DejaVu fonts give it text to draw there;
# qt6-translations-l10n holds Qt's own Spanish texts (the buttons of the message boxes);
# libproj-dev is PROJ, which reads the IGN grids (and brings its library, libproj25) and
# runs beside the geodetic benchmarks (pkg-config finds it for them); proj-bin gives
# cs2cs, which the batch converter's benchmark runs beside it. `make package` builds the
# Debian package with CPack, which finds its library dependencies with dpkg-shlibdeps
# (dpkg-dev) and file; the tests check the menu and AppStream entries with
# desktop-file-validate (desktop-file-utils) and appstreamcli (appstream).
packages=(cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev libbenchmark-dev
          libproj-dev proj-bin xvfb xauth fonts-dejavu-core qt6-translations-l10n
          dpkg-dev file desktop-file-utils appstream)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
