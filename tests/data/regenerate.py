#!/usr/bin/env python3
"""Makes again the values of the reference tables of tests/data from their inputs.

    tests/data/regenerate.py FILE...      (e.g. tests/data/helmert.txt, or helmert.txt)

Each record's inputs (the fields a person writes: a place, a datum, a set) are kept and
its reference values are asked of PROJ (cs2cs, cct, proj, geod of Debian's proj-bin;
the IGN grids from the project's data/ folder) with the command its file's opening
comment shows; the file is written back with its comments and its order, the columns
aligned. To add a case, write its inputs with "?" for each value and run this on the
file. Values that no command gives (a published example) are kept as they are.
"""
import math
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.normpath(os.path.join(HERE, "..", "..", "data"))

ELLIPSOID = {"WGS84": "WGS84", "ED50": "intl"}  # PROJ's +ellps of each datum

# The IGN's regional Helmert sets, ED50 -> WGS84, position vector (metres, arc-seconds,
# ppm), and the Molodensky translation sets (metres).
HELMERT = {
    "EST99": "+x=-131.032 +y=-100.251 +z=-163.354 +rx=-1.2438 +ry=-0.0195 +rz=-1.1436 +s=9.39",
    "ZNW99": "+x=-178.383 +y=-83.172 +z=-221.293 +rx=0.5401 +ry=-0.5319 +rz=-0.1263 +s=21.2",
    "BAL99": "+x=-181.4609 +y=-90.2931 +z=-187.1902 +rx=0.1435 +ry=0.4922 +rz=-0.3935 +s=17.57",
}
MOLODENSKY = {
    "IGN": "+dx=-87.835 +dy=-105.771 +dz=-122.5",
    "NIMA": "+dx=-84 +dy=-107 +dz=-120",
}
# International 1924 to WGS84: a and f differences.
ELLIPSOID_SHIFT = "+da=-251 +df=%.17g" % (1 / 298.257223563 - 1 / 297)

OUTSIDE = ("outside-area", "outside-zones")


def run(command, text):
    env = dict(os.environ, PROJ_DATA=DATA + os.pathsep + os.environ.get("PROJ_DATA", "/usr/share/proj"))
    out = subprocess.run(command, input=text, capture_output=True, text=True, env=env, check=True).stdout
    return [line for line in out.splitlines() if line.strip() and not line.startswith("#")]


def cct(decimals, pipeline, *coords):
    """cct's first three numbers, or None where PROJ gives none (outside a grid)."""
    lines = run(["cct", "-d", str(decimals)] + pipeline.split(), " ".join(coords) + "\n")
    # A point PROJ cannot transform gets a comment and a line of its reason instead.
    if not lines or lines[0].lstrip().startswith("("):
        return None
    x = lines[0].split()[:3]
    return None if any(v in ("inf", "-inf", "nan") for v in x) else x


def utm(ellipsoid, zone, lat, lon):
    """PROJ's easting and northing of lat, lon in the zone given ("30T"; south below N)."""
    south = " +south" if zone[-1] < "N" else ""
    cmd = ("cs2cs -f %.6f +proj=longlat +ellps={e} +to +proj=utm +zone={z}{s} +ellps={e}"
           .format(e=ELLIPSOID[ellipsoid], z=zone[:-1], s=south))
    return run(cmd.split(), "%s %s\n" % (lon, lat))[0].split()[:2]


def zone_of(lat, lon):
    """The UTM zone and band of a point of Spain (no exception there)."""
    lat, lon = float(lat), float(lon)
    number = int(math.floor((lon + 180) / 6)) + 1
    return "%d%s" % (number, "CDEFGHJKLMNPQRSTUVWX"[min(int(math.floor((lat + 80) / 8)), 19)])


# --- One function a kind: a record's fields in, its fields with the values out ----------

def utm_record(f):  # ellipsoid | lat | lon | zone | E | N
    return f[:4] + utm(f[0], f[3], f[1], f[2])


def factors_record(f):  # ellipsoid | zone | lat | lon | k | convergence
    cmd = "proj -V +proj=utm +zone=%s +ellps=%s" % (f[1], ELLIPSOID[f[0]])
    k = conv = None
    for line in run(cmd.split(), "%s %s\n" % (f[3], f[2])):
        if line.startswith("Parallel scale (k)"):
            k = line.split(":")[1].split()[0]
        if line.startswith("Convergence"):
            conv = line.split("[")[1].split("]")[0].strip()
    return f[:4] + [k, conv]


def geocentric_record(f):  # ellipsoid | lat | lon | h | X | Y | Z
    return f[:4] + cct(6, "+proj=cart +ellps=" + ELLIPSOID[f[0]], f[2], f[1], f[3])


