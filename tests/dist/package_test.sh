#!/usr/bin/env bash
# Builds the Debian package as `make package` does, from a Release tree of its own (a
# sanitized build would tie the binaries to libasan), then checks what it holds and
# runs both programs from it unpacked into a temporary root: the window until it has
# painted, talpor-lote on a small file. The tree is kept between runs, so only the
# first run builds everything.
set -euo pipefail
source_dir=$1
tree=$2
jobs=${3:-2}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$source_dir" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DTALPOR_SANITIZE=OFF \
      -DTALPOR_TESTS=OFF -DTALPOR_BENCH=OFF -DTALPOR_QT=ON >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; exit 1; }
cmake --build "$tree" -j "$jobs" >"$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
rm -f "$tree"/talpor_*.deb
(cd "$tree" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$tree"/talpor_*.deb)
echo "package: $deb"

fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for f in usr/bin/talpor usr/bin/talpor-lote usr/lib/talpor/talpor-proj.so usr/lib/talpor/talpor-instance.so \
         usr/share/talpor/es_ign_SPED2ETV2.tif usr/share/talpor/es_ign_egm08-rednap.tif \
         usr/share/applications/es.talpor.Talpor.desktop \
         usr/share/metainfo/es.talpor.Talpor.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/es.talpor.Talpor.svg \
         usr/share/icons/hicolor/48x48/apps/es.talpor.Talpor.png \
         usr/share/man/man1/talpor.1.gz usr/share/man/man1/talpor-lote.1.gz \
         usr/share/doc/talpor/copyright usr/share/doc/talpor/changelog.gz \
         usr/share/doc/talpor/manual.md usr/share/doc/talpor/screenshots/mapa.png; do
  grep -qx "\./$f" "$work/contents" || fail "the package lacks /$f"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libqt6widgets6* && $depends == *qt6-qpa-plugins* ]] || fail "Depends lacks Qt: $depends"
# PROJ is linked by the grid module alone, which the programs load when a grid is needed.
[[ $depends == *libproj* ]] || fail "Depends lacks PROJ: $depends"
# Qt Network likewise, by the module a second start hands over to the running window with.
[[ $depends == *libqt6network6* ]] || fail "Depends lacks Qt Network: $depends"
[[ $depends == *libxml2* ]] || fail "Depends lacks libxml2 (GPX and KML): $depends"
[[ $depends != *libasan* && $depends != *libubsan* ]] || fail "built with the sanitizers: $depends"
[ "$(dpkg-deb -f "$deb" Section)" = science ] || fail "section is not science"
# A new version needs its entry in the changelog and the AppStream releases, and the
# manual pages' headers.
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-parsechangelog -l "$source_dir/dist/debian/changelog" -S Version)" = "$version" ] \
  || fail "dist/debian/changelog does not begin with version $version"
grep -q "<release version=\"$version\"" "$source_dir/dist/es.talpor.Talpor.metainfo.xml" \
  || fail "the AppStream entry has no release $version"
for page in "$source_dir"/dist/man/*.1; do
  grep -q "^\.TH .*\"Talpor $version\"" "$page" || fail "$page is not for Talpor $version"
done

root=$work/root
dpkg -x "$deb" "$root"
home=$work/home
mkdir -p "$home" "$work/runtime" && chmod 700 "$work/runtime"
# A Spanish user's session with no display and nothing of ours in the settings.
spanish=(env -u LC_ALL -u LC_NUMERIC -u LC_MONETARY LANG=es_ES.UTF-8 QT_QPA_PLATFORM=offscreen
         HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
         XDG_RUNTIME_DIR="$work/runtime")

shown=$("${spanish[@]}" timeout 60 "$root/usr/bin/talpor" --exit-when-shown) || fail "the window did not start"
[ "$shown" = shown ] || fail "the window printed «$shown»"
# The grids are found where the package puts them: "Rejilla IGN" converts without a message.
"${spanish[@]}" timeout 60 "$root/usr/bin/talpor" --tab 1 --click CmdWGS84Rejilla \
  --screenshot "$work/grid.png" 2>/dev/null || fail "the window did not convert with the grid"
[ -f "$work/grid.png" ] && [ ! -f "$work/grid-box.png" ] || fail "the grid method left a message"
# The menu entry's command on an English desktop, and a shell without a locale: the window
# opens as under Spain's conventions, with no question about them.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/es.talpor.Talpor.desktop")
english=("${spanish[@]}" LANG=en_US.UTF-8 PATH="$root/usr/bin:$PATH")
# shellcheck disable=SC2086 # the command line is split into words as the desktop does
shown=$("${english[@]}" timeout 60 $exec_line --exit-when-shown) || fail "the menu entry did not start the window"
[ "$shown" = shown ] || fail "the menu entry's window printed «$shown»"
shown=$(env -u LANG -u LC_ALL -u LC_NUMERIC -u LC_MONETARY QT_QPA_PLATFORM=offscreen HOME="$home" XDG_CONFIG_HOME="$home/.config" \
  XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$work/runtime" timeout 60 "$root/usr/bin/talpor" --exit-when-shown) \
  || fail "the window did not start without a locale"
[ "$shown" = shown ] || fail "the window without a locale printed «$shown»"

# A second start finds the module where the package puts it: it brings the running window
# forward and ends at once, with status 0 and no box.
"${spanish[@]}" "$root/usr/bin/talpor" --print-raised >"$work/first.out" 2>/dev/null &
first=$!
for _ in $(seq 300); do [ -S "$work/runtime/talpor-$(id -u).socket" ] && break; sleep 0.1; done
"${spanish[@]}" timeout 20 "$root/usr/bin/talpor" || fail "a second start did not hand over to the running window"
for _ in $(seq 100); do grep -q raised "$work/first.out" && break; sleep 0.1; done
kill "$first"
[ "$(cat "$work/first.out")" = raised ] || fail "the running window said «$(cat "$work/first.out")» when raised"

printf 'Punto;Latitud;Longitud\nSol;40,4168;-3,7038\n' >"$work/puntos.csv"
"${spanish[@]}" timeout 60 "$root/usr/bin/talpor-lote" --salida=utm "$work/puntos.csv" "$work/ed50.csv" \
  || fail "talpor-lote failed"
cat "$work/ed50.csv"
# Helmert EST99 from WGS84 to ED50: the UTM of the Puerta del Sol, zone 30.
grep -qx 'Sol;40,4168;-3,7038;30T;440399,49;4474464,74;;' "$work/ed50.csv" || fail "talpor-lote wrote no ED50 UTM row"
"${spanish[@]}" timeout 60 "$root/usr/bin/talpor-lote" -m rejilla "$work/puntos.csv" "$work/grid.csv" \
  || fail "talpor-lote did not convert with the grid"

# lintian, when installed: no errors.
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" | tee "$work/lintian" || true
  ! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"
fi
echo "package checked"
