#!/usr/bin/env bash
# Writes every kind of output talpor-lote makes, on a fixed-seed set of varied points in
# Spain (degrees, UTM, GPS tracks, a GeoPackage layer), into one folder; run it with the
# talpor-lote of two builds and compare the folders (diff -r -x poly.gpkg: the input
# GeoPackage holds the time it was made) to show that a restructuring changed no byte:
#   scripts/outputs.sh BUILD/src/batch/talpor-lote OUT
set -euo pipefail
lote=$(realpath "$1") out=$2
mkdir -p "$out" && cd "$out"
python3 - <<'PY'
import random
r = random.Random(34)
with open("geo.csv", "w") as f:
    f.write("Nombre;Latitud;Longitud;Altitud\n")
    for i in range(3000):
        lat, lon = r.uniform(36.0, 43.7), r.uniform(-9.3, 3.3)
        f.write(f"P{i};{lat:.7f};{lon:.7f};{r.uniform(0, 3000):.2f}\n".replace(".", ",", 0))
with open("utm.txt", "w") as f:
    for i in range(3000):
        f.write(f"{r.choice([29, 30, 31])} {r.uniform(200000, 800000):.3f} {r.uniform(4000000, 4850000):.3f}\n")
with open("track.gpx", "w") as f:
    f.write('<?xml version="1.0"?>\n<gpx version="1.1" creator="t" xmlns="http://www.topografix.com/GPX/1/1"><trk><name>t</name><trkseg>\n')
    lat, lon = 40.4, -3.7
    for i in range(2000):
        lat += r.uniform(-0.01, 0.01); lon += r.uniform(-0.01, 0.01)
        f.write(f'<trkpt lat="{lat:.7f}" lon="{lon:.7f}"><ele>{r.uniform(500, 900):.1f}</ele></trkpt>\n')
    f.write("</trkseg></trk></gpx>\n")
with open("poly.csv", "w") as f:
    f.write("id,WKT\n")
    for i in range(200):
        x, y = r.uniform(300000, 700000), r.uniform(4100000, 4800000)
        ring = [(x + r.uniform(-900, 900), y + r.uniform(-900, 900)) for _ in range(6)]
        ring.append(ring[0])
        f.write(f'{i},"POLYGON(({",".join(f"{a:.3f} {b:.3f}" for a, b in ring)}))"\n')
PY
ogr2ogr -q -f GPKG -a_srs EPSG:23030 poly.gpkg poly.csv -nln montes 2>/dev/null
run() { local name=$1; shift; "$lote" "$@" >"$name.out" 2>"$name.err" || echo "status $?" >>"$name.err"; }
for m in helmert molodensky-ign molodensky-nima rejilla; do
  run "geo-$m" -m "$m" geo.csv
  run "utm-$m" -m "$m" -s ed50-wgs84 --salida=gms,gd,gm,utm,parametros,altitud utm.txt
done
run geo-alt --altitud=Altitud --salida=gms,gd,gm,utm,altura,parametros,altitud --coma geo.csv
run utm-punto -p -s ed50-wgs84 utm.txt
for f in gpx kml geojson csv; do
  run "track-$f" -f "$f" track.gpx
  run "utm-$f" -s ed50-wgs84 -f "$f" utm.txt
done
for f in gpkg shp geojson kml dxf csv; do
  rm -rf "poly-$f"; mkdir "poly-$f"
  run "poly-$f" -s ed50-wgs84 -m rejilla -f "$f" poly.gpkg "poly-$f/out.$f"
done
# A GeoPackage holds its time of writing: compare its features, not its bytes.
for f in poly-gpkg/out.gpkg; do ogrinfo -al -q "$f" >"$f.txt" 2>&1 && rm "$f"; done
