#!/usr/bin/env bash
# Makes the map's reference tables from PROJ's geod and cs2cs (Debian's proj-bin):
#   tests/data/map-geodesics.txt  distances and azimuths between known places
#   tests/data/map-shifts.txt     a datum shift at each place: the point on ED50 that the
#                                 3-parameter set gives, and the geodesic from one to the other
# Run from the repository's root: scripts/map_reference.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Places: name | latitude | longitude (WGS84, decimal degrees, east positive).
places=(
  "Madrid, Puerta del Sol|40.4169|-3.7036"
  "Cabo Finisterre|42.8826|-9.2719"
  "Cap de Creus|42.3190|3.3162"
  "Punta de Tarifa|36.0006|-5.6098"
  "Mahón|39.8885|4.2658"
  "Estaca de Bares|43.7917|-7.6883"
)
field() { echo "$1" | cut -d'|' -f"$2"; }
# Forward azimuth, back azimuth (degrees) and distance (metres) from geod.
geodesic() { echo "$1 $2 $3 $4" | geod +ellps=WGS84 -I +units=m -f %.4f | awk '{printf "%s | %s | %s", $1, $2, $3}'; }

{
  echo "# Geodesics between known places on the WGS84 ellipsoid, from PROJ's geod:"
  echo "#   echo \"lat1 lon1 lat2 lon2\" | geod +ellps=WGS84 -I +units=m -f %.4f"
  echo "# (forward azimuth at the first place, back azimuth at the second, metres). Made by"
  echo "# scripts/map_reference.sh; coordinates of the places to 1e-4 degree."
  echo "# from | lat | lon | to | lat | lon | azimuth there | back azimuth | metres"
  pairs=("0 1" "0 2" "0 3" "0 4" "1 2" "3 5" "1 4")
  for pair in "${pairs[@]}"; do
    read -r i j <<<"$pair"
    a=${places[$i]} b=${places[$j]}
    echo "$(field "$a" 1) | $(field "$a" 2) | $(field "$a" 3) | $(field "$b" 1) | $(field "$b" 2) | $(field "$b" 3) |" \
         "$(geodesic "$(field "$a" 2)" "$(field "$a" 3)" "$(field "$b" 2)" "$(field "$b" 3)")"
  done
} >tests/data/map-geodesics.txt

{
  echo "# The datum shift at known places: each point moved from WGS84 to ED50 (or back) by"
  echo "# the 3-parameter set -87 -98 -121 m, with PROJ's cs2cs:"
  echo "#   echo \"lon lat 0\" | cs2cs +proj=longlat +ellps=WGS84 +towgs84=0,0,0 +to \\"
  echo "#     +proj=longlat +ellps=intl +towgs84=-87,-98,-121 -f %.8f"
  echo "# then the geodesic from the typed point to the moved one on the WGS84 ellipsoid, from"
  echo "#   echo \"lat1 lon1 lat2 lon2\" | geod +ellps=WGS84 -I +units=m -f %.4f"
  echo "# Made by scripts/map_reference.sh."
  echo "# place | direction | typed lat | typed lon | moved lat | moved lon | azimuth | metres"
  wgs84="+proj=longlat +ellps=WGS84 +towgs84=0,0,0"
  ed50="+proj=longlat +ellps=intl +towgs84=-87,-98,-121"
  for i in "${!places[@]}"; do
    p=${places[$i]} lat=$(field "${places[$i]}" 2) lon=$(field "${places[$i]}" 3)
    if ((i % 3 == 2)); then direction="ED50>WGS84" from=$ed50 to=$wgs84; else direction="WGS84>ED50" from=$wgs84 to=$ed50; fi
    # shellcheck disable=SC2086
    read -r lon2 lat2 _ < <(echo "$lon $lat 0" | cs2cs $from +to $to -f %.8f)
    read -r az _ metres < <(echo "$lat $lon $lat2 $lon2" | geod +ellps=WGS84 -I +units=m -f %.4f)
    echo "$(field "$p" 1) | $direction | $lat | $lon | $lat2 | $lon2 | $az | $metres"
  done
} >tests/data/map-shifts.txt

