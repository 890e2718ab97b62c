#!/usr/bin/python3
"""The workbooks of talpor-lote's spreadsheet test, made and read back by GDAL (osgeo)
and, for XLSX, by Python's zipfile and ElementTree: not by Talpor.

  sheets.py make FOLDER          writes FOLDER/libro.xlsx and FOLDER/libro.ods
  sheets.py check OUTPUT GRID [SHEET...]
                                 checks a workbook talpor-lote wrote from libro.* (or
                                 from tests/data/libro.xls: its sheets with points)

libro has three sheets: «Puntos», ED50 UTM 30 points (a name, the zone, easting and
northing as numbers, an altitude; an empty row), «Grados», ED50 decimal degrees as
numbers of three decimals (read as thousands they would be no point), «DMS», degrees,
minutes and seconds as text, and «Notas», without points. The check takes every
converted row's input point through PROJ's cct with the IGN grid (hgridshift) and
compares the result cells within 1 mm and their rounding (to the centimetre, to 8
decimals of a degree); the input columns must come back as they went, the result coordinates as
numbers. Prints each difference and exits 1 when there is one."""
import re
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET
from osgeo import gdal, ogr

gdal.UseExceptions()
POINTS = [("V1", 30, 440721.12, 4474447.5, 650.3), None, ("V2", 30, 500000.25, 4600000.0, 712.0)]
# A name of figures with a leading zero, as a survey mark's number or a postal code: a text.
DEGREES = [("0123", 40.416, -3.703)]
DMS = [("D1", "40º 25' 3,1234\" N", "3º 42' 13,5\" W")]


def make(folder):
    ds = ogr.GetDriverByName("XLSX").CreateDataSource(folder + "/libro.xlsx")
    for name, fields, rows in (
            ("Puntos", [("Vertice", ogr.OFTString), ("Huso", ogr.OFTInteger), ("Este", ogr.OFTReal),
                        ("Norte", ogr.OFTReal), ("Altitud", ogr.OFTReal)], POINTS),
            ("Grados", [("Vertice", ogr.OFTString), ("Latitud", ogr.OFTReal), ("Longitud", ogr.OFTReal)], DEGREES),
            ("DMS", [("Vertice", ogr.OFTString), ("Latitud", ogr.OFTString), ("Longitud", ogr.OFTString)], DMS),
            ("Notas", [("Nota", ogr.OFTString)], [("sin puntos",)])):
        layer = ds.CreateLayer(name, geom_type=ogr.wkbNone)
        for field, kind in fields:
            layer.CreateField(ogr.FieldDefn(field, kind))
        for row in rows:
            f = ogr.Feature(layer.GetLayerDefn())
            for i, v in enumerate(row or ()):
                f.SetField(i, v)
            layer.CreateFeature(f)
    ds = None
    gdal.VectorTranslate(folder + "/libro.ods", folder + "/libro.xlsx", format="ODS")


def cct(pipeline, x, y):
    out = subprocess.run(["cct", "-d", "10"] + pipeline.split(), input=f"{x} {y} 0 0\n",
                         capture_output=True, text=True, check=True).stdout.split()
    return float(out[0]), float(out[1])


def check(output, grid, sheets):
    wrong = []
    ed50 = "+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=" + grid
    degrees = "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad +step +proj=hgridshift +grids=" + grid
    to_deg = " +step +proj=unitconvert +xy_in=rad +xy_out=deg"
    to_utm = " +step +proj=utm +zone=30 +ellps=GRS80"
    ds = gdal.OpenEx(output, gdal.OF_VECTOR)
    names = [ds.GetLayer(i).GetName() for i in range(ds.GetLayerCount())]
    if names != sheets:
        wrong.append(f"sheets {names}")
    for sheet, rows in ((s, {"Puntos": POINTS, "Grados": DEGREES, "DMS": DMS}[s]) for s in sheets):
        layer = ds.GetLayerByName(sheet)
        features = [f for f in layer] if layer else []
        # GDAL reads an empty row as a feature without fields.
        got = [f for f in features if f.IsFieldSet(0)]
        if len(got) != len([r for r in rows if r]):
            wrong.append(f"{sheet}: {len(got)} rows")
            continue
        for f, row in zip(got, [r for r in rows if r]):
            columns = [f.GetField(i) for i in range(len(row))]
            if columns != list(row):
                wrong.append(f"{sheet}: input columns {columns} != {list(row)}")
            if sheet == "Puntos":
                lon, lat = cct(ed50 + to_deg, row[2], row[3])
                e, n = cct(ed50 + to_utm, row[2], row[3])
            elif sheet == "Grados":
                lon, lat = cct(degrees + to_deg, row[2], row[1])
                e, n = cct(degrees + to_utm, row[2], row[1])
            else:
                point = (-(3 + 42 / 60 + 13.5 / 3600), 40 + 25 / 60 + 3.1234 / 3600)
                lon, lat = cct(degrees + to_deg, *point)
                e, n = cct(degrees + to_utm, *point)
            # 1 mm, and the rounding of the results to 8 decimals of a degree and to the centimetre.
            for field, expected, tolerance in (("Latitud WGS84 (grados)", lat, 1.7e-8), ("Longitud WGS84 (grados)", lon, 1.7e-8),
                                               ("Este WGS84", e, 0.006), ("Norte WGS84", n, 0.006)):
                value = f.GetField(field)
                if not isinstance(value, float) or abs(value - expected) > tolerance:
                    wrong.append(f"{sheet} {row[0]}: {field} {value!r}, PROJ {expected:.10f}")
    if output.endswith(".xlsx"):
        wrong += numeric_cells(output)
    for w in wrong:
        print(w)
    return 1 if wrong else 0


def numeric_cells(output):
    """The result coordinates of the first sheet are number cells in the XLSX XML: no t, or t="n"."""
    ns = {"s": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
    wrong = []
    with zipfile.ZipFile(output) as z:
        shared = [("".join(t.text or "" for t in si.iter("{%s}t" % ns["s"])))
                  for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("s:si", ns)]
        rows = ET.fromstring(z.read("xl/worksheets/sheet1.xml")).findall(".//s:row", ns)
    header = {re.sub(r"\d", "", c.get("r")): shared[int(c.find("s:v", ns).text)] for c in rows[0].findall("s:c", ns)}
    wanted = {col for col, name in header.items() if name in ("Este", "Norte", "Latitud WGS84 (grados)", "Este WGS84", "Norte WGS84")}
    if len(wanted) != 5:
        wrong.append(f"XLSX header {header}")
    for row in rows[1:]:
        for c in row.findall("s:c", ns):
            if re.sub(r"\d", "", c.get("r")) in wanted and c.get("t", "n") != "n":
                wrong.append(f"XLSX cell {c.get('r')} is t={c.get('t')}")
    return wrong


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
        sys.exit(0)
    sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4:] or ["Puntos", "Grados", "DMS"]))
