#!/usr/bin/env python3
"""Reads back a file talpor-lote wrote with parsers that are not Talpor's (Python's csv,
json and ElementTree modules, xmllint, GDAL's ogrinfo) and checks that every text of the
table it came from comes back exactly as it went in.

  read_back.py TABLE SEP OUTPUT FORMAT

TABLE is the input table in UTF-8, SEP its separator (";", ",", " "), read with the csv
module: its first row names the columns, its column "Nombre" names the points, its
columns "Latitud" and "Longitud" hold the point. FORMAT is the output's: "csv;", "csv,",
"csv\\t" (a table with that separator, whose first columns are the input's), gpx, kml or
geojson (a point per row), or "layer EXT" (a layer of that extension, listed by ogrinfo).
FORMAT "records N E [A]" reads only OUTPUT, a table separated by SEP whose input may be
no CSV at all (TABLE is not read): it must read back as N records that are not blank, E
of them with an error in their Error field, the last but one ("fila 17: ..."), which
names the line its record starts on, and A (when given) with a note in their last field,
Aviso, and their Error field empty.
Prints every difference and exits with 1 when there is one."""
import collections
import csv
import io
import json
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

table, sep, output, form = sys.argv[1:5]
wrong = []


def same(what, got, expected):
    if got != expected:
        wrong.append(f"{what}: {got!r} instead of {expected!r}")


if form.startswith("records "):
    with open(output, "rb") as f:
        # UTF-8 or Windows-1252: the separators, quotes and line ends are ASCII either way.
        text = f.read().removeprefix(b"\xef\xbb\xbf").decode("latin-1")
    csv.field_size_limit(1 << 30)
    feeds = [0]  # the line feeds of the lines the reader has taken

    def lines():
        # As a file opened with newline="": a lone "\r" ends a line too.
        for line in io.StringIO(text, newline=""):
            feeds[0] += line.count("\n")
            yield line

    count, errors, notes, start = 0, 0, 0, 1
    for record in csv.reader(lines(), delimiter=sep):
        if any(field.strip(" \t") for field in record):
            count += 1
            error = re.match(r"fila (\d+): ", record[-2] if len(record) > 1 else "")
            errors += error is not None
            notes += len(record) > 1 and record[-2] == "" and record[-1] != ""
            same(f"the error of the record on line {start}", int(error[1]) if error else start, start)
        start = feeds[0] + 1
    expected = form.split()[1:]
    same("records", count, int(expected[0]))
    same("errors", errors, int(expected[1]))
    if len(expected) > 2:
        same("notes", notes, int(expected[2]))
    print("\n".join(wrong))
    sys.exit(1 if wrong else 0)

with open(table, newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f, delimiter=sep))
header, rows = rows[0], rows[1:]


def xml_text(text):
    # XML 1.0 holds no control character but tab and line ends: Talpor writes "?".
    return "".join("?" if ord(c) < 0x20 and c not in "\t\n\r" else c for c in text)


def columns(row):
    # The columns a point keeps as properties: all but its name, the empty ones left out.
    return {h: v for h, v in zip(header, row) if h != "Nombre" and v != ""}


if form.startswith("csv"):
    with open(output, newline="", encoding="utf-8") as f:
        back = list(csv.reader(f, delimiter=form[3:].replace("\\t", "\t")))
    same("rows", len(back), len(rows) + 1)
    for i, row in enumerate([header] + rows):
        same(f"row {i + 1}", back[i][: len(row)] if i < len(back) else None, row)
elif form == "geojson":
    with open(output, encoding="utf-8") as f:
        features = json.load(f)["features"]
    same("features", len(features), len(rows))
    for row, feature in zip(rows, features):
        p = feature["properties"]
        same("name", p.get("name"), row[header.index("Nombre")])
        for name, value in columns(row).items():
            same(name, p.get(name), value)
elif form in ("gpx", "kml"):
    lint = subprocess.run(["xmllint", "--noout", output], capture_output=True, text=True)
    same("xmllint", lint.returncode, 0)
    ns = {"g": "http://www.topografix.com/GPX/1/1", "k": "http://www.opengis.net/kml/2.2"}
    points = ET.parse(output).getroot().findall(".//g:wpt" if form == "gpx" else ".//k:Placemark", ns)
    same("points", len(points), len(rows))
    for row, point in zip(rows, points):
        tag = "g:" if form == "gpx" else "k:"
        same("name", point.findtext(tag + "name", None, ns), xml_text(row[header.index("Nombre")]))
        kept = {xml_text(n): xml_text(v) for n, v in columns(row).items()}
        if form == "gpx":
            # The other columns, "name: value" apart by "; ", then the results'.
            desc = "; ".join(f"{n}: {v}" for n, v in kept.items())
            same("desc", point.findtext("g:desc", "", ns)[: len(desc)], desc)
        else:
            data = {d.get("name"): d.findtext("k:value", None, ns) for d in point.iter("{%s}Data" % ns["k"])}
            for name, value in kept.items():
                same(name, data.get(name), value)
elif form.startswith("layer "):
    # Each text a field of a feature, as ogrinfo lists it: "  NAME (String) = TEXT".
    kind = form[6:]
    listing = subprocess.run(["ogrinfo", "-ro", "-al", output], capture_output=True, text=True)
    same("ogrinfo", listing.returncode, 0)
    if kind == "shp":  # its texts' encoding said
        with open(output[:-4] + ".cpg") as f:
            same(".cpg", f.read().strip(), "UTF-8")
    if kind == "dxf":  # GDAL writes DXF without attributes
        same("points", listing.stdout.count("POINT ("), len(rows))
    expected = collections.Counter()
    for row in rows if kind != "dxf" else []:
        for name, value in zip(header, row):
            if kind == "shp":
                # dBase pads a text with blanks; Talpor writes it in UTF-8, with a .cpg that says so.
                value = value.rstrip(" ") or "(null)"
            if kind in ("kml", "kmz"):
                value = value.strip(" ")  # libkml, which GDAL reads KML with, trims its blanks
            if kind == "gpx":
                value = value.replace("\n", "")  # GDAL's GPX reader joins a text's lines
            if name not in ("Latitud", "Longitud"):
                expected[value] += 1
    for value, times in expected.items():
        same(f"features with {value!r}", min(times, listing.stdout.count(f" (String) = {value}\n")), times)
else:
    sys.exit(f"read_back.py: unknown format {form}")

print("\n".join(wrong))
sys.exit(1 if wrong else 0)