# Where places lie by the map's outlines, and how far from the coast a point at sea is:
# the geodesic to a real coast point near the nearest (a headland, a lighthouse).
#   tests/data/map-places.txt
{
  echo "# Places as the map shows them: land (the country's ISO 3166 code) or sea, the name the"
  echo "# map gives the place (OpenStreetMap's outlines; the islands by their Spanish names; \"la"
  echo "# costa\" within 30 m of a coast, where the land's colour may be either side's), and"
  echo "# for a point at sea a real coast point near the nearest one with the geodesic to it"
  echo "# from PROJ's geod, in kilometres:"
  echo "#   echo \"lat1 lon1 lat2 lon2\" | geod +ellps=WGS84 -I +units=km -f %.2f"
  echo "# The map's distance may be up to 'less' km shorter: the coast point is near the nearest,"
  echo "# not it (the Columbretes are a square some 900 m across about l'Illa Grossa's lighthouse)."
  echo "# Made by scripts/map_reference.sh; the coast points"
  echo "# and lighthouses from their published positions."
  echo "# place | lat | lon | land | name | coast point | lat | lon | km | less"
  geodesic_km() { [ "$3" = - ] && echo - || echo "$1 $2 $3 $4" | geod +ellps=WGS84 -I +units=km | awk '{print $3}'; }
  while IFS='|' read -r place lat lon land name coast clat clon less; do
    echo "$place | $lat | $lon | $land | $name | $coast | $clat | $clon | $(geodesic_km "$lat" "$lon" "$clat" "$clon") |" \
         "$less"
  done <<'PLACES'
Madrid, Puerta del Sol|40.4169|-3.7036|ES|España|-|-|-|-
Frente a Castellón, 75 km mar adentro|39.9|0.9|sea|mar Mediterráneo|Columbretes, el faro de l'Illa Grossa (39º 53' 48" N 0º 41' 09" E)|39.8967|0.6858|1
Cabrera, el puerto|39.1436|2.9447|ES|Cabrera|-|-|-|-
Palma|39.5696|2.6502|ES|Mallorca|-|-|-|-
Delta del Ebro, Deltebre|40.7200|0.7100|ES|España|-|-|-|-
Bahía de Algeciras|36.12|-5.40|sea|bahía de Algeciras|Punta de Europa, el faro (36º 06' 38" N 5º 20' 44" W)|36.1106|-5.3456|3.5
Gibraltar, el peñón|36.1400|-5.3500|GI|Gibraltar (Reino Unido)|-|-|-|-
Gibraltar, el aeropuerto|36.1512|-5.3472|GI|Gibraltar (Reino Unido)|-|-|-|-
Cabo de Palos, el faro|37.6344|-0.6906|ES|España|-|-|-|-
Punta de Tarifa|36.0006|-5.6098|-|la costa|-|-|-|-
Llívia|42.4636|1.9806|ES|Llívia|-|-|-|-
Pas de la Casa|42.5424|1.7336|AD|Andorra|-|-|-|-
Ceuta|35.8894|-5.3213|ES|Ceuta|-|-|-|-
Mar de las Columbretes|39.85|0.75|sea|mar Mediterráneo|Columbretes, el faro de l'Illa Grossa (39º 53' 48" N 0º 41' 09" E)|39.8967|0.6858|1
PLACES
} >tests/data/map-places.txt

# The arrow's two figures: a point typed in UTM on a tab, converted by a method as the tab
# does it, then the shift on the ground (geod) and the change of the UTM coordinates in the
# typed zone, each point projected on its own datum (cs2cs).
#   tests/data/map-arrows.txt
est99_from_wgs84="+proj=pipeline +step +proj=cart +ellps=WGS84 +step +inv +proj=helmert +convention=position_vector
  +x=-131.032 +y=-100.251 +z=-163.354 +rx=-1.2438 +ry=-0.0195 +rz=-1.1436 +s=9.39 +step +inv +proj=cart +ellps=intl"
