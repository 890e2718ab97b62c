#!/usr/bin/python3
"""QGIS projects of talpor-lote's project test, made and read back by QGIS itself (Debian's
python3-qgis, offscreen), with PROJ's cct and GDAL's ogr2ogr as the truth for coordinates.

  qgis_projects.py make FOLDER
      writes FOLDER/obra: an ED50 UTM 30 shapefile (capas/parcelas.shp, red, labelled),
      a GeoPackage of two layers (caminos & ríos.gpkg), an orthophoto (orto.tif), a KMZ
      (rutas.kmz) and, outside it, FOLDER/fuera.shp; and three projects:
        mapa.qgz     relative paths, project system EPSG:23030, the KMZ, a WMS layer, a
                     memory layer and ../fuera.shp, an attached file; its members with an
                     extra field each, as Info-ZIP's zip writes them
      each with a map canvas's extent, a default view, a bookmark and a print layout
      whose map has a grid in the project's system
        absoluto.qgs absolute paths, the shapefile, the orthophoto and the GeoPackage's
                     second layer (its name has a "&", which XML writes as an entity)
        etrs.qgs     an ETRS89 project (EPSG:25830) with the shapefile
        grados.qgs   an ED50 project in degrees (EPSG:4230) with the shapefile, measuring
                     on no ellipsoid
        huso31.qgs   an ED50 UTM 31 project (EPSG:23031) of Barcelona with the shapefile
      mapa.qgz also reads the GeoPackage with no layer named (QGIS reads its first)
  qgis_projects.py check FOLDER OUTPUT GRID [PROJECT...]
      opens each project of OUTPUT (all three, or those named) in QGIS and checks it
      against FOLDER/obra's: every layer whose file is in obra valid and read from
      OUTPUT, in EPSG:25830 (the KMZ in WGS84, which it holds); the WMS, memory and
      outside layers as they were; the canvas, the view, the bookmark and the layout's map within 1 m
      of cct's grid transformation of the old ones (an ETRS89 project's unmoved); every
      vertex of the shapefile within 1 mm of ogr2ogr's; each layer's style (QGIS's
      export of it) the same bytes; the rest of the XML the same bytes once the parts
      Talpor changes are left out; a .qgz's other members the same bytes. Where the
      layers went into GeoPackages (--formato=gpkg), the KMZ's too is in EPSG:25830, and
      only the layers' symbols and labels are compared (a GeoPackage adds its fid).
Prints each difference and exits 1 when there is one."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
from osgeo import gdal, ogr  # noqa: E402
from qgis.core import (QgsApplication, QgsBookmark, QgsCoordinateReferenceSystem, QgsLayoutItemMap,  # noqa: E402
                       QgsLayoutItemMapGrid, QgsMapLayer, QgsPalLayerSettings, QgsPrintLayout, QgsProject, QgsRasterLayer,
                       QgsRectangle, QgsReferencedRectangle, QgsVectorLayer, QgsVectorLayerSimpleLabeling)
from qgis.gui import QgsMapCanvas  # noqa: E402
from qgis.PyQt.QtCore import QRectF  # noqa: E402
from qgis.PyQt.QtGui import QColor  # noqa: E402
from qgis.PyQt.QtXml import QDomDocument  # noqa: E402

gdal.UseExceptions()
app = QgsApplication([], True)  # a map canvas, whose extent the projects keep
app.initQgis()
ED50 = QgsCoordinateReferenceSystem("EPSG:23030")
WMS = ("contextualWMSLegend=0&crs=EPSG:25830&dpiMode=7&featureCount=10&format=image/png&"
       "layers=OI.OrthoimageCoverage&styles=&url=https://www.ign.es/wms-inspire/pnoa-ma")
VIEW = (439000, 4473000, 443000, 4477000)
BOOKMARK = (440000, 4474000, 440600, 4474500)
LAYOUT = (439500, 4473500, 441500, 4474500)
CANVAS = (439200, 4473100, 442800, 4476900)
UTM_BOXES = {"view": VIEW, "bookmark": BOOKMARK, "layout": LAYOUT, "canvas": CANVAS}
# Barcelona's, in ED50 UTM 31 (EPSG:23031).
ZONE31_BOXES = {"view": (428000, 4580000, 432000, 4584000), "bookmark": (430000, 4581000, 430600, 4581500),
                "layout": (429000, 4580500, 431000, 4581500), "canvas": (428200, 4580100, 431800, 4583900)}
# The same places in ED50 degrees (EPSG:4230: x the longitude, y the latitude).
DEGREE_BOXES = {"view": (-3.73, 40.40, -3.68, 40.44), "bookmark": (-3.71, 40.41, -3.70, 40.42),
                "layout": (-3.72, 40.405, -3.69, 40.425), "canvas": (-3.725, 40.402, -3.685, 40.438)}
PARCELS = [[(440000, 4474000), (440500, 4474000), (440500, 4474400), (440000, 4474000)],
           [(441000.25, 4475000.5), (441300, 4475000), (441300, 4475300.75), (441000.25, 4475000.5)]]


def polygons(path, layer, fmt, srs, rings, fields=True):
    drv = ogr.GetDriverByName(fmt)
    ds = drv.Open(path, 1) if os.path.exists(path) else drv.CreateDataSource(path)
    ref = ogr.osr.SpatialReference()
    ref.ImportFromEPSG(srs)
    lyr = ds.CreateLayer(layer, ref, ogr.wkbPolygon)
    if fields:
        lyr.CreateField(ogr.FieldDefn("nombre", ogr.OFTString))
    for i, ring in enumerate(rings):
        f = ogr.Feature(lyr.GetLayerDefn())
        if fields:
            f.SetField("nombre", "Parcela %d" % (i + 1))
        f.SetGeometry(ogr.CreateGeometryFromWkt("POLYGON((%s))" % ", ".join("%r %r" % p for p in ring)))
        lyr.CreateFeature(f)
    ds = None


def make(folder):
    obra = os.path.join(os.path.abspath(folder), "obra")
    os.makedirs(obra + "/capas", exist_ok=True)
    polygons(obra + "/capas/parcelas.shp", "parcelas", "ESRI Shapefile", 23030, PARCELS)
    polygons(obra + "/caminos & ríos.gpkg", "caminos", "GPKG", 23030, PARCELS[:1])
    polygons(obra + "/caminos & ríos.gpkg", "rios", "GPKG", 23030, PARCELS[1:])
    polygons(os.path.dirname(obra) + "/fuera.shp", "fuera", "ESRI Shapefile", 23030, PARCELS[:1])
    gdal.Translate(obra + "/orto.tif", gdal.GetDriverByName("MEM").Create("", 50, 40, 1), format="GTiff",
                   outputSRS="EPSG:23030", outputBounds=[439500, 4476000, 442000, 4474000])
    gdal.VectorTranslate(obra + "/rutas.kmz", obra + "/capas/parcelas.shp", format="LIBKML", dstSRS="EPSG:4326",
                         layerName="rutas")

    canvas = QgsMapCanvas()

    def project(name, relative, layers, crs=ED50, boxes=UTM_BOXES, ellipsoid=None):
        p = QgsProject.instance()
        p.clear()
        p.setCrs(crs)
        canvas.setDestinationCrs(crs)
        canvas.setExtent(QgsRectangle(*boxes["canvas"]))
        p.setEllipsoid(ellipsoid or ("EPSG:7022" if crs == ED50 else "EPSG:7019"))
        for layer in layers:
            assert layer.isValid() or layer.providerType() == "wms", layer.name()
            p.addMapLayer(layer)
        p.viewSettings().setDefaultViewExtent(QgsReferencedRectangle(QgsRectangle(*boxes["view"]), crs))
        b = QgsBookmark()
        b.setName("Parcela")
        b.setExtent(QgsReferencedRectangle(QgsRectangle(*boxes["bookmark"]), crs))
        p.bookmarkManager().addBookmark(b)
        layout = QgsPrintLayout(p)
        layout.initializeDefaults()
        layout.setName("Plano")
        m = QgsLayoutItemMap(layout)
        m.attemptSetSceneRect(QRectF(20, 20, 200, 100))
        m.setExtent(QgsRectangle(*boxes["layout"]))
        g = QgsLayoutItemMapGrid("Cuadrícula", m)
        g.setCrs(crs)
        g.setIntervalX(0.01 if boxes is DEGREE_BOXES else 500)
        g.setIntervalY(0.01 if boxes is DEGREE_BOXES else 500)
        m.grids().addGrid(g)
        layout.addLayoutItem(m)
        p.layoutManager().addLayout(layout)
        p.writeEntry("Paths", "/Absolute", not relative)
        if name.endswith(".qgz"):
            with open(p.createAttachedFile("nota.txt"), "w") as f:
                f.write("Replanteo del 3 de marzo\n")
        assert p.write(obra + "/" + name), name

    def parcels():
        layer = QgsVectorLayer(obra + "/capas/parcelas.shp", "parcelas", "ogr")
        layer.renderer().symbol().setColor(QColor(200, 10, 10))
        labels = QgsPalLayerSettings()
        labels.fieldName = "nombre"
        layer.setLabeling(QgsVectorLayerSimpleLabeling(labels))
        layer.setLabelsEnabled(True)
        return layer

    memory = QgsVectorLayer("Point?crs=EPSG:23030&field=n:integer", "memoria", "memory")
    project("mapa.qgz", True, [
        parcels(), QgsVectorLayer(obra + "/caminos & ríos.gpkg|layername=caminos", "caminos", "ogr"),
        QgsRasterLayer(obra + "/orto.tif", "orto", "gdal"), QgsVectorLayer(obra + "/rutas.kmz|layername=rutas", "rutas", "ogr"),
        QgsRasterLayer(WMS, "PNOA", "wms"), memory, QgsVectorLayer(os.path.dirname(obra) + "/fuera.shp", "fuera", "ogr"),
        QgsVectorLayer(obra + "/caminos & ríos.gpkg", "primera", "ogr")])
    project("absoluto.qgs", False, [parcels(), QgsRasterLayer(obra + "/orto.tif", "orto", "gdal"),
                                    QgsVectorLayer(obra + "/caminos & ríos.gpkg|layername=rios", "rios", "ogr")])
    # As Info-ZIP's zip writes an archive: each member with an extra field (its time).
    with zipfile.ZipFile(obra + "/mapa.qgz") as z:
        members = [(info, z.read(info.filename)) for info in z.infolist()]
    with zipfile.ZipFile(obra + "/mapa.qgz", "w") as z:
        for info, data in members:
            info.extra = b"UT\x05\x00\x03" + struct.pack("<I", 1700000000)
            z.writestr(info, data)
    project("etrs.qgs", True, [parcels()], QgsCoordinateReferenceSystem("EPSG:25830"))
    project("grados.qgs", True, [parcels()], QgsCoordinateReferenceSystem("EPSG:4230"), DEGREE_BOXES, "NONE")
    project("huso31.qgs", True, [parcels()], QgsCoordinateReferenceSystem("EPSG:23031"), ZONE31_BOXES)


def cct(pipeline, points):
    text = "".join("%r %r 0 0\n" % p for p in points)
    out = subprocess.run(["cct", "-d", "6"] + pipeline.split(), input=text, capture_output=True, text=True,
                         check=True).stdout.split("\n")
    return [tuple(float(v) for v in line.split()[:2]) for line in out if line.strip()]


def moved_box(grid, box, degrees=False, zone=30):
    """The box holding the four corners of `box` (ED50 UTM `zone`, or degrees) moved to
    ETRS89 UTM 30 by the grid."""
    start = "+proj=unitconvert +xy_in=deg +xy_out=rad" if degrees else "+inv +proj=utm +zone=%d +ellps=intl" % zone
    pipeline = ("+proj=pipeline +step %s +step +proj=hgridshift +grids=%s "
                "+step +proj=utm +zone=30 +ellps=GRS80" % (start, grid))
    xs, ys = zip(*cct(pipeline, [(box[0], box[1]), (box[2], box[1]), (box[2], box[3]), (box[0], box[3])]))
    return (min(xs), min(ys), max(xs), max(ys))


def box_of(rect):
    return (rect.xMinimum(), rect.yMinimum(), rect.xMaximum(), rect.yMaximum())


def styles(path, drawing):
    """Each layer's style as QGIS exports it (its symbols and labels alone with `drawing`),
    by the layer's name; and the layers."""
    p = QgsProject.instance()
    p.clear()
    assert p.read(path), path
    out, layers = {}, {}
    for layer in p.mapLayers().values():
        doc = QDomDocument()
        if drawing:
            layer.exportNamedStyle(doc, categories=QgsMapLayer.Symbology | QgsMapLayer.Labeling)
        else:
            layer.exportNamedStyle(doc)
        out[layer.name()] = doc.toString()
        layers[layer.name()] = (layer.isValid(), layer.source(), layer.crs().authid())
    return out, layers


