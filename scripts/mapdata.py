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

The file, one line a polyline:
    C|B <n> lon lat dlon dlat ...
in ten-thousandths of a degree, the first point whole and each next one as the step from
the one before; lines starting with "#" are comments.
"""
import json
import os
import subprocess
import sys
import tarfile
import tempfile

WEST, EAST, SOUTH, NORTH = -10.5, 5.5, 34.8, 44.6
TOLERANCE = 0.003
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


def main():
    topology = load(sys.argv[1] if len(sys.argv) > 1 else None)
    arcs = decode_arcs(topology)
    uses = arc_uses(topology)
    lines = [
        "# Costas y fronteras de la península ibérica y las Baleares para el mapa de Talpor.",
        "# Fuente: Natural Earth 1:10m, países (dominio público), en el paquete npm " + PACKAGE + " (ISC).",
        "# Hecho por scripts/mapdata.py: cada línea, C (costa) o B (frontera), su número de",
        "# puntos y los puntos en diezmilésimas de grado, el primero entero y los demás como",
        "# diferencia con el anterior.",
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
    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{OUT}: {len(lines) - 5} líneas, {total} puntos, {os.path.getsize(OUT)} bytes")


if __name__ == "__main__":
    main()