molodensky_from_wgs84="+inv +proj=molodensky +ellps=intl +dx=-84 +dy=-107 +dz=-120 +da=-251
  +df=-1.4192702255886366e-05"
grid_from_ed50="+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step +proj=hgridshift
  +grids=es_ign_SPED2ETV2.tif +step +proj=unitconvert +xy_in=rad +xy_out=deg"
{
  echo "# The datum shift's arrow: a point typed in UTM (zone, E, N) on a tab, converted as the"
  echo "# tab's method does it, with PROJ 9 (Debian proj-bin; the grid of data/):"
  echo "#   Rejilla IGN, ED50 to ETRS89: cct -d 10 $(echo $grid_from_ed50)"
  echo "#   Bursa Wolf 7p, EST99 from WGS84: cct -d 10 $(echo $est99_from_wgs84)"
  echo "#   Molodensky 3p, NIMA set (the tab's default) from WGS84: cct -d 10 $(echo $molodensky_from_wgs84)"
  echo "# the typed point and the converted one in degrees and projected on their own datums in the"
  echo "# typed zone (cs2cs +proj=utm, ellipsoids intl and WGS84), the change of the UTM coordinates"
  echo "# (converted minus typed) and the geodesic between the two points on WGS84 (geod -I), then"
  echo "# the arrow's label they make, each figure rounded to the metre. Made by scripts/map_reference.sh."
  echo "# place | direction | method | zone | E | N | typed lat | typed lon | lat | lon | dE | dN | metres | label"
  while IFS='|' read -r place direction method zone E N; do
    if [ "$direction" = ED50-WGS84 ]; then from=intl to=WGS84; else from=WGS84 to=intl; fi
    read -r lon lat _ < <(echo "$E $N" | cs2cs -f %.10f +proj=utm +zone="$zone" +ellps=$from +to +proj=longlat +ellps=$from)
    case $method in
      grid) pipeline=$grid_from_ed50 ;;
      helmert) pipeline=$est99_from_wgs84 ;;
      molodensky) pipeline=$molodensky_from_wgs84 ;;
    esac
    # shellcheck disable=SC2086
    read -r lon2 lat2 _ < <(echo "$lon $lat 0" | PROJ_DATA="$PWD/data:/usr/share/proj" cct -d 10 $pipeline)
    read -r E2 N2 _ < <(echo "$lon2 $lat2" | cs2cs -f %.4f +proj=longlat +ellps=$to +to +proj=utm +zone="$zone" +ellps=$to)
    read -r _ _ metres < <(echo "$lat $lon $lat2 $lon2" | geod +ellps=WGS84 -I +units=m -f %.4f)
    python3 - "$place" "$direction" "$method" "$zone" "$E" "$N" "$lat" "$lon" "$lat2" "$lon2" "$E2" "$N2" "$metres" <<'PY'
import sys
place, direction, method, zone, E, N, lat, lon, lat2, lon2, E2, N2, metres = sys.argv[1:]
dE, dN = float(E2) - float(E), float(N2) - float(N)
def signed(v):
    r = int(abs(v) + 0.5) * (1 if v >= 0 else -1)
    return ("\u2212" if r < 0 else "+" if r > 0 else "") + str(abs(r)) + " m"
label = f"{int(float(metres) + 0.5)} m \u00b7 \u0394E {signed(dE)}, \u0394N {signed(dN)}"
print(" | ".join([place, direction, method, zone, E, N, lat, lon, lat2, lon2, f"{dE:.3f}", f"{dN:.3f}", metres, label]))
PY
  done <<'ARROWS'
Frente a Castellón, 75 km mar adentro|ED50-WGS84|grid|31|320468|4418845
Madrid, Puerta del Sol|WGS84-ED50|helmert|30|440300|4474250
Palma|WGS84-ED50|molodensky|31|470000|4380000
València, en el huso 31 (el suyo es el 30)|ED50-WGS84|grid|31|209538|4374442
ARROWS
} >tests/data/map-arrows.txt