def features(path):
    """Each vector layer's features, by name and area (in its system's units), as QGIS reads them."""
    p = QgsProject.instance()
    p.clear()
    p.read(path)
    out = {}
    for layer in p.mapLayers().values():
        if isinstance(layer, QgsVectorLayer) and layer.isValid() and layer.fields().indexOf("nombre") >= 0:
            degrees = layer.crs().isGeographic()
            out[layer.name()] = sorted((str(f["nombre"]), f.geometry().area(), degrees) for f in layer.getFeatures())
    return out


def same_features(a, b):
    """The same names, and areas within a thousandth (a datum's scale moves them a little)
    where both are in metres or both in degrees."""
    return b is not None and len(a) == len(b) and all(
        x[0] == y[0] and (x[2] != y[2] or abs(x[1] - y[1]) <= 1e-3 * max(abs(x[1]), 1)) for x, y in zip(a, b))


def project_xml(path):
    if path.endswith(".qgz"):
        with zipfile.ZipFile(path) as z:
            return z.read([n for n in z.namelist() if n.endswith(".qgs")][0]).decode()
    with open(path, encoding="utf-8") as f:
        return f.read()


# What Talpor may change in a project: systems, extents, sources, the ellipsoid.
CHANGED = [r"<spatialrefsys[^>]*>.*?</spatialrefsys>", r"<extent>.*?</extent>", r"<datasource>.*?</datasource>",
           r' source="[^"]*"', r'<DefaultViewExtent [^>]*>', r"<Extent [^>]*/>", r' extent="POLYGON[^"]*"',
           r"<Ellipsoid [^>]*>[^<]*</Ellipsoid>"]


