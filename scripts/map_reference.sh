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
