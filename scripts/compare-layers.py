#!/usr/bin/python3
# The largest difference between the vertices of two layers (GeoPackage, GeoJSON, ...), in
# the layers' own units, and whether every feature, attribute and vertex count matches:
#   scripts/compare-layers.py a.gpkg b.gpkg [tolerance]
# Exit status 1 when a feature differs beyond the tolerance (default 1e-6: a micrometre in
# UTM; GeoJSON's degrees need about 1e-11).
import sys
from osgeo import ogr

def features(path):
    source = ogr.Open(path)
    layer = source.GetLayer(0)
    for feature in layer:
        geometry = feature.GetGeometryRef()
        points = []
        def walk(g):
            if g is None:
                return
            if g.GetGeometryCount() > 0:
                for i in range(g.GetGeometryCount()):
                    walk(g.GetGeometryRef(i))
            else:
                points.extend(g.GetPoints() or [])
        walk(geometry)
        yield [feature.GetField(i) for i in range(feature.GetFieldCount())], points

tolerance = float(sys.argv[3]) if len(sys.argv) > 3 else 1e-6
first, second = list(features(sys.argv[1])), list(features(sys.argv[2]))
largest, count, bad = 0.0, 0, abs(len(first) - len(second))
for (fa, pa), (fb, pb) in zip(first, second):
    count += 1
    if fa != fb or len(pa) != len(pb):
        bad += 1
        continue
    for a, b in zip(pa, pb):
        largest = max(largest, max(abs(x - y) for x, y in zip(a, b)))
print(f"{count} features, {bad} differing in attributes or vertices, largest coordinate difference {largest:.3g}")
sys.exit(1 if bad or largest > tolerance else 0)
