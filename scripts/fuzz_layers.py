#!/usr/bin/env python3
"""Feeds talpor-lote (best a build with AddressSanitizer and UBSan, with its worker
talpor-capas beside it) damaged GIS layers and checks what it promises on any layer:
exit status 0, 1 or 2, never a signal or a hang; no sanitizer report from talpor-lote,
and none from talpor-capas in the program's own code (a crash inside GDAL or the
libraries it reads with must end as one sentence, "GDAL ha fallado al leerla", status
2); a standard error in UTF-8 that is only the program's own lines, one line when
nothing is converted; no temporary output left in the folder and the input untouched;
and, when it converts, an output that reads back (ogrinfo for layers, Python's json for
GeoJSON, Python's csv for tables) with as many features, or rows, as the summary counts,
and a summary whose lines say what the exit status says.

The layers are made once per run by GDAL's ogr2ogr from small CSV files with WKT: ED50
UTM 30 points, lines, polygons with holes and multipolygons with texts (ñ, quotes, line
breaks, long texts), integers, reals and dates, as shapefiles (UTF-8 and Windows-1252),
GeoPackages (one and two layers), GeoJSON, KML and KMZ (WGS84) and DXF (no system).
Each case copies one and damages it as files get damaged: cut short, bits flipped, runs
of zeros, bytes changed or inserted, a sidecar missing, emptied or lying (.shx, .prj,
.cpg), text edits of GeoJSON, KML and DXF (a closing bracket or tag gone, a block
repeated, huge numbers, NaN), a KMZ's zip directory cut or flipped, a GeoPackage's
geometries or texts spoilt. The cases are drawn from a fixed seed, so that a run can be
repeated; a case that breaks a promise is kept in the failures folder, one folder each
(with the good layers in originales/), and its command line printed.

    scripts/fuzz_layers.py TALPOR_LOTE [--files N] [--seed S] [--jobs J] [--keep DIR]
"""
import argparse
import collections
import concurrent.futures
import csv
import io
import json
import os
import random
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import zipfile
import zlib

TIMEOUT = 60  # seconds a case may take: the worker itself gives up on a stuck read after ~15 s

# Libraries whose crash inside talpor-capas is GDAL's, contained by the worker; the
# sanitizer's own frames and the C and C++ runtimes are passed over to find the culprit.
GDAL_LIBRARIES = re.compile(r"libgdal|libkml|libminizip|libsqlite3|libgeos|libproj|libxml2|libexpat|libspatialite|"
                            r"libjson-c|libz\.so|libcurl|libtiff|libgeotiff|libpcre|/gdal/|/ogr/|/port/cpl_")
RUNTIME = re.compile(r"/usr/include/c\+\+/|libasan|libubsan|liblsan|sanitizer_common|/asan/|/ubsan/|/lsan/|__interceptor_|"
                     r"__asan_|__lsan_|__ubsan_|libc\.so|libc-|libstdc\+\+|libgcc|libm\.so|ld-linux|"
                     r"\bin (_start|__libc_start|operator new|operator delete|malloc|calloc|realloc|free|"
                     r"strdup|memcpy|memmove|memset|memcmp|strlen|strcmp|strncmp|strchr|strrchr|strcpy|"
                     r"strncpy|__strdup|__memcpy|__memmove)\b")
PROJECT = re.compile(r"/src/(batch|app|convert|core|fields|form|geo|num|qt|text|utilities|astro)/")

NAMES = ["Cañada Real", "Peñalara", 'Casa "grande"', "Monte d'Ávila", "Hito 12; cota 845", "Fuente, la de abajo",
         "Ñandú", "Rodal 7", "", "Línea 1\nlínea 2", "Vía «pecuaria»", "Camí de l'Horta", "Año 1950 — mojón"]
LONG = ("Paraje con pinar de repoblación, cañadas y mojones señalados; texto largo «de verdad» " * 3)[:250]


# ---------------------------------------------------------------- the base layers


def walk(rnd, e, n, steps, step):
    points = [(e, n)]
    for _ in range(steps):
        e += rnd.uniform(-step, step)
        n += rnd.uniform(-step, step)
        points.append((e, n))
    return points


def ring(points):
    return "(" + ",".join(f"{e:.2f} {n:.2f}" for e, n in points + points[:1]) + ")"


def square(e, n, half, sides=4):
    corners = [(-1, -1), (1, -1), (1, 1), (-1, 1)]
    if sides > 4:  # an irregular outline, more vertices
        corners = [(-1, -1), (0, -1.2), (1, -1), (1.1, 0), (1, 1), (0, 1.1), (-1, 1), (-1.2, 0)]
    return [(e + half * a, n + half * b) for a, b in corners]


def polygon(rnd, e, n):
    half = rnd.uniform(300, 1500)
    rings = [ring(square(e, n, half, rnd.choice([4, 8])))]
    for k in range(rnd.randrange(3)):  # holes, one in each quarter
        he, hn = e + half * (0.5 if k else -0.5), n + half * 0.5 * (1 if k % 2 else -1)
        rings.append(ring(square(he, hn, half * 0.2)[::-1]))
    return "(" + ",".join(rings) + ")"


def centre(rnd):
    # Within zone 30 on the peninsula, well away from the coasts.
    return rnd.uniform(350000, 650000), rnd.uniform(4200000, 4680000)


def geometry(rnd, kind):
    e, n = centre(rnd)
    if kind == "point":
        return f"POINT ({e:.2f} {n:.2f})"
    if kind == "line":
        points = walk(rnd, e, n, rnd.randrange(1, 12), 1500)
        return "LINESTRING (" + ",".join(f"{a:.2f} {b:.2f}" for a, b in points) + ")"
    if kind == "polygon":
        return "POLYGON " + polygon(rnd, e, n)
    parts = [polygon(rnd, e + 4000 * k, n + 3000 * k) for k in range(rnd.randrange(2, 4))]
    return "MULTIPOLYGON (" + ",".join(parts) + ")"


