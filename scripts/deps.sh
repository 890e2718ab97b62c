#!/usr/bin/env bash
# Installs the Debian packages Talpor needs to build, test and run, when any is missing,
# with apt-get as root or through sudo.
set -euo pipefail

# Qt's CMake files need the OpenGL headers (libgl-dev); Xvfb and xauth show the
# window on a machine without a display; the DejaVu fonts give it text to draw there;
# qt6-translations-l10n holds Qt's own Spanish texts (the buttons of the message boxes);
# libproj-dev is PROJ, which reads the IGN grids (and brings its library, libproj25) and
# runs beside the geodetic benchmarks (pkg-config finds it for them); proj-bin gives
# cs2cs, which the batch converter's benchmark runs beside it. `make package` builds the
# Debian package with CPack, which finds its library dependencies with dpkg-shlibdeps
# (dpkg-dev) and file; the tests check the menu and AppStream entries with
# desktop-file-validate (desktop-file-utils) and appstreamcli (appstream). libxml2-dev
# reads and writes GPX and KML; libgdal-dev is GDAL, which reads and writes GIS layers
# (Shapefile, GeoPackage, KML and KMZ, GeoJSON, DXF); gdal-bin's ogrinfo and ogr2ogr make
# and check layers in the tests and run beside talpor-lote in the layer benchmark; python3
# and xmllint (libxml2-utils) read back the files talpor-lote writes in the tests,
# python3-ezdxf its DXF files, and python3-gdal's validator its cloud-optimised GeoTIFFs.
# libsqlite3-dev tells, without GDAL, whether a GeoPackage holds an image; zlib1g-dev
# reads and writes a QGIS project's .qgz. QGIS itself (python3-qgis, with its data
# providers in qgis-providers) makes the projects of the tests and reads back those
# talpor-lote writes.
packages=(cmake g++ make pkg-config qt6-base-dev libgl-dev libgtest-dev libbenchmark-dev
          libproj-dev proj-bin xvfb xauth fonts-dejavu-core qt6-translations-l10n
          dpkg-dev file desktop-file-utils appstream libxml2-dev gdal-bin libgdal-dev
          python3 libxml2-utils python3-ezdxf python3-gdal libsqlite3-dev zlib1g-dev python3-qgis
          qgis-providers)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root (sudo is not installed), then run the command again:" >&2
    echo "  su -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "Installing missing packages with apt-get${as_root:+ via sudo}: ${missing[*]}"
# Another apt-get at work (an update, another build's set-up) is waited for, not failed on.
apt=(apt-get -qq -o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0)
"${as_root[@]}" "${apt[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