def rest(xml):
    for pattern in CHANGED:
        xml = re.sub(pattern, "", xml, flags=re.S)
    return xml


def check(folder, output, grid, names):
    obra = os.path.join(os.path.abspath(folder), "obra")
    output = os.path.abspath(output)
    gpkg = os.path.exists(output + "/capas/parcelas.gpkg")
    wrong = []
    for name in names or ["mapa.qgz", "absoluto.qgs", "etrs.qgs", "grados.qgs", "huso31.qgs"]:
        old, new = obra + "/" + name, output + "/" + name
        old_styles, old_layers = styles(old, gpkg)
        new_styles, new_layers = styles(new, gpkg)
        p = QgsProject.instance()
        for layer, (valid, source, authid) in sorted(new_layers.items()):
            was = old_layers[layer]
            path = source.split("|")[0]
            if layer in ("PNOA", "memoria"):
                # A memory layer gets a new uid each time QGIS reads it.
                if (re.sub(r"&uid=\{.*\}", "", source), authid) != (re.sub(r"&uid=\{.*\}", "", was[1]), was[2]):
                    wrong.append("%s: «%s» changed: %s, %s" % (name, layer, source, authid))
                continue
            if not valid:
                wrong.append("%s: «%s» is not valid: %s" % (name, layer, source))
            if layer == "fuera":
                if path != was[1].split("|")[0] or authid != "EPSG:23030":
                    wrong.append("%s: «fuera» should still read %s: %s" % (name, was[1], source))
                continue
            if not path.startswith(output + "/"):
                wrong.append("%s: «%s» reads %s, not a file of %s" % (name, layer, source, output))
            want = "EPSG:4326" if layer == "rutas" and not gpkg else "EPSG:25830"
            if authid != want:
                wrong.append("%s: «%s» is in %s, not %s" % (name, layer, authid, want))
            if old_styles[layer] != new_styles[layer]:
                wrong.append("%s: the style of «%s» changed" % (name, layer))
        # Each vector layer reads the same features it read: their names and areas.
        before, after = features(old), features(new)
        for layer, read in before.items():
            if not same_features(read, after.get(layer)):
                wrong.append("%s: «%s» reads %s, not %s" % (name, layer, after.get(layer), read))
        if set(new_layers) != set(old_layers):
            wrong.append("%s: layers %s, not %s" % (name, sorted(new_layers), sorted(old_layers)))
        # Map coordinates: moved by the grid in an ED50 project, as they were in an ETRS89 one.
        p.read(new)
        etrs, degrees = name == "etrs.qgs", name == "grados.qgs"
        zone31 = name == "huso31.qgs"
        boxes = DEGREE_BOXES if degrees else ZONE31_BOXES if zone31 else UTM_BOXES
        if p.crs().authid() != "EPSG:25830":
            wrong.append("%s: the project is in %s" % (name, p.crs().authid()))
        if p.ellipsoid() != ("NONE" if degrees else "EPSG:7019"):
            wrong.append("%s: distances are measured on %s" % (name, p.ellipsoid()))
        layout_map = [i for i in p.layoutManager().layoutByName("Plano").items() if isinstance(i, QgsLayoutItemMap)][0]
        grid_crs = layout_map.grids().grid(layout_map.grids().asList()[0].id()).crs().authid()
        if grid_crs != "EPSG:25830":
            wrong.append("%s: the layout's grid is in %s" % (name, grid_crs))
        canvas = ET.fromstring(project_xml(new)).find("mapcanvas")
        canvas_box = tuple(float(canvas.find("extent/" + c).text) for c in ("xmin", "ymin", "xmax", "ymax"))
        if canvas.find("destinationsrs/spatialrefsys/authid").text != "EPSG:25830":
            wrong.append("%s: the map canvas is in %s" % (name, canvas.find("destinationsrs/spatialrefsys/authid").text))
        for what, key, new_rect in (
                ("the map canvas", "canvas", QgsRectangle(*canvas_box)),
                ("the default view", "view", p.viewSettings().defaultViewExtent()),
                ("the bookmark", "bookmark", p.bookmarkManager().bookmarks()[0].extent()),
                ("the layout's map", "layout", layout_map.extent())):
            want = boxes[key] if etrs else moved_box(grid, boxes[key], degrees, 31 if zone31 else 30)
            got = box_of(new_rect)
            if (degrees or zone31) and key == "layout":
                # From degrees to metres the map shows all its ground, in the item's shape.
                size = layout_map.sizeWithUnits()
                shape = size.width() / size.height()
                holds = got[0] <= want[0] + 1 and got[1] <= want[1] + 1 and got[2] >= want[2] - 1 and got[3] >= want[3] - 1
                if not holds or abs((got[2] - got[0]) / (got[3] - got[1]) / shape - 1) > 0.001:
                    wrong.append("%s: %s is %s, which does not hold %s in the item's shape" % (name, what, got, want))
            elif max(abs(a - b) for a, b in zip(want, got)) > 1.0:
                wrong.append("%s: %s is %s, not %s" % (name, what, got, want))
        # Each converted layer's stored extent moved as its vertices are; a relative source
        # written as QGIS writes one ("./", "../").
        old_root, new_root = ET.fromstring(project_xml(old)), ET.fromstring(project_xml(new))
        for layer in new_root.iter("maplayer"):
            was = [w for w in old_root.iter("maplayer") if w.findtext("id") == layer.findtext("id")][0]
            source = layer.findtext("datasource")
            if name != "absoluto.qgs" and source.split("|")[0].endswith((".shp", ".gpkg", ".tif", ".kmz")) and \
                    not source.startswith(("./", "../")):
                wrong.append("%s: the source %s is not written as QGIS writes a relative one" % (name, source))
            if was.findtext("srs/spatialrefsys/authid") != "EPSG:23030" or layer.find("extent/xmin") is None or \
                    layer.findtext("srs/spatialrefsys/authid") != "EPSG:25830":
                continue
            want = moved_box(grid, tuple(float(was.findtext("extent/" + c)) for c in ("xmin", "ymin", "xmax", "ymax")))
            got = tuple(float(layer.findtext("extent/" + c)) for c in ("xmin", "ymin", "xmax", "ymax"))
            if max(abs(a - b) for a, b in zip(want, got)) > 1.0:
                wrong.append("%s: the extent of «%s» is %s, not %s" % (name, layer.findtext("layername"), got, want))
        # Every byte Talpor does not change, as it was.
        if rest(project_xml(old)) != rest(project_xml(new)):
            wrong.append("%s: the project's XML changed outside systems, extents and sources" % name)
        if name.endswith(".qgz"):
            with zipfile.ZipFile(old) as a, zipfile.ZipFile(new) as b:
                others = [n for n in a.namelist() if not n.endswith(".qgs")]
                if not others or any(a.read(n) != b.read(n) for n in others) or sorted(a.namelist()) != sorted(b.namelist()):
                    wrong.append("%s: its other members changed: %s" % (name, b.namelist()))
    # Every vertex of the shapefile where ogr2ogr puts it with the grid.
    with tempfile.TemporaryDirectory() as t:
        pipeline = ("+proj=pipeline +step +inv +proj=utm +zone=30 +ellps=intl +step +proj=hgridshift +grids=%s "
                    "+step +proj=utm +zone=30 +ellps=GRS80" % grid)
        gdal.VectorTranslate(t + "/ref.shp", obra + "/capas/parcelas.shp", coordinateOperation=pipeline,
                             dstSRS="EPSG:25830")
        ref_ds, got_ds = ogr.Open(t + "/ref.shp"), ogr.Open(output + "/capas/parcelas." + ("gpkg" if gpkg else "shp"))
        ref = [f.GetGeometryRef().ExportToWkt() for f in ref_ds.GetLayer()]
        got = [f.GetGeometryRef().ExportToWkt() for f in got_ds.GetLayer()]
        if len(ref) != len(got):
            wrong.append("parcelas has %d features, not %d" % (len(got), len(ref)))
        numbers = re.compile(r"-?\d+(?:\.\d+)?")
        for r, g in zip(ref, got):
            a, b = [float(v) for v in numbers.findall(r)], [float(v) for v in numbers.findall(g)]
            if len(a) != len(b) or max(abs(x - y) for x, y in zip(a, b)) > 0.001:
                wrong.append("a vertex of parcelas: %s, not %s" % (g, r))
    for w in wrong:
        print(w)
    return 1 if wrong else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
        sys.exit(0)
    sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]))