def csv_layer(rnd, folder, name, kind, count, empty=0):
    """A CSV file with WKT and typed attributes (its .csvt) for ogr2ogr to read."""
    rows = []
    for i in range(count):
        text = rnd.choice(NAMES)
        note = LONG if rnd.random() < 0.15 else rnd.choice(NAMES + ["", "sin nota"])
        wkt = "" if i < empty else geometry(rnd, kind)
        rows.append([wkt, text, str(rnd.randrange(-5, 100000)), f"{rnd.uniform(0, 5000):.3f}",
                     f"{rnd.randrange(1950, 2025)}-{rnd.randrange(1, 13):02d}-{rnd.randrange(1, 29):02d}", note])
    with open(os.path.join(folder, name + ".csv"), "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f, quoting=csv.QUOTE_ALL)
        writer.writerow(["WKT", "nombre", "codigo", "superficie", "fecha", "nota"])
        writer.writerows(rows)
    with open(os.path.join(folder, name + ".csvt"), "w") as f:
        f.write('"WKT","String(254)","Integer","Real","Date","String(254)"\n')


def ogr(folder, *args):
    # Fixed dates in the files GDAL writes, so that a run makes the same bytes every day.
    command = ["ogr2ogr", "--config", "OGR_CURRENT_DATE", "2020-01-01T00:00:00Z"] + list(args)
    run = subprocess.run(command, cwd=folder, capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"fuzz-layers: {' '.join(command)} failed: {run.stderr.strip()}")


CSV_OPEN = ["-oo", "GEOM_POSSIBLE_NAMES=WKT", "-oo", "KEEP_GEOM_COLUMNS=NO"]
SHP = ["-f", "ESRI Shapefile", "-lco", "DBF_DATE_LAST_UPDATE=2020-01-01", "-a_srs", "EPSG:23030"]
ED50 = "ed50"  # the layer's system says the direction
WGS84 = "wgs84"
NONE = "none"


class Base:
    def __init__(self, fmt, main, files, system, options=()):
        self.fmt, self.main, self.system, self.options = fmt, main, system, list(options)
        self.files = files  # name -> bytes


def make_bases(folder, seed):
    """The handful of good layers every case starts from."""
    rnd = random.Random(seed)
    csv_layer(rnd, folder, "hitos", "point", 30, empty=1)  # the first without geometry
    csv_layer(rnd, folder, "caminos", "line", 20)
    csv_layer(rnd, folder, "rodales", "polygon", 15)
    csv_layer(rnd, folder, "fincas", "multipolygon", 10)
    layers = []

    def base(fmt, main, system, options=(), names=None):
        names = names or [main]
        files = {}
        for n in names:
            with open(os.path.join(folder, n), "rb") as f:
                files[n] = f.read()
        layers.append(Base(fmt, main, files, system, options))

    def shapefile(name, encoding, kind):
        ogr(folder, *SHP, "-lco", f"ENCODING={encoding}", "-nlt", kind, name + ".shp", name + ".csv", *CSV_OPEN)
        base("shp", name + ".shp", ED50, names=[name + e for e in (".shp", ".shx", ".dbf", ".prj", ".cpg")])

    shapefile("hitos", "UTF-8", "POINT")
    shapefile("caminos", "CP1252", "LINESTRING")
    shapefile("rodales", "UTF-8", "POLYGON")
    shapefile("fincas", "CP1252", "MULTIPOLYGON")
    # A GeoPackage of two layers, and one of one.
    ogr(folder, "-f", "GPKG", "inventario.gpkg", "hitos.shp", "-nln", "hitos")
    ogr(folder, "-update", "-f", "GPKG", "inventario.gpkg", "rodales.shp", "-nln", "rodales")
    base("gpkg", "inventario.gpkg", ED50)
    ogr(folder, "-f", "GPKG", "caminos.gpkg", "caminos.shp", "-nln", "caminos")
    base("gpkg", "caminos.gpkg", ED50)
    # GeoJSON, KML and KMZ in WGS84, from the same layers.
    ogr(folder, "-f", "GeoJSON", "fincas.geojson", "fincas.shp", "-t_srs", "EPSG:4326")
    base("geojson", "fincas.geojson", WGS84)
    ogr(folder, "-f", "GeoJSON", "hitos.geojson", "hitos.shp", "-t_srs", "EPSG:4326")
    base("geojson", "hitos.geojson", WGS84)
    ogr(folder, "-f", "KML", "excursion.kml", "inventario.gpkg", "-t_srs", "EPSG:4326")
    base("kml", "excursion.kml", WGS84)
    ogr(folder, "-f", "GPKG", "kmz.gpkg", "caminos.shp", "-nln", "caminos", "-t_srs", "EPSG:4326")
    ogr(folder, "-update", "-f", "GPKG", "kmz.gpkg", "fincas.shp", "-nln", "fincas", "-t_srs", "EPSG:4326")
    ogr(folder, "-f", "LIBKML", "caminos.kmz", "kmz.gpkg")
    base("kmz", "caminos.kmz", WGS84)
    # DXF keeps no system: the direction and the zone are given.
    ogr(folder, "-f", "DXF", "plano.dxf", "caminos.shp")
    base("dxf", "plano.dxf", NONE, ["-s", "ed50-wgs84", "--huso=30"])
    ogr(folder, "-f", "DXF", "parcelas.dxf", "rodales.shp")
    base("dxf", "parcelas.dxf", NONE, ["-s", "ed50-wgs84", "--huso=30"])
    # The formats of other GIS programs, in ED50 from the same layers.
    ogr(folder, "-f", "MapInfo File", "rodales.tab", "rodales.shp")
    base("tab", "rodales.tab", ED50, names=[f"rodales.{e}" for e in ("tab", "dat", "map", "id")])
    ogr(folder, "-f", "MapInfo File", "-dsco", "FORMAT=MIF", "caminos.mif", "caminos.shp")
    base("mif", "caminos.mif", ED50, names=["caminos.mif", "caminos.mid"])
    ogr(folder, "-f", "GML", "-dsco", "FORMAT=GML3.2", "fincas.gml", "fincas.shp")
    base("gml", "fincas.gml", ED50, names=["fincas.gml", "fincas.xsd"])
    ogr(folder, "-f", "FlatGeobuf", "rodales.fgb", "rodales.shp")
    base("fgb", "rodales.fgb", ED50)
    ogr(folder, "-f", "SQLite", "-dsco", "SPATIALITE=YES", "inventario.sqlite", "inventario.gpkg")
    base("sqlite", "inventario.sqlite", ED50)
    # A CSV of WKT, as GIS programs export one: no system in it.
    ogr(folder, "-f", "CSV", "-lco", "GEOMETRY=AS_WKT", "caminos-wkt.csv", "caminos.shp")
    base("csvwkt", "caminos-wkt.csv", NONE, ["-s", "ed50-wgs84", "--huso=30"])
    return layers


# ---------------------------------------------------------------- the damage


def pick(rnd, files, names):
    """One of the files of the case whose name ends in one of `names`."""
    choices = [n for n in files if n.endswith(tuple(names))]
    return rnd.choice(choices) if choices else None


def spot(rnd, data, head=100):
    # Headers hold the counts and sizes a reader trusts, so they are hit more often.
    if data and rnd.random() < 0.4:
        return rnd.randrange(min(len(data), head))
    return rnd.randrange(len(data) + 1)


def cut_short(rnd, data):
    if rnd.random() < 0.3:
        return data[:len(data) - rnd.randrange(1, 9)]  # the last record incomplete
    return data[:spot(rnd, data)]


def flip_bits(rnd, data):
    data = bytearray(data)
    for _ in range(rnd.randrange(1, 9)):
        if data:
            data[min(spot(rnd, data), len(data) - 1)] ^= 1 << rnd.randrange(8)
    return bytes(data)


def zeros(rnd, data):
    # A run of zeros, often a whole block lost on disk.
    size = rnd.choice([1, 2, 4, 8, 64, 512, 4096])
    at = spot(rnd, data)
    return data[:at] + b"\0" * size + data[at + size:]


def random_bytes(rnd, data):
    data = bytearray(data)
    for _ in range(rnd.randrange(1, 12)):
        if data:
            data[min(spot(rnd, data), len(data) - 1)] = rnd.randrange(256)
    return bytes(data)


def insert_bytes(rnd, data):
    piece = rnd.choice([bytes(rnd.randrange(256) for _ in range(rnd.randrange(1, 32))), b"\0", b"\xff" * 4,
                        b"\xc3", b"\r\n"])
    at = spot(rnd, data)
    return data[:at] + piece + data[at:]


BINARY = [cut_short, flip_bits, zeros, random_bytes, insert_bytes]


def damage_shapefile(rnd, files):
    what = rnd.choices(["bytes", "sidecar", "cpg", "prj"], weights=[6, 2, 3, 1])[0]
    if what == "bytes":
        name = pick(rnd, files, [".shp", ".shx", ".dbf"])
        mutation = rnd.choice(BINARY)
        files[name] = mutation(rnd, files[name])
        return f"{mutation.__name__} {name}"
    if what == "sidecar":
        name = pick(rnd, files, [".shx", ".prj", ".cpg", ".dbf"])
        if name is None:
            return "nothing"
        if rnd.random() < 0.5:
            del files[name]
            return f"{name} missing"
        files[name] = b""
        return f"{name} empty"
    if what == "cpg":
        name = pick(rnd, files, [".cpg"]) or pick(rnd, files, [".shp"])[:-4] + ".cpg"
        if files.get(name) == b"CP1252" and rnd.random() < 0.5:
            files[name] = b"UTF-8"  # the lie met most: Windows-1252 texts said to be UTF-8
            return f"{name} says UTF-8 over Windows-1252"
        text = rnd.choice([b"UTF-8", b"UTF-8\r\n", b"utf8", b"65001", b"1252", b"LATIN1", b"ISO-8859-1", b"KOI8-Q",
                           b"CP9999", b"\xef\xbb\xbfUTF-8", b"", b"GB18030", b"UTF-16", b"UTF-32LE", b"88591", b"x" * 300])
        files[name] = text
        return f"{name} says {text[:20]!r}"
    name = pick(rnd, files, [".prj"]) or pick(rnd, files, [".shp"])[:-4] + ".prj"
    files[name] = rnd.choice(PRJS)
    return f"{name} replaced"


PRJS = [b'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],'
        b'PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]]',
        b'PROJCS["ETRS_1989_UTM_Zone_30N",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",SPHEROID["GRS_1980",6378137.0,'
        b'298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],'
        b'PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",-3.0],'
        b'PARAMETER["Scale_Factor",0.9996],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]]',
        b'PROJCS["ED50 / UTM zone 31N",GEOGCS["ED50",DATUM["European_Datum_1950",SPHEROID["International 1924",'
        b'6378388,297]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],'
        b'PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",3],PARAMETER["scale_factor",0.9996],'
        b'PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1]]',
        b'PROJCS["WGS 84 / Pseudo-Mercator",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],'
        b'PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],PROJECTION["Mercator_1SP"],UNIT["metre",1]]',
        b'PROJCS["ED50 / UTM zone 30N",GEOGCS["ED50",DATUM["European_Datum_1950",',  # cut short
        b"PROJCS[" * 2000, b"\xff\xfe\x00\x00garbage", b"EPSG:23030"]


def damage_sqlite(rnd, data):
    """Damage a GeoPackage as a buggy writer would: geometries spoilt, texts that are no
    UTF-8, a system that does not exist, a layer's table gone."""
    folder = tempfile.mkdtemp(prefix="fuzz-layers-gpkg-")
    try:
        path = os.path.join(folder, "c.gpkg")
        with open(path, "wb") as f:
            f.write(data)
        db = sqlite3.connect(path)
        # The R-tree's triggers call these; the index then holds wrong boxes, as a buggy
        # writer's would.
        db.create_function("ST_IsEmpty", 1, lambda g: 0)
        for name in ("ST_MinX", "ST_MaxX", "ST_MinY", "ST_MaxY"):
            db.create_function(name, 1, lambda g: 0.0)
        tables = [r[0] for r in db.execute("SELECT table_name FROM gpkg_geometry_columns")]
        table = rnd.choice(tables)
        geom = db.execute("SELECT column_name FROM gpkg_geometry_columns WHERE table_name = ?", (table,)).fetchone()[0]
        what = rnd.choice(["blob", "blob", "blob", "text", "srs", "type", "table", "count"])
        rows = [r[0] for r in db.execute(f'SELECT fid FROM "{table}"')]
        if what == "blob" and rows:
            for fid in rnd.sample(rows, min(len(rows), rnd.randrange(1, 4))):
                blob = db.execute(f'SELECT "{geom}" FROM "{table}" WHERE fid = ?', (fid,)).fetchone()[0]
                blob = bytearray(blob or b"GP")
                for _ in range(rnd.randrange(1, 4)):
                    at = rnd.randrange(min(len(blob), 60)) if rnd.random() < 0.7 else rnd.randrange(len(blob))
                    blob[at] = rnd.choice([0, 0xff, 0x7f, 0x80, rnd.randrange(256)])
                if rnd.random() < 0.2:
                    blob = blob[:rnd.randrange(len(blob) + 1)]
                db.execute(f'UPDATE "{table}" SET "{geom}" = ? WHERE fid = ?', (bytes(blob), fid))
        elif what == "text" and rows:
            bad = rnd.choice([b"Ca\xf1ada", b"\xff\xfe", b"\xc3", b"a\x00b", b"\xe2\x80", b"x" * 100000])
            db.execute(f'UPDATE "{table}" SET nombre = CAST(? AS TEXT) WHERE fid = ?', (bad, rnd.choice(rows)))
        elif what == "srs":
            srs = rnd.choice([99999, 0, -1, 4326, 3857])
            db.execute("UPDATE gpkg_geometry_columns SET srs_id = ? WHERE table_name = ?", (srs, table))
            db.execute("UPDATE gpkg_contents SET srs_id = ? WHERE table_name = ?", (srs, table))
        elif what == "type":
            db.execute("UPDATE gpkg_geometry_columns SET geometry_type_name = ? WHERE table_name = ?",
                       (rnd.choice(["CURVEPOLYGON", "TIN", "POINTZM", "NADA", ""]), table))
        elif what == "table":
            db.execute(f'DROP TABLE "{table}"')
        else:
            db.execute("UPDATE gpkg_ogr_contents SET feature_count = ? WHERE table_name = ?",
                       (rnd.choice([-5, 0, 1 << 40]), table))
        db.commit()
        db.close()
        with open(path, "rb") as f:
            return f.read(), f"{what} of «{table}» spoilt"
    except sqlite3.Error as e:
        return data, f"sqlite3 could not spoil it ({e})"
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def damage_geopackage(rnd, files):
    name = pick(rnd, files, [".gpkg"])
    if rnd.random() < 0.4:
        files[name], said = damage_sqlite(rnd, files[name])
        return said
    mutation = rnd.choice(BINARY)
    # A GeoPackage is SQLite pages: a cut or a lost block lands on a page's edge.
    if mutation is cut_short and rnd.random() < 0.5:
        files[name] = files[name][:4096 * rnd.randrange(len(files[name]) // 4096 + 1)]
    else:
        files[name] = mutation(rnd, files[name])
    return f"{mutation.__name__} {name}"


NUMBERS = [b"1e308", b"-1e308", b"1e400", b"NaN", b"nan", b"Infinity", b"-inf", b"1e-400", b"99999999999999999999999",
           b"0x10", b"", b"--1", b"1.2.3", b"4e5e6"]


def replace_number(rnd, data):
    found = list(re.finditer(rb"-?\d+\.\d+(e-?\d+)?", data))
    if not found:
        return data
    m = rnd.choice(found)
    return data[:m.start()] + rnd.choice(NUMBERS) + data[m.end():]


def drop_char(rnd, data, chars):
    spots = [i for i, c in enumerate(data) if c in chars]
    if not spots:
        return data
    at = rnd.choice(spots)
    return data[:at] + data[at + 1:]


def repeat_block(rnd, data, start, end):
    """A block (a feature, a placemark, an entity) repeated, from a few times to many."""
    starts = [m.start() for m in re.finditer(re.escape(start), data)]
    if not starts:
        return data
    a = rnd.choice(starts)
    b = data.find(end, a + len(start))
    if b < 0:
        return data
    b += len(end)
    return data[:b] + data[a:b] * rnd.choice([1, 2, 10, 200]) + data[b:]


def text_edit(rnd, data, fmt):
    if fmt == "geojson":
        edits = [lambda: drop_char(rnd, data, b"]}"), lambda: repeat_block(rnd, data, b'{ "type": "Feature"', b"\n"),
                 lambda: replace_number(rnd, data), lambda: data.replace(b'"Feature"', b'"Feat"', 1),
                 lambda: data.replace(b'"coordinates": [', b'"coordinates": ' + b"[" * 5000, 1),
                 lambda: data.replace(b'"Polygon"', b'"Point"', rnd.randrange(1, 4))]
    elif fmt == "kml":
        tags = [b"</Placemark>", b"</coordinates>", b"</Folder>", b"</Document>", b"</kml>", b"</SimpleData>",
                b"</LinearRing>", b"</outerBoundaryIs>", b"</Polygon>"]
        edits = [lambda: data.replace(rnd.choice(tags), b"", 1), lambda: repeat_block(rnd, data, b"<Placemark", b"</Placemark>"),
                 lambda: replace_number(rnd, data), lambda: data.replace(b"utf-8", b"ISO-8859-1", 1),
                 lambda: data.replace(b"<Placemark", b"<Placemark>&entidad;<x", 1),
                 lambda: data.replace(b"<coordinates>", b"<coordinates>" + b"-3.5,40.2 " * 2000, 1),
                 lambda: data.replace(b",", b" ", rnd.randrange(1, 50))]
    else:  # DXF: group codes and values, a line each
        lines = data.split(b"\n")

        def delete_line():
            del lines[rnd.randrange(len(lines))]
            return b"\n".join(lines)

        def code():
            i = rnd.randrange(0, len(lines) - 1, 2)
            lines[i] = rnd.choice([b" 10", b" 90", b" 70", b"  0", b"999", b"-1", b"x", b" 91"])
            return b"\n".join(lines)

        def count():
            # A vertex or loop count far beyond what follows.
            i = [k for k in range(0, len(lines) - 1) if lines[k].strip() in (b"90", b"91", b"93")]
            if i:
                lines[rnd.choice(i) + 1] = rnd.choice([b"2147483647", b"-1", b"0", b"100000000"])
            return b"\n".join(lines)

        edits = [delete_line, code, count, lambda: repeat_block(rnd, data, b"  0\nHATCH", b"  0\n"),
                 lambda: repeat_block(rnd, data, b"  0\nLWPOLYLINE", b"  0\n"), lambda: replace_number(rnd, data),
                 lambda: data.replace(b"EOF", b"", 1), lambda: data.replace(b"ENDSEC", b"", 1)]
    return rnd.choice(edits)()


def damage_text(rnd, files, fmt):
    name = pick(rnd, files, [".geojson", ".kml", ".dxf"])
    if rnd.random() < 0.6:
        before = files[name]
        files[name] = text_edit(rnd, before, fmt)
        return f"{name} edited" + ("" if files[name] != before else " (no change)")
    mutation = rnd.choice(BINARY)
    files[name] = mutation(rnd, files[name])
    return f"{mutation.__name__} {name}"


def damage_kmz(rnd, files):
    name = pick(rnd, files, [".kmz"])
    data = files[name]
    end = data.rfind(b"PK\x05\x06")
    directory = int.from_bytes(data[end + 16:end + 20], "little") if end >= 0 else 0
    what = rnd.choice(["directory", "directory", "sizes", "inner", "bytes"])
    if what == "directory" and 0 < directory < len(data):
        if rnd.random() < 0.5:
            files[name] = data[:rnd.randrange(directory, len(data))]  # the directory cut
            return f"{name}'s zip directory cut"
        data = bytearray(data)
        for _ in range(rnd.randrange(1, 6)):
            data[rnd.randrange(directory, len(data))] ^= 1 << rnd.randrange(8)
        files[name] = bytes(data)
        return f"{name}'s zip directory flipped"
    if what == "sizes" and 0 < directory < len(data):
        # An entry's sizes as a zip bomb or a broken writer gives them.
        data = bytearray(data)
        at = data.find(b"PK\x01\x02", directory + rnd.randrange(max(1, len(data) - directory) // 2))
        at = at if at >= 0 else directory
        field = rnd.choice([20, 24])  # compressed, uncompressed
        value = rnd.choice([0, 0xFFFFFFFF, 0x7FFFFFFF, 1 << 30, 5])
        data[at + field:at + field + 4] = value.to_bytes(4, "little")
        files[name] = bytes(data)
        return f"{name}'s zip sizes changed"
    if what == "inner":
        try:
            out = io.BytesIO()
            with zipfile.ZipFile(io.BytesIO(data)) as z, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as w:
                kmls = [i for i in z.infolist() if i.filename.endswith(".kml")]
                target = rnd.choice(kmls)
                for i in z.infolist():
                    body = z.read(i)
                    if i is target:
                        body = text_edit(rnd, body, "kml")
                    w.writestr(i, body)
            files[name] = out.getvalue()
            return f"{target.filename} in {name} edited"
        except (zipfile.BadZipFile, zlib.error, IndexError, EOFError, ValueError, NotImplementedError):
            pass  # damaged already: its bytes are damaged further
    mutation = rnd.choice(BINARY)
    files[name] = mutation(rnd, data)
    return f"{mutation.__name__} {name}"


def damage_other(rnd, files, base):
    """A layer of the other GIS formats: any of its files, its bytes or, for those of text,
    its numbers and its blocks."""
    name = rnd.choice(sorted(files))
    if base.fmt == "sqlite" and name.endswith(".sqlite") and rnd.random() < 0.4:
        files[name], said = damage_sqlite(rnd, files[name])
        return said
    data = files[name]
    if base.fmt in ("mif", "gml", "csvwkt") and rnd.random() < 0.5:
        edits = [lambda: replace_number(rnd, data), lambda: drop_char(rnd, data, b",)>\n"),
                 lambda: repeat_block(rnd, data, b"\n", b"\n"), lambda: data.replace(b"(", b"(" * 3000, 1)]
        files[name] = rnd.choice(edits)()
        return f"{name} edited"
    mutation = rnd.choice(BINARY)
    files[name] = mutation(rnd, data)
    return f"{mutation.__name__} {name}"


def damage(rnd, base, files):
    if base.fmt == "shp":
        return damage_shapefile(rnd, files)
    if base.fmt == "gpkg":
        return damage_geopackage(rnd, files)
    if base.fmt == "kmz":
        return damage_kmz(rnd, files)
    if base.fmt in ("geojson", "kml", "dxf"):
        return damage_text(rnd, files, base.fmt)
    return damage_other(rnd, files, base)


# Outputs a layer of each system can go to: GeoJSON, KML and KMZ are WGS84, so a WGS84
# layer (converted to ED50) goes to the others; KML and KMZ mostly to a table.
OTHERS = ["tab", "mif", "gml", "fgb", "sqlite"]
OUTPUTS = {ED50: ["shp", "gpkg", "geojson", "kml", "kmz", "dxf", "csv", "csv"] + OTHERS,
           NONE: ["shp", "gpkg", "geojson", "kml", "dxf", "csv", "csv"] + OTHERS,
           WGS84: ["shp", "gpkg", "dxf", "csv", "csv"] + OTHERS}


def case(seed, index, bases):
    rnd = random.Random(seed * 1000003 + index)
    base = rnd.choice(bases)
    files = dict(base.files)
    said = [damage(rnd, base, files) for _ in range(rnd.choice([1, 1, 1, 2, 2, 3]))]
    if base.fmt in ("kml", "kmz"):
        out = "csv" if rnd.random() < 0.7 else rnd.choice(OUTPUTS[base.system])
    else:
        out = rnd.choice(OUTPUTS[base.system])
    options = ["-m", "helmert"] + base.options
    if rnd.random() < 0.3:
        options.append("--omitir-fuera")
    if rnd.random() < 0.1:
        options.append("--etiqueta=wgs84")
    if rnd.random() < 0.05:
        options.append("--z-elipsoidal")
    return base, files, said, options, "salida." + out


# ---------------------------------------------------------------- the promises

SYSTEM = r"(?:ED50|ETRS89|WGS84) (?:geográficas|UTM \d+)(?: \(EPSG:\d+\))?"
# A count, its thousands grouped by points: "12.345".
N = r"\d{1,3}(?:\.\d{3})*"
NOTES = [N + r" vértices? fuera de la franja del huso \d+",
         N + r" vértices? sin altura \(su Z no es una altitud\)",
         r"en la capa DXF «.*», sin el sistema(?: ni los atributos, que DXF no guarda: «.*»|, que DXF no guarda)",
         N + r" registros? que GDAL no ha podido leer, fuera",
         N + r" entidad(?:es)? sin geometría, escritas? sin ella",
         N + r" entidad(?:es)? sin geometría, que DXF no guarda, dejadas? fuera: -?\d+(?:, -?\d+)*…?",
         N + r" textos? que no eran? de la codificación del fichero, leídos? como Windows-1252"
         r"(?: \(" + N + r" bytes? sin carácter escritos? como �\))?",
         r"el atributo «.*» escrito como «.*», pues el formato no distingue mayúsculas",
         N + r" entidad(?:es)? fuera del área del método, dejadas? fuera: -?\d+(?:, -?\d+)*",
         r"el atributo «.*» se llama «.*», el nombre que .+ le da",
         r"el atributo «.*», [^;]+ \(" + N + r" valor(?:es)?\)",
         r"su sistema «.*» se toma como " + SYSTEM + r", cuyos parámetros tiene, como se ha indicado"]
LAYER_LINE = re.compile(r"talpor-lote: (?P<file>[^:]+): capa «(?P<name>.*)»: (?P<n>" + N + ") entidad(?:es)?, "
                        r"(?P<m>" + N + ") vértices? convertidos?; " + SYSTEM + " a " + SYSTEM +
                        "(?:; (?:" + "|".join(NOTES) + "))*")
# A layer without features, or a table without geometry left out: no counts.
LAYER_WITHOUT = re.compile(r"talpor-lote: (?P<file>[^:]+): capa «(?P<name>.*)»: (?:vacía, sin entidades|una tabla de "
                           r"atributos sin geometría, que no se convierte ni se escribe)")
OTHER_LINES = [r"talpor-lote: {f}: escritos también, junto al destino: «.*»", r"{f}: error: .+", r"{f}: aviso: .+",
               # format() leaves the count's braces as they are
               r"\.\.\. y (?:1 (?:error|aviso)|(?!1 )" + N.replace("{", "{{").replace("}", "}}") + r" (?:errores|avisos)) más"]
# Words of GDAL's own messages that no sentence of the program's has.
ENGLISH = re.compile(r"\b(?:the|of|to|with|is|are|not|no known|failed|cannot|can't|unable|unsupported|invalid|"
                     r"driver|feature|layer|write|read|file|found|attempt)\b", re.IGNORECASE)
SINGULAR = ("entidad", "vértice", "registro", "texto", "byte")


def numbers_agree(line):
    """'1 entidad', '2 entidades', '1 vértice sin altura (pegado al suelo)': the count and
    its noun agree, and so does a participle after it."""
    for n, word in re.findall(r"(?<![\d.])(" + N + r") (entidad(?:es)?|vértices?|registros?|textos?|bytes?)\b", line):
        if (n == "1") != (word in SINGULAR):
            return False
    return all((n == "1") == (p == "pegado")
               for n, p in re.findall(r"(?<![\d.])(" + N + r") vértices? sin altura \((pegados?) al suelo", line))


def spanish(sentence):
    """The sentence without its quoted names and its parentheses (where GDAL's words may be
    given as GDAL said them) has none of GDAL's English."""
    bare = re.sub(r"«[^»]*»", "", sentence)
    while True:  # GDAL's words may hold brackets of their own
        inner = re.sub(r"\([^()]*\)", "", bare)
        if inner == bare:
            break
        bare = inner
    return not ENGLISH.search(bare)


def summary_problems(lines, source, status):
    problems = []
    f = re.escape(source)
    others = [re.compile(o.format(f=f)) for o in OTHER_LINES]
    layers = []
    for line in lines:
        m = LAYER_LINE.fullmatch(line)
        if not m and (w := LAYER_WITHOUT.fullmatch(line)) and w["file"] == source:
            layers.append((w["name"], 0, 0))
        elif m and m["file"] == source:
            layers.append((m["name"], int(m["n"].replace(".", "")), int(m["m"].replace(".", ""))))
            if not numbers_agree(line):
                problems.append(f"a count and its noun disagree: «{line[:160]}»")
        elif not any(o.fullmatch(line) for o in others):
            problems.append(f"a line that is not the summary's: «{line[:160]}»")
    if not layers:
        problems.append("no summary line for any layer")
    whole = not any(": error: " in l for l in lines) and not any("dejada fuera" in l or "dejadas fuera" in l
                                                                  for l in lines)
    if status == 0 and not whole:
        problems.append("status 0, yet the summary names an error or a feature left out")
    if status == 1 and whole:
        problems.append("status 1, yet the summary names no error and no feature left out")
    return layers, problems


def report_blame(text):
    """Whose fault a sanitizer report is: 'ours' when its first frame past the sanitizer
    and the C runtimes is in the program's sources, 'gdal' when in GDAL or a library it
    reads with, 'sanitizer' when the sanitizer itself failed; a leak report is ours when
    any direct leak was allocated by the program."""
    if "LeakSanitizer has encountered a fatal error" in text and "ERROR:" not in text:
        return "sanitizer"
    blocks = re.split(r"\n\s*\n", text)
    leaks = [b for b in blocks if re.search(r"^Direct leak of", b, re.M)]
    stacks = leaks if "LeakSanitizer: detected memory leaks" in text else blocks[:3]
    blame = None
    for block in stacks:
        for frame in re.findall(r"^\s*#\d+ 0x[0-9a-f]+ (.*)$", block, re.M):
            if RUNTIME.search(frame):
                continue
            if PROJECT.search(frame) or "talpor" in frame:
                return "ours"
            blame = blame or ("gdal" if GDAL_LIBRARIES.search(frame) else "unknown")
            break
        if blame and not leaks:
            break
    return blame or "unknown"


def read_layers(folder, names):
    """Features ogrinfo counts in the layers of these files, or why it cannot read them."""
    total = 0
    for name in names:
        try:
            run = subprocess.run(["ogrinfo", "-ro", "-al", "-so", name], cwd=folder, capture_output=True, text=True,
                                 errors="replace", timeout=120)
        except subprocess.TimeoutExpired:
            return None, f"ogrinfo still reading {name} after two minutes"
        errors = [l for l in run.stderr.splitlines() if l.startswith("ERROR")]
        if run.returncode != 0 or errors:
            said = errors or (run.stderr.strip() or run.stdout.strip() or "?").splitlines()
            return None, f"ogrinfo cannot read {name}: {' '.join(said[:2])[:200]}"
        total += sum(int(n) for n in re.findall(r"^Feature Count: (-?\d+)$", run.stdout, re.M))
    return total, None


def output_problems(folder, output, layers, new_files):
    fmt = output.rsplit(".", 1)[1]
    features = sum(n for _, n, _ in layers)
    vertices = sum(m for _, _, m in layers)
    path = os.path.join(folder, output)
    if not os.path.exists(path):
        return ["no output"]
    problems = []
    if fmt == "csv":
        # A layer converted otherwise than the first has a table of its own beside it.
        written = 0
        for name in [output] + sorted(n for n in new_files if n.endswith(".csv") and n != output):
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            try:
                text = data.decode("utf-8")
            except UnicodeDecodeError as e:
                return [f"the table {name} is not UTF-8 ({e})"]
            rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=";"))
            if not rows:
                return [f"the table {name} is empty, not even a header"]
            width = len(rows[0])
            uneven = [i for i, r in enumerate(rows) if len(r) != width]
            if uneven:
                problems.append(f"row {uneven[0] + 1} of {name} has {len(rows[uneven[0]])} fields, the header {width}")
            written += len(rows) - 1
        if written != vertices:
            problems.append(f"the tables have {written} rows, the summary {vertices} vertices converted")
        return problems
    if fmt == "geojson":
        with open(path, "rb") as f:
            data = f.read()
        try:
            collection = json.loads(data.decode("utf-8"))
            if len(collection["features"]) != features:
                problems.append(f"the GeoJSON has {len(collection['features'])} features, the summary {features}")
        except (UnicodeDecodeError, ValueError, KeyError, TypeError) as e:
            return [f"Python's json cannot read the GeoJSON: {str(e)[:200]}"]
    # A shapefile for each further layer is written beside the first.
    names = [output] + sorted(n for n in new_files if n.endswith(".shp") and n != output) if fmt == "shp" else [output]
    counted, said = read_layers(folder, names)
    if said:
        return problems + [said]
    # DXF has no multipart entity: GDAL writes each polygon of a multipolygon as a hatch.
    if counted != features and not (fmt == "dxf" and counted > features):
        problems.append(f"ogrinfo counts {counted} features in the output, the summary {features}")
    return problems


def environment(logs):
    env = dict(os.environ)
    # Reports go to files named by program and process, so that talpor-lote's and its
    # worker's are told apart. The sanitizer's scan of dynamic TLS crashes at exit on this
    # glibc once GDAL's libraries are loaded; leaks are still found without it.
    own = f"log_path={logs}/san:log_exe_name=1:intercept_tls_get_addr=0"
    env["ASAN_OPTIONS"] = (env["ASAN_OPTIONS"] + ":" if env.get("ASAN_OPTIONS") else "") + own
    env["UBSAN_OPTIONS"] = (env["UBSAN_OPTIONS"] + ":" if env.get("UBSAN_OPTIONS") else "") + "print_stacktrace=1"
    env["LC_ALL"] = "C.UTF-8"
    return env


def what_is_left(folder, files, problems):
    """The names in `folder` after a run, and the hidden ones among them (a temporary left
    behind), adding to `problems` those and any input changed or gone."""
    after = set(os.listdir(folder))
    hidden = sorted(n for n in after if n.startswith("."))
    if hidden:
        problems.append(f"files left behind: {hidden}")
    for name, data in files.items():
        try:
            with open(os.path.join(folder, name), "rb") as f:
                if f.read() != data:
                    problems.append(f"the input {name} changed")
        except OSError:
            problems.append(f"the input {name} is gone")
    return after, hidden


def run_case(binary, arguments, folder, logs, marks=(), timeout=None):
    """Runs talpor-lote once in `folder`; returns its exit status, what it broke that any
    run must not (a hang, a crash, standard error that is not clean UTF-8 or that names an
    internal error or one of `marks`), its standard error whole and by lines, and the
    sanitizer reports by file name."""
    timeout = timeout or TIMEOUT
    command = ["timeout", "-k", "10", str(timeout), binary] + arguments
    run = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         cwd=folder, env=environment(logs))
    status, problems = run.returncode, []
    reports = {}
    for name in sorted(os.listdir(logs)):
        with open(os.path.join(logs, name), errors="replace") as f:
            reports[name] = f.read()
    if status in (124, 128 + 9, -9):
        problems.append(f"still running after {timeout} s")
    elif status not in (0, 1, 2):
        problems.append(f"exit status {status}" + (f" (signal {-status})" if status < 0 else ""))
    try:
        err = run.stderr.decode("utf-8")
    except UnicodeDecodeError as e:
        problems.append(f"standard error is not UTF-8 ({e})")
        err = run.stderr.decode("utf-8", "replace")
    # Lines end at "\n" alone: a carriage return or another control character inside
    # one is a text of the file printed as it came, which a terminal would obey.
    lines = err.split("\n")[:-1] if err.endswith("\n") else err.split("\n") if err else []
    if re.search(r"[\x00-\x08\x0b-\x1f\x7f\x80-\x9f]", err):
        problems.append("a control character in standard error")
    for mark in ("runtime error:", "AddressSanitizer", "LeakSanitizer", "terminate called", "error interno") + tuple(marks):
        if mark in err:
            problems.append(f"standard error says «{mark}»")
    return status, problems, err, lines, reports


def check(binary, base, files, options, output):
    """Runs one case in a fresh folder; returns its exit status, what it broke, its
    standard error, the sanitizer reports, and whether GDAL crashed or leaked in the worker."""
    top = tempfile.mkdtemp(prefix="fuzz-layers-")
    folder, logs = os.path.join(top, "capa"), os.path.join(top, "informes")
    os.makedirs(folder)
    os.makedirs(logs)
    try:
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        status, problems, err, lines, reports = run_case(binary, options + [base.main, output], folder, logs)
        contained = leaked = False
        for name, text in reports.items():
            blame = report_blame(text)
            if ".talpor-capas." not in name or blame in ("ours", "unknown"):
                problems.append(f"sanitizer report {name} ({blame}): {first_error(text)}")
            elif blame == "sanitizer":
                problems.append(f"the sanitizer failed in {name}: {first_error(text)}")
            elif "LeakSanitizer: detected memory leaks" in text:
                # GDAL's leak found as the worker ends: whatever the worker said stands,
                # and its exit status makes the run a refusal.
                leaked = True
                if status != 2 or len(lines) != 1:
                    problems.append(f"GDAL leaked in the worker ({first_error(text)}), and the run did not end in "
                                    "one sentence, status 2")
            else:
                contained = True
                if status != 2 or len(lines) != 1 or "no se puede leer como capa: GDAL ha fallado al leerla" not in err:
                    problems.append(f"GDAL crashed in the worker ({first_error(text)}), and the run did not end in "
                                    "one sentence, status 2, that GDAL failed")
        after, hidden = what_is_left(folder, files, problems)
        new_files = sorted(after - set(files) - set(hidden))
        if status == 2:
            if len(lines) != 1:
                problems.append(f"a run that could not convert says {len(lines)} lines, not one")
            elif not lines[0].startswith(f"talpor-lote: {base.main}: "):
                problems.append(f"the refusal does not name the input: «{lines[0][:160]}»")
            elif not spanish(lines[0]):
                problems.append(f"the refusal gives GDAL's words in English, bare: «{lines[0][:160]}»")
            if new_files:
                problems.append(f"output written by a run that could not convert: {new_files}")
        elif status in (0, 1):
            layers, said = summary_problems(lines, base.main, status)
            problems += said
            for line in lines:
                if line.startswith(f"talpor-lote: {base.main}: escritos también, junto al destino: "):
                    missing = [n for n in re.findall(r"«([^»]*)»", line) if n not in after]
                    if missing:
                        problems.append(f"files said written beside the output are not there: {missing}")
            problems += output_problems(folder, output, layers, new_files)
        return status, problems, err, reports, (contained, leaked)
    finally:
        shutil.rmtree(top, ignore_errors=True)


def first_error(text):
    for line in text.splitlines():
        if "ERROR:" in line or "fatal error" in line or "runtime error" in line:
            return line.strip()[:200]
    return text.strip().splitlines()[0][:200] if text.strip() else "(empty)"


def shown(text):
    """The text with its control characters written as escapes, for this script's own output."""
    return re.sub(r"[\x00-\x08\x0b-\x1f\x7f\x80-\x9f]", lambda m: f"\\x{ord(m[0]):02x}", text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", default="build/fuzz-layers", help="where failing cases are kept")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    cache = tempfile.mkdtemp(prefix="fuzz-layers-bases-")
    try:
        bases = make_bases(cache, args.seed)
    finally:
        shutil.rmtree(cache, ignore_errors=True)
    statuses = collections.Counter()
    kinds = collections.Counter()
    failures = crashes = leaks = 0

    def one(index):
        base, files, said, options, output = case(args.seed, index, bases)
        return index, base, files, said, options, output, check(binary, base, files, options, output)

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for index, base, files, said, options, output, result in pool.map(one, range(args.files)):
            status, problems, err, reports, (crashed, leaked) = result
            statuses[status] += 1
            crashes += crashed
            leaks += leaked
            if not problems:
                continue
            failures += 1
            kept = os.path.join(args.keep, f"caso-{index}")
            shutil.rmtree(kept, ignore_errors=True)
            os.makedirs(kept)
            for name, data in files.items():
                with open(os.path.join(kept, name), "wb") as f:
                    f.write(data)
            for name, text in reports.items():
                with open(os.path.join(args.keep, f"caso-{index}.{name}"), "w") as f:
                    f.write(text)
            command = " ".join(["talpor-lote"] + options + [base.main, output])
            print(shown(f"{kept}: {command} ({'; '.join(said)}), status {status}: {'; '.join(problems)}"))
            for line in err.rstrip("\n").split("\n")[:8]:
                print("    " + shown(line[:200]))
            for problem in problems:
                kinds[re.sub(r"«.*?»|\d+|\(.*\)", "…", problem)[:70]] += 1
    if failures:
        # The good layers the cases were made from, to compare a failing case with.
        folder = os.path.join(args.keep, "originales")
        os.makedirs(folder, exist_ok=True)
        for base in bases:
            for name, data in base.files.items():
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
    counts = ", ".join(f"{n} with status {s}" for s, n in sorted(statuses.items(), key=lambda x: str(x[0])))
    print(f"fuzz-layers: {args.files} files (seed {args.seed}): {counts}; {crashes} GDAL crashes and {leaks} GDAL "
          f"leaks contained by the worker; {failures} failing")
    for kind, n in kinds.most_common():
        print(f"    {n} × {kind}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