def conversion_record(f, step):
    """direction | typed | lat | lon | h | set | zone | E | N | lat | lon | h | zone | E | N."""
    direction, typed, lat, lon, h, name = f[:6]
    source, target = direction.split("-")
    zone = zone_of(lat, lon)
    mirror = [zone] + utm(source, zone, lat, lon)
    if name in OUTSIDE:
        return f[:6] + mirror + ["-"] * 6
    inverse = "+inv " if source == "WGS84" else ""
    rlon, rlat, rh = cct(10, step(name, inverse, source, target), lon, lat, h)
    rzone = zone_of(rlat, rlon)
    return f[:6] + mirror + [rlat, rlon, "%.4f" % float(rh), rzone] + utm(target, rzone, rlat, rlon)


def helmert_step(name, inverse, source, target):
    return ("+proj=pipeline +step +proj=cart +ellps={s} +step {i}+proj=helmert "
            "+convention=position_vector {p} +step +inv +proj=cart +ellps={t}"
            .format(s=ELLIPSOID[source], t=ELLIPSOID[target], i=inverse, p=HELMERT[name]))


def molodensky_step(name, inverse, source, target):
    return "{i}+proj=molodensky +ellps=intl {p} {d}".format(i=inverse, p=MOLODENSKY[name], d=ELLIPSOID_SHIFT)


def grid_record(f):  # place | lat | lon | ETRS89 lat | lon | ED50 lat | lon
    out = []
    for inverse in ("", "+inv "):
        to = cct(10, "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step "
                     "%s+proj=hgridshift +grids=es_ign_SPED2ETV2.tif +step +proj=unitconvert "
                     "+xy_in=rad +xy_out=deg" % inverse, f[2], f[1], "0")
        out += ["outside", "outside"] if to is None else [to[1], to[0]]
    return f[:3] + out


def geoid_record(f):  # place | lat | lon | N
    to = cct(6, "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step "
                "+proj=vgridshift +grids=es_ign_egm08-rednap.tif +multiplier=1 +step "
                "+proj=unitconvert +xy_in=rad +xy_out=deg", f[2], f[1], "0")
    return f[:3] + ["outside" if to is None else to[2]]


def distance_record(f):  # source | lat1 | lon1 | lat2 | lon2 | km
    if f[0] != "geod":
        return f
    return f[:5] + [run("geod +ellps=WGS84 -I -F %.6f +units=km".split(), " ".join(f[1:5]) + "\n")[0].split()[2]]


def geodesic_record(f):  # source | lat1 | lon1 | lat2 | lon2 | azimuth | back azimuth | metres
    if not f[0].startswith("geod"):
        return f
    cmd = "geod +ellps=WGS84 -I +units=m -f %.12f -F %.6f"
    return f[:5] + run(cmd.split(), " ".join(f[1:5]) + "\n")[0].split()[:3]


def radii_record(f):  # radius | ellipsoid | lat | metres
    if f[0] != "parallel":
        return f
    return f[:3] + [cct(4, "+proj=cart +ellps=" + ELLIPSOID[f[1]], "0", f[2], "0")[0]]


def dms_record(f):  # degrees | PROJ's text
    cmd = "cs2cs -W4 +proj=longlat +ellps=WGS84 +to +proj=longlat +ellps=WGS84"
    return [f[0], run(cmd.split(), "%s 0\n" % f[0])[0].split()[0]]


KINDS = {
    "utm.txt": utm_record,
    "utm-factors.txt": factors_record,
    "geocentric.txt": geocentric_record,
    "helmert.txt": lambda f: conversion_record(f, helmert_step),
    "molodensky.txt": lambda f: conversion_record(f, molodensky_step),
    "grid.txt": grid_record,
    "geoid.txt": geoid_record,
    "distance.txt": distance_record,
    "geodesics.txt": geodesic_record,
    "radii.txt": radii_record,
    "dms.txt": dms_record,
}


def fields(line):
    """The fields of a record, as tests/support/DataFile.h splits them (no escapes here)."""
    return [x.strip() for x in line.split("|")]


def regenerate(path):
    name = os.path.basename(path)
    if name not in KINDS:
        sys.exit("regenerate: %s is none of %s" % (name, ", ".join(KINDS)))
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    records = {}
    for i, line in enumerate(lines):
        if line.strip() and not line.lstrip().startswith("#"):
            if "\\" in line:
                sys.exit("%s:%d: escapes are not for these tables" % (name, i + 1))
            records[i] = KINDS[name](fields(line))
    # Columns aligned over the records; the last one is not padded.
    widths = {}
    for r in records.values():
        for k, v in enumerate(r[:-1]):
            widths[k] = max(widths.get(k, 0), len(v))
    for i, r in records.items():
        lines[i] = " | ".join([v.ljust(widths[k]) for k, v in enumerate(r[:-1])] + [r[-1]])
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print("%s: %d records" % (path, len(records)))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.strip())
    for arg in sys.argv[1:]:
        regenerate(arg if os.path.exists(arg) else os.path.join(HERE, arg))
