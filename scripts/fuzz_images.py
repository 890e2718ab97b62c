#!/usr/bin/env python3
"""Feeds talpor-lote (best a build with AddressSanitizer and UBSan, with its worker
talpor-capas beside it) damaged and hostile images and checks what it promises on any
image: exit status 0, 1 or 2, never a signal or a hang; no sanitizer report in the
program's own code (GDAL's, inside the worker, must end as one sentence, status 2); a
standard error in UTF-8 of the program's own lines, one Spanish sentence when nothing is
converted, GDAL's English only in parentheses; status 2 for an image cut short; no byte
of a secret file (which hostile VRTs and sidecars point at) in any file written, pixels
included; no temporary output left, and the input untouched.

The images are made once per run by GDAL's gdal_translate from a small raw picture: an
ED50 UTM 30 orthophoto as a tiled DEFLATE GeoTIFF, the same in strips with LZW, as a tiled
BigTIFF, with JPEG inside and with a rotated georeference, a plain TIFF with its .tfw and
.prj, a JPEG with its world file, a PNG with its .pgw and .prj, an elevation model as an
ASCII grid, a VRT of the GeoTIFF, a lossless JPEG 2000, an Erdas Imagine elevation model,
an ENVI and an Esri .hdr labelled raster and an XYZ grid. Each case copies one and damages
it as files get damaged, or as an attacker would make them: cut short, bits flipped, runs
of zeros, bytes changed or inserted, a header declaring huge sizes; a TIFF whose width,
height, tile size, strips, offsets or byte counts lie (2^31, 0, past the end) or whose
pixel size or tie point is NaN, 0, negative or 1e308; a world file with such numbers,
rotations, an origin far from Spain, text or too few lines, a .prj that lies or is
garbage; a VRT of such a geotransform; a VRT that reads itself, two that read each other,
a long chain, /dev/zero, /dev/urandom, a FIFO, a file of /proc/self, a file outside the
folder, a /vsicurl/ or /vsizip/ path or a huge declared size; a small JPEG or PNG declaring
65500 x 65500 pixels with its world file; an .aux.xml with another system or geotransform,
or garbage, or a .tfw beside a GeoTIFF that has its own georeference; a sidecar emptied,
cut or lying, a VRT whose band is a raw file or whose source is /proc/self/environ, a
/vsisubfile/ or the secret, a sidecar that is a link to the secret, a FIFO as the image, a
sidecar or the destination, a destination linked to standard output. Converting, an
output must be one GDAL reads back whole (gdalinfo -checksum).

Some cases resample a larger image (--tolerancia=0) and get SIGINT or SIGTERM at a random
moment, the program started with the signals at their defaults: the run must end by that
signal, leaving no temporary file, no worker and no output half written.

The cases are drawn from a fixed seed; a case that breaks a promise is kept in the
failures folder and its command line printed.

    scripts/fuzz_images.py TALPOR_LOTE [--files N] [--seed S] [--jobs J] [--keep DIR] [--formats jp2,img,...] [--cases 36,816]
"""
import argparse
import collections
import concurrent.futures
import os
import random
import re
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fuzz_layers import environment, first_error, report_blame, run_case, shown, spanish, what_is_left  # noqa: E402
from interrupts import workers_of  # noqa: E402

TIMEOUT = 60  # seconds a case may take; a FIFO must be refused at once, not at the watchdog
SMALL = {}  # a small JPEG, the bombs' start, made with the bases
SECRET = b"SECRETO-fuzz-7f3a9c-" + bytes(range(32, 127))
W, H = 160, 120
BIG = 1200  # the side of the image interrupted as it is resampled


def gdal(folder, *args):
    subprocess.run(list(args), cwd=folder, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_bases(folder):
    """Each base: its main file and every file of it, by name."""
    with open(os.path.join(folder, "p.raw"), "wb") as f:
        f.write(bytes((i * 7 + i // W * 13) % 251 for i in range(W * H * 3)))
    with open(os.path.join(folder, "p.hdr"), "w") as f:
        f.write(f"ENVI\nsamples = {W}\nlines = {H}\nbands = 3\nheader offset = 0\nfile type = ENVI Standard\n"
                "data type = 1\ninterleave = bsq\nbyte order = 0\n")
    ullr = ["-a_ullr", "440000", "4478000", str(440000 + W / 2), str(4478000 - H / 2)]
    gdal(folder, "gdal_translate", "-q", "-co", "TILED=YES", "-co", "BLOCKXSIZE=64", "-co", "BLOCKYSIZE=64",
         "-co", "COMPRESS=DEFLATE", "-a_srs", "EPSG:23030", *ullr, "p.raw", "orto.tif")
    gdal(folder, "gdal_translate", "-q", "-co", "PROFILE=BASELINE", "-co", "TFW=YES", "orto.tif", "plano.tif")
    gdal(folder, "gdal_translate", "-q", "-of", "JPEG", "-co", "WORLDFILE=YES", "orto.tif", "foto.jpg")
    gdal(folder, "gdal_translate", "-q", "-of", "PNG", "-co", "WORLDFILE=YES", "orto.tif", "mapa.png")
    gdal(folder, "gdal_translate", "-q", "-of", "AAIGrid", "-b", "1", "-ot", "Float32", "orto.tif", "mdt.asc")
    gdal(folder, "gdal_translate", "-q", "-of", "VRT", "orto.tif", "orto.vrt")
    # The formats of other programs: a JPEG 2000 orthophoto, an Imagine elevation model,
    # ENVI's and Esri's labelled rasters, an XYZ grid.
    gdal(folder, "gdal_translate", "-q", "-of", "JP2OpenJPEG", "-co", "REVERSIBLE=YES", "-co", "QUALITY=100",
         "orto.tif", "vuelo.jp2")
    gdal(folder, "gdal_translate", "-q", "-of", "HFA", "-b", "1", "-ot", "Float32", "orto.tif", "relieve.img")
    gdal(folder, "gdal_translate", "-q", "-of", "ENVI", "orto.tif", "escena.dat")
    gdal(folder, "gdal_translate", "-q", "-of", "EHdr", "-b", "1", "orto.tif", "banda.bil")
    gdal(folder, "gdal_translate", "-q", "-of", "XYZ", "-b", "1", "orto.tif", "malla.xyz")
    # GeoTIFFs laid out otherwise: in strips with LZW, a BigTIFF in tiles, JPEG inside, a
    # rotated georeference (ModelTransformationTag).
    gdal(folder, "gdal_translate", "-q", "-co", "TILED=NO", "-co", "BLOCKYSIZE=7", "-co", "COMPRESS=LZW",
         "-co", "PREDICTOR=2", "orto.tif", "tiras.tif")
    gdal(folder, "gdal_translate", "-q", "-co", "BIGTIFF=YES", "-co", "TILED=YES", "-co", "BLOCKXSIZE=32",
         "-co", "BLOCKYSIZE=32", "-co", "COMPRESS=PACKBITS", "orto.tif", "enorme.tif")
    gdal(folder, "gdal_translate", "-q", "-co", "COMPRESS=JPEG", "-co", "PHOTOMETRIC=YCBCR", "-co", "TILED=YES",
         "orto.tif", "jpeg.tif")
    with open(os.path.join(folder, "girada.vrt"), "w") as f:
        f.write(open(os.path.join(folder, "orto.vrt")).read().replace(
            re.search(r"<GeoTransform>[^<]*</GeoTransform>", open(os.path.join(folder, "orto.vrt")).read())[0],
            "<GeoTransform>440000,0.43,0.25,4478000,0.25,-0.43</GeoTransform>"))
    gdal(folder, "gdal_translate", "-q", "-co", "COMPRESS=DEFLATE", "girada.vrt", "girada.tif")
    os.remove(os.path.join(folder, "girada.vrt"))
    gdal(folder, "gdal_translate", "-q", "-of", "JPEG", "-outsize", "16", "16", "orto.tif", "pequeña.jpg")
    SMALL["jpg"] = open(os.path.join(folder, "pequeña.jpg"), "rb").read()
    SMALL["orto.tif"] = open(os.path.join(folder, "orto.tif"), "rb").read()
    subprocess.run(["zip", "-q", "capa.zip", "orto.tif"], cwd=folder, check=True)
    SMALL["zip"] = open(os.path.join(folder, "capa.zip"), "rb").read()
    os.remove(os.path.join(folder, "capa.zip"))
    # The image a resampling run is interrupted in: large enough to take a few seconds.
    with open(os.path.join(folder, "g.raw"), "wb") as f:
        f.write(bytes((i * 7 + i // BIG * 13) % 251 for i in range(BIG * BIG)))
    with open(os.path.join(folder, "g.hdr"), "w") as f:
        f.write(f"ENVI\nsamples = {BIG}\nlines = {BIG}\nbands = 1\nheader offset = 0\nfile type = ENVI Standard\n"
                "data type = 1\ninterleave = bsq\nbyte order = 0\n")
    gdal(folder, "gdal_translate", "-q", "-co", "TILED=YES", "-co", "COMPRESS=DEFLATE", "-a_srs", "EPSG:23030",
         "-a_ullr", "440000", "4478000", str(440000 + BIG / 2), str(4478000 - BIG / 2), "g.raw", "grande.tif")
    SMALL["grande.tif"] = open(os.path.join(folder, "grande.tif"), "rb").read()
    for name in ("pequeña.jpg", "g.raw", "g.hdr", "grande.tif"):
        os.remove(os.path.join(folder, name))
    prj = subprocess.run(["gdalsrsinfo", "-o", "wkt_esri", "EPSG:23030"], capture_output=True, check=True).stdout.strip()
    for name in ("plano.prj", "mapa.prj", "mdt.prj"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(prj + b"\n")
    for extra in ("plano.tif.aux.xml", "mapa.png.aux.xml"):
        if os.path.exists(os.path.join(folder, extra)):
            os.remove(os.path.join(folder, extra))
    bases = {}
    for main in ("orto.tif", "plano.tif", "foto.jpg", "mapa.png", "mdt.asc", "orto.vrt", "vuelo.jp2", "relieve.img",
                 "escena.dat", "banda.bil", "malla.xyz", "tiras.tif", "enorme.tif", "jpeg.tif", "girada.tif"):
        stem = main.rsplit(".", 1)[0]
        names = [n for n in os.listdir(folder) if n.startswith(stem + ".")]
        if main == "orto.vrt":
            names.append("orto.tif")
        bases[main] = {n: open(os.path.join(folder, n), "rb").read() for n in names}
    return bases


# ---------------------------------------------------------------- damage


def cut_short(rnd, data):
    return data[:rnd.randint(len(data) // 8, len(data) * 9 // 10)]


def flip_bits(rnd, data):
    b = bytearray(data)
    for _ in range(rnd.randint(1, 12)):
        i = rnd.randrange(len(b))
        b[i] ^= 1 << rnd.randrange(8)
    return bytes(b)


def zeros(rnd, data):
    b = bytearray(data)
    i = rnd.randrange(len(b))
    n = rnd.randint(1, 512)
    b[i:i + n] = bytes(len(b[i:i + n]))
    return bytes(b)


def insert_bytes(rnd, data):
    i = rnd.randrange(len(data))
    return data[:i] + bytes(rnd.randrange(256) for _ in range(rnd.randint(1, 64))) + data[i:]


def lying_header(rnd, main, data):
    """The image's declared size made huge (or zero) where its format keeps it."""
    b = bytearray(data)
    size = rnd.choice([0, 1, 65500, 65535, 30000]).to_bytes(2, "big")
    if main.endswith(".jpg"):
        i = b.find(b"\xff\xc0")
        if i >= 0:
            b[i + 5:i + 9] = size + size
    elif main.endswith(".png"):
        b[16:24] = (rnd.choice([0, 1 << 20, 1 << 30, 100000])).to_bytes(4, "big") * 2
    elif main.endswith(".asc"):
        text = b.decode("latin-1")
        text = re.sub(r"(?i)ncols\s+\d+", "ncols " + str(rnd.choice([0, 10**6, 10**9])), text, 1)
        b = bytearray(text.encode("latin-1"))
    elif main.endswith(".tif"):
        # ImageWidth and ImageLength (tags 256, 257) in the first directory, little-endian.
        for tag in (b"\x00\x01", b"\x01\x01"):
            i = b.find(tag + b"\x03\x00\x01\x00\x00\x00")
            if i < 0:
                i = b.find(tag + b"\x04\x00\x01\x00\x00\x00")
            if i >= 0:
                b[i + 8:i + 12] = rnd.choice([0, 65535, 1 << 20, 1 << 30]).to_bytes(4, "little")
    return bytes(b)


TIFF_TYPES = {1: 1, 2: 1, 3: 2, 4: 4, 6: 1, 7: 1, 8: 2, 9: 4, 11: 4, 12: 8, 16: 8, 17: 8, 18: 8}


def tiff_entries(data):
    """The first directory's entries of a TIFF or BigTIFF: tag -> (where the entry is,
    its type, its count, where its values are); with the byte order and whether BigTIFF."""
    order = {b"II": "little", b"MM": "big"}.get(data[:2])
    if not order or len(data) < 16:
        return {}, "little", False
    big = int.from_bytes(data[2:4], order) == 43
    at = int.from_bytes(data[8:16], order) if big else int.from_bytes(data[4:8], order)
    size, count_at, width = (20, 8, 8) if big else (12, 4, 4)
    n = int.from_bytes(data[at:at + (8 if big else 2)], order)
    at += 8 if big else 2
    entries = {}
    for k in range(min(n, 200)):
        e = at + k * size
        if e + size > len(data):
            break
        tag = int.from_bytes(data[e:e + 2], order)
        kind = int.from_bytes(data[e + 2:e + 4], order)
        count = int.from_bytes(data[e + count_at:e + count_at + width], order)
        value = e + count_at + width
        if TIFF_TYPES.get(kind, 1) * count > width:
            value = int.from_bytes(data[value:value + width], order)
        entries[tag] = (e, kind, count, value)
    return entries, order, big


def tiff_lies(rnd, data, tags=(256, 257, 258, 273, 277, 278, 279, 322, 323, 324, 325, 33550, 33922, 34264)):
    """A TIFF whose sizes, tiles, strips or georeference lie: width or height of 2^31 or
    none, tiles of size 0 or larger than the image, offsets past the end, byte counts that
    are huge or nothing, a pixel size or tie point of NaN, 0, negative or 1e308."""
    entries, order, big = tiff_entries(data)
    b = bytearray(data)
    width = 8 if big else 4
    choices = [t for t in tags if t in entries]
    if not choices:
        return flip_bits(rnd, data), "no such tag to lie in: bits flipped"
    said = []
    for tag in rnd.sample(choices, min(len(choices), rnd.choice([1, 1, 2, 3]))):
        e, kind, count, at = entries[tag]
        size = TIFF_TYPES.get(kind, 1)
        if tag in (33550, 33922, 34264):  # doubles: pixel size, tie point, transformation
            k = rnd.randrange(count) if count else 0
            value = rnd.choice([float("nan"), float("inf"), -float("inf"), 0.0, -0.5, 1e308, -1e308, 5e-324, 1e7, -4e6])
            if at + 8 * k + 8 <= len(b):
                b[at + 8 * k:at + 8 * k + 8] = struct.pack("<d" if order == "little" else ">d", value)
            said.append(f"tag {tag}[{k}] = {value}")
            continue
        if tag in (273, 279, 324, 325):  # offsets and byte counts: an array
            value = rnd.choice([len(data) + rnd.randint(0, 1 << 20), (1 << 32) - 1, (1 << 31), 0, 1,
                                len(data) - 1, 8])
            every = rnd.random() < 0.3
            # A count that lies (bits flipped before) reaches no further than the file.
            for k in range(min(count, max(0, (len(b) - at) // size))) if every else [rnd.randrange(max(count, 1))]:
                if at + size * k + size <= len(b):
                    b[at + size * k:at + size * (k + 1)] = (value % (1 << (8 * size))).to_bytes(size, order)
            said.append(f"tag {tag}[{'all' if every else 'one'}] = {value}")
            continue
        value = rnd.choice([1 << 31, (1 << 31) - 1, (1 << 32) - 1, 0, 1, 3, 65535, 1 << 20, 1 << 24, 16, 17, 8192])
        if tag in (258, 277):
            value = rnd.choice([0, 3, 64, 255, 65535, 1 << 16])
        if count == 1:
            # The value in place, as a LONG (a SHORT cannot hold it).
            kind = 16 if big and value >= 1 << 32 else 4
            b[e + 2:e + 4] = kind.to_bytes(2, order)
            v = e + (12 if big else 8)
            b[v:v + width] = (value % (1 << (8 * width))).to_bytes(width, order)
        said.append(f"tag {tag} = {value}")
    return bytes(b), "; ".join(said)


def world_file(rnd):
    """A world file that lies: pixel sizes of 0, negative, NaN or 1e308, rotations, an
    origin far from Spain, text, too few lines or numbers too long."""
    lines = ["0.5", "0", "0", "-0.5", "440000.25", "4477999.75"]
    for _ in range(rnd.randint(1, 3)):
        k = rnd.randrange(6)
        lines[k] = rnd.choice(["0", "-0.5", "nan", "NaN", "inf", "-inf", "1e308", "-1e308", "1e-320", "0.25", "-3",
                               "1e7", "-2e7", "40075017", "-180", "90", "3.4e38", "0x10", "1,5", "", "cero",
                               "9" * 400, "1" + "0" * 330, "440000 4478000", "\x00", "﻿0.5"])
    if rnd.random() < 0.25:
        lines = lines[:rnd.randint(0, 5)]
    if rnd.random() < 0.15:
        lines = lines + ["texto de más"] * rnd.randint(1, 3)
    return ("\r\n" if rnd.random() < 0.2 else "\n").join(lines).encode() + b"\n"


def lying_prj(rnd, esri):
    return rnd.choice([
        b'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],'
        b'PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]]\n',
        b'PROJCS["Marte",GEOGCS["Marte",DATUM["D_Mars",SPHEROID["Mars",3396190,169.894447223612]],'
        b'PRIMEM["Reference_Meridian",0],UNIT["Degree",0.0174532925199433]],PROJECTION["Mercator"],UNIT["Meter",1]]\n',
        b'LOCAL_CS["nada",UNIT["metre",1]]\n', b"EPSG:99999\n", b"+proj=utm +zone=99 +ellps=nada\n",
        b"PROJCS[" * 2000, b"\xff\xfe\x00garbage\x00" * 50, b"", esri[:len(esri) // 2],
        esri.replace(b"UTM_Zone_30N", b"UTM_Zone_60S").replace(b"-3.0", b"177.0"),
        esri.replace(b"6378388.0", b"0.0"), esri.replace(b"0.9996", b"nan")])


def aux_xml(rnd):
    """A .aux.xml that gives another system or georeference, or is garbage."""
    srs = rnd.choice(["EPSG:4326", "EPSG:25830", "EPSG:3857", "LOCAL_CS[\"x\"]", "garbage", "",
                      'PROJCS["x",GEOGCS["y",DATUM["z",SPHEROID["w",0,0]]]]'])
    gt = rnd.choice(["440000,0.5,0,4478000,0,-0.5", "0,0,0,0,0,0", "nan,nan,nan,nan,nan,nan", "1e308,1e308,0,1e308,0,1e308",
                     "-180,0.0001,0,90,0,-0.0001", "440000,0.5,0.5,4478000,0.5,-0.5", "440000,-0.5,0,4478000,0,0.5", "1,2,3"])
    return rnd.choice([
        f"<PAMDataset><SRS>{srs}</SRS><GeoTransform>{gt}</GeoTransform></PAMDataset>\n".encode(),
        f"<PAMDataset><SRS>{srs}</SRS></PAMDataset>\n".encode(),
        f"<PAMDataset><GeoTransform>{gt}</GeoTransform></PAMDataset>\n".encode(),
        b"<PAMDataset><SRS>EPSG:4326</SRS><GeoTransform>",
        b'<?xml version="1.0"?><!DOCTYPE l [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
        b'<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]>'
        b"<PAMDataset><SRS>&d;&d;&d;&d;</SRS></PAMDataset>",
        b"<PAMDataset>" * 5000, bytes(rnd.randrange(256) for _ in range(300)),
        b"<PAMDataset><PAMRasterBand band=\"1\"><NoDataValue>nan</NoDataValue><Offset>1e308</Offset>"
        b"<Scale>-1e308</Scale></PAMRasterBand><PAMRasterBand band=\"99\"/></PAMDataset>"])


def bomb(rnd):
    """A small JPEG or PNG that declares an enormous picture, with its world file."""
    side = rnd.choice([65500, 65500, 65535, 50000, 30000])
    if rnd.random() < 0.5:
        b = bytearray(SMALL["jpg"])
        i = b.find(b"\xff\xc0")
        b[i + 5:i + 9] = side.to_bytes(2, "big") + rnd.choice([side, 65500, 1]).to_bytes(2, "big")
        return "bomba.jpg", bytes(b), "bomba.wld"
    # A whole PNG of 1 bit a pixel, or its first rows only, that deflate makes small.
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = rnd.choice([64, 4096])
    body = zlib.compress(bytes(rows * (1 + (side + 7) // 8)), 9)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 1, 0, 0, 0, 0)) +
           chunk(b"IDAT", body) + chunk(b"IEND", b""))
    return "bomba.png", png, "bomba.pgw"


VRT_BAND = ('<VRTDataset rasterXSize="{w}" rasterYSize="{h}"><SRS>EPSG:23030</SRS>'
            '<GeoTransform>440000,0.5,0,4478000,0,-0.5</GeoTransform><VRTRasterBand dataType="Byte" band="1"{sub}>'
            '{body}</VRTRasterBand></VRTDataset>')


def hostile_vrt(rnd):
    """A VRT that would read the secret, the environment or a piece of a file as pixels."""
    source = rnd.choice(["../secreto.txt", "/proc/self/environ", "/vsisubfile/0_40,../secreto.txt",
                         "/proc/self/cmdline", "/dev/zero", "secreto-aqui.txt", "/etc/passwd", "/vsicurl/http://127.0.0.1:9/x.tif"])
    relative = ' relativeToVRT="1"' if not source.startswith("/") else ""
    if rnd.random() < 0.5:
        body = (f"<SourceFilename{relative}>{source}</SourceFilename><ImageOffset>0</ImageOffset>"
                "<PixelOffset>1</PixelOffset><LineOffset>16</LineOffset>")
        return VRT_BAND.format(w=16, h=4, sub=' subClass="VRTRawRasterBand"', body=body)
    body = f"<SimpleSource><SourceFilename{relative}>{source}</SourceFilename><SourceBand>1</SourceBand></SimpleSource>"
    return VRT_BAND.format(w=16, h=4, sub="", body=body)


def looping_vrt(rnd, files):
    """VRTs that read themselves, each other, a device, a FIFO, a file of /proc, a file
    outside the folder, a path through the network or inside an archive, or that declare a
    huge size; returns the main one's name and the FIFOs to make."""
    def vrt(source, w=160, h=120, raw=False):
        relative = ' relativeToVRT="1"' if not source.startswith("/") else ""
        if raw:
            body = (f"<SourceFilename{relative}>{source}</SourceFilename><ImageOffset>0</ImageOffset>"
                    f"<PixelOffset>1</PixelOffset><LineOffset>{w}</LineOffset>")
            return VRT_BAND.format(w=w, h=h, sub=' subClass="VRTRawRasterBand"', body=body).encode()
        body = (f"<SimpleSource><SourceFilename{relative}>{source}</SourceFilename><SourceBand>1</SourceBand>"
                f'<SrcRect xOff="0" yOff="0" xSize="{w}" ySize="{h}"/><DstRect xOff="0" yOff="0" xSize="{w}" '
                f'ySize="{h}"/></SimpleSource>')
        return VRT_BAND.format(w=w, h=h, sub="", body=body).encode()
    what = rnd.choice(["self", "pair", "chain", "device", "fifo", "proc", "outside", "net", "zip", "huge"])
    raw = rnd.random() < 0.3
    fifos = []
    if what == "self":
        files["bucle.vrt"] = vrt("bucle.vrt", raw=raw)
    elif what == "pair":
        files["bucle.vrt"] = vrt("otro.vrt")
        files["otro.vrt"] = vrt(rnd.choice(["bucle.vrt", "./bucle.vrt", "../imagen/bucle.vrt"]))
    elif what == "chain":
        depth = rnd.choice([8, 40, 200])
        for k in range(depth):
            files[f"n{k}.vrt"] = vrt(f"n{k + 1}.vrt")
        files[f"n{depth}.vrt"] = vrt(rnd.choice(["n0.vrt", "orto.tif"]))
        files["orto.tif"] = SMALL["orto.tif"]
        files["bucle.vrt"] = files.pop("n0.vrt")
        files[f"n{depth}.vrt"] = files[f"n{depth}.vrt"].replace(b">n0.vrt<", b">bucle.vrt<")
    elif what == "device":
        files["bucle.vrt"] = vrt(rnd.choice(["/dev/zero", "/dev/urandom", "/dev/full", "/dev/stdin", "/dev/tty"]),
                                 raw=raw or rnd.random() < 0.5)
    elif what == "fifo":
        files["bucle.vrt"] = vrt("fuente.tif", raw=raw)
        fifos.append("fuente.tif")
    elif what == "proc":
        files["bucle.vrt"] = vrt(rnd.choice(["/proc/self/maps", "/proc/self/mem", "/proc/self/environ", "/proc/self/fd/0",
                                             "/proc/self/exe", "/proc/self/cwd/bucle.vrt", "/proc/kcore"]), raw=raw)
    elif what == "outside":
        files["bucle.vrt"] = vrt(rnd.choice(["../secreto.txt", "/etc/shadow", "/etc/hostname", "../../../../etc/passwd",
                                             "/tmp", "/"]), raw=raw)
    elif what == "net":
        files["bucle.vrt"] = vrt(rnd.choice(["/vsicurl/http://127.0.0.1:9/orto.tif", "/vsicurl/file:///etc/passwd",
                                             "/vsis3/cubo/orto.tif", "/vsistdin/", "/vsimem/x.tif"]))
    elif what == "zip":
        files["bucle.vrt"] = vrt(rnd.choice(["/vsizip/capa.zip/orto.tif", "/vsizip/../secreto.zip/x.tif",
                                             "/vsizip//vsizip/capa.zip/capa.zip/orto.tif", "/vsigzip/../secreto.txt",
                                             "/vsitar//dev/zero/x"]))
        files["capa.zip"] = b"PK\x05\x06" + bytes(18) if rnd.random() < 0.5 else SMALL["zip"]
    else:
        w, h = rnd.choice([(2147483647, 2147483647), (1 << 30, 1), (1, 1 << 30), (100000, 100000), (0, 0), (-1, 5)])
        files["bucle.vrt"] = vrt("orto.tif", w=w, h=h)
        files["orto.tif"] = SMALL["orto.tif"]
    return "bucle.vrt", fifos, f"VRT: {what}"


def case(seed, index, bases):
    """One case: its files, links and FIFOs, what was done, talpor-lote's options, input,
    output, and whether the input was cut short."""
    rnd = random.Random(seed * 1000003 + index)
    main = rnd.choice(sorted(bases))
    files = dict(bases[main])
    links, fifos, said = {}, [], []
    truncated = False
    output = "salida" + rnd.choice([".tif", ".tif", ".jpg", ".png", ".asc", "." + main.rsplit(".", 1)[1]])
    options = ["-m", "rejilla"] + rnd.choice([[], [], ["--remuestrear"], ["--formato=cog"]])
    kind = rnd.choice(["cut", "cut", "flip", "flip", "zeros", "insert", "header", "sidecar", "vrt", "vrt", "link",
                       "fifo", "fifo-out", "stdout", "lies", "lies", "lies", "geo", "geo", "loop", "loop", "loop",
                       "bomb", "aux", "aux", "signal"])
    if kind == "lies" or (kind == "geo" and rnd.random() < 0.3):
        main = rnd.choice([m for m in sorted(bases) if m.endswith(".tif")])
        files = dict(bases[main])
    target = main if main != "orto.vrt" else "orto.tif"
    data = files[target]
    if kind == "cut":
        files[target] = cut_short(rnd, data)
        truncated = main != "orto.vrt"  # a VRT's source cut short is found where its pixels are read
        said.append(f"{target} cut to {len(files[target])} of {len(data)} bytes")
    elif kind in ("flip", "zeros", "insert"):
        files[target] = {"flip": flip_bits, "zeros": zeros, "insert": insert_bytes}[kind](rnd, data)
        said.append(f"{target}: {kind}")
    elif kind == "header":
        files[target] = lying_header(rnd, target, data)
        said.append(f"{target}: its header lies")
    elif kind == "sidecar":
        side = [n for n in files if n != main and n != target]
        if side:
            name = rnd.choice(side)
            files[name] = rnd.choice([b"", cut_short(rnd, files[name] or b"x"), flip_bits(rnd, files[name] or b"x"),
                                      b"\xef\xbb\xbf\n\n" + files[name], b"/etc/passwd\n", b"http://127.0.0.1:9/x\n"])
            said.append(f"sidecar {name} spoilt")
    elif kind == "vrt":
        main = "hostil.vrt"
        files = {main: hostile_vrt(rnd).encode(), "secreto-aqui.txt": SECRET}
        said.append("hostile VRT")
    elif kind == "link":
        stem = target.rsplit(".", 1)[0]
        name = rnd.choice([target + ".aux.xml", target + ".ovr", target + ".msk", stem + ".prj", stem + ".wld",
                           stem + ".tfw", stem + ".jgw", stem + ".pgw", stem + ".hdr", stem + ".rrd"])
        files.pop(name, None)
        links[name] = rnd.choice(["../secreto.txt", "/proc/self/environ", "/etc/passwd"])
        said.append(f"{name} linked to {links[name]}")
    elif kind == "fifo":
        stem = target.rsplit(".", 1)[0]
        name = rnd.choice([main, stem + ".prj", stem + ".wld", target + ".aux.xml", stem + ".tfw", stem + ".hdr"])
        files.pop(name, None)
        fifos.append(name)
        said.append(f"{name} is a FIFO")
    elif kind == "fifo-out":
        fifos.append(output)
        said.append("the destination is a FIFO")
    elif kind == "stdout":
        links[output] = "/dev/stdout"
        said.append("the destination links to standard output")
    elif kind == "lies":
        files[target], what = tiff_lies(rnd, data)
        said.append(f"{target} lies: {what}")
    elif kind == "geo":
        worlds = [n for n in files if n.rsplit(".", 1)[1] in ("tfw", "wld", "jgw", "pgw")]
        if main.endswith(".tif") and not worlds:
            files[target], what = tiff_lies(rnd, data, (33550, 33922, 34264))
            said.append(f"{target}'s georeference lies: {what}")
        elif worlds and rnd.random() < 0.7:
            name = rnd.choice(worlds)
            files[name] = world_file(rnd)
            said.append(f"world file {name}: {files[name][:80]!r}")
            prjs = [n for n in files if n.endswith(".prj")]
            if prjs and rnd.random() < 0.4:
                files[prjs[0]] = lying_prj(rnd, files[prjs[0]])
                said.append(f"{prjs[0]} lies")
        elif [n for n in files if n.endswith(".prj")] and rnd.random() < 0.5:
            name = [n for n in files if n.endswith(".prj")][0]
            files[name] = lying_prj(rnd, files[name])
            said.append(f"{name} lies or is garbage")
        else:
            gt = ",".join(rnd.choice([["0"] * 6, ["nan"] * 6, ["1e308", "1e308", "0", "1e308", "0", "-1e308"],
                            ["440000", "-0.5", "0", "4478000", "0", "0.5"], ["440000", "0.5", "0.5", "4478000", "0.5", "-0.5"],
                            ["-2e7", "0.5", "0", "9e6", "0", "-0.5"], ["440000", "0", "0.5", "4478000", "-0.5", "0"],
                            ["440000", "5e-324", "0", "4478000", "0", "-5e-324"], ["inf", "0.5", "0", "-inf", "0", "-0.5"]]))
            main = "rara.vrt"
            files = {"orto.tif": SMALL["orto.tif"], main: VRT_BAND.format(
                w=W, h=H, sub="", body="<SimpleSource><SourceFilename relativeToVRT=\"1\">orto.tif</SourceFilename>"
                "<SourceBand>1</SourceBand></SimpleSource>").replace("440000,0.5,0,4478000,0,-0.5", gt).encode()}
            said.append(f"a VRT whose geotransform is {gt}")
    elif kind == "loop":
        files = {}
        main, fifos, what = looping_vrt(rnd, files)
        said.append(what)
    elif kind == "bomb":
        main, data, world = bomb(rnd)
        files = {main: data, world: b"0.5\n0\n0\n-0.5\n440000.25\n4477999.75\n"}
        if rnd.random() < 0.5:
            files[main.rsplit(".", 1)[0] + ".prj"] = bases["plano.tif"]["plano.prj"]
        said.append(f"{main} declares an enormous picture")
    elif kind == "aux":
        if rnd.random() < 0.35:
            main = target = rnd.choice(["orto.tif", "enorme.tif", "girada.tif"])
            files = dict(bases[main])
            files[main.rsplit(".", 1)[0] + ".tfw"] = rnd.choice([world_file(rnd), b"25\n0\n0\n-25\n200000\n4000000\n"])
            said.append(f"a .tfw beside {main}, which has its own georeference")
        else:
            files[target + ".aux.xml"] = aux_xml(rnd)
            said.append(f"{target}.aux.xml lies or is garbage")
    elif kind == "signal":
        main = "grande.tif"
        files = {main: SMALL["grande.tif"]}
        output = "salida" + rnd.choice([".tif", ".tif", ".img", ".png", ".jpg"])
        options = ["-m", "rejilla", "--tolerancia=0"] + rnd.choice([[], [], ["--remuestreo=lanczos"]] +
                                                                    ([["--formato=cog"]] if output.endswith(".tif") else []))
        said.append("interrupted")
    return main, files, links, fifos, said, options, output, truncated


# ---------------------------------------------------------------- checks


def pixels_hold_secret(path):
    """Whether GDAL's pixels of an image written hold the secret's bytes."""
    with tempfile.TemporaryDirectory(prefix="fuzz-rasters-px-") as t:
        raw = os.path.join(t, "p.raw")
        if subprocess.run(["gdal_translate", "-q", "-of", "ENVI", "-ot", "Byte", path, raw], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0 or not os.path.exists(raw):
            return False
        with open(raw, "rb") as f:
            return SECRET[:16] in f.read()


def check(binary, main, files, links, fifos, options, output, truncated):
    top = tempfile.mkdtemp(prefix="fuzz-rasters-")
    folder, logs = os.path.join(top, "imagen"), os.path.join(top, "informes")
    os.makedirs(folder)
    os.makedirs(logs)
    with open(os.path.join(top, "secreto.txt"), "wb") as f:
        f.write(SECRET)
    try:
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        for name, to in links.items():
            os.symlink(to, os.path.join(folder, name))
        for name in fifos:
            os.mkfifo(os.path.join(folder, name))
        status, problems, err, lines, reports = run_case(binary, options + [main, output], folder, logs,
                                                         ("Warning 1:", "ERROR 1:", "GDAL lleva"), TIMEOUT)
        for name, text in reports.items():
            blame = report_blame(text)
            if ".talpor-capas." not in name or blame in ("ours", "unknown", "sanitizer"):
                problems.append(f"sanitizer report {name} ({blame}): {first_error(text)}")
            elif status != 2 or len(lines) != 1:
                problems.append(f"GDAL failed in the worker ({first_error(text)}), and the run did not end in one "
                                "sentence, status 2")
        if truncated and status == 0:
            problems.append("status 0 for an image cut short")
        for line in lines:
            if not line.startswith(f"talpor-lote: {main}: "):
                problems.append(f"a line that does not name the input: «{line[:160]}»")
            elif not spanish(line):
                problems.append(f"GDAL's words in English, bare: «{line[:160]}»")
        if status == 2 and len(lines) != 1:
            problems.append(f"a run that could not convert says {len(lines)} lines, not one")
        if status == 0 and not any(": imagen de " in l for l in lines):
            problems.append("status 0 without the image's summary")
        after, hidden = what_is_left(folder, files, problems)
        new = sorted(after - set(files) - set(links) - set(fifos) - set(hidden))
        if status == 2 and new:
            problems.append(f"output written by a run that could not convert: {new}")
        if status in (0, 1) and output in new and stat.S_ISREG(os.lstat(os.path.join(folder, output)).st_mode):
            read = unreadable(os.path.join(folder, output))
            if read:
                problems.append(f"GDAL cannot read the output back: {read}")
        for name in sorted(after - set(hidden)):
            path = os.path.join(folder, name)
            if name in links or name in fifos or name == "secreto-aqui.txt" or not stat.S_ISREG(os.lstat(path).st_mode):
                continue
            with open(path, "rb") as f:
                if SECRET[:16] in f.read() or (name in new and name.startswith("salida") and pixels_hold_secret(path)):
                    problems.append(f"the secret's bytes in {name}")
        return status, problems, err, reports
    finally:
        shutil.rmtree(top, ignore_errors=True)


def unreadable(path):
    """What GDAL says reading every pixel of an image, when it cannot; None when it can."""
    run = subprocess.run(["gdalinfo", "-checksum", path], capture_output=True, text=True, errors="replace")
    if run.returncode != 0 or "ERROR" in run.stderr or "Checksum=" not in run.stdout:
        return (run.stderr.strip().splitlines() or ["(nothing)"])[0][:160]
    return None


def check_signal(binary, files, options, output, rnd):
    """A resampling run interrupted by SIGINT or SIGTERM at a random moment: it must end by
    that signal, leave no temporary file, no worker and no output half written (an output
    there must be whole, written before the signal came)."""
    top = tempfile.mkdtemp(prefix="fuzz-rasters-")
    folder, logs = os.path.join(top, "imagen"), os.path.join(top, "informes")
    os.makedirs(folder)
    os.makedirs(logs)
    sent = rnd.choice([signal.SIGINT, signal.SIGTERM])
    delay = rnd.uniform(0.05, 3.0)
    try:
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        # Popen leaves the signals at their defaults in the child, as a terminal's Ctrl+C finds them.
        p = subprocess.Popen([binary] + options + ["grande.tif", output], cwd=folder, env=environment(logs),
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(delay)
        late = p.poll() is not None
        if not late:
            p.send_signal(sent)
        problems = []
        try:
            _, err = p.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            _, err = p.communicate()
            problems.append(f"still running 30 s after {sent.name}")
        status = p.returncode
        try:
            err = err.decode("utf-8")
        except UnicodeDecodeError as e:
            problems.append(f"standard error is not UTF-8 ({e})")
            err = err.decode("utf-8", "replace")
        for mark in ("runtime error:", "AddressSanitizer", "LeakSanitizer", "terminate called", "error interno"):
            if mark in err:
                problems.append(f"standard error says «{mark}»")
        if status not in (0, -sent, 128 + sent):
            problems.append(f"ended with status {status}, not by {sent.name} after {delay:.2f} s")
        time.sleep(0.2)
        if workers_of(folder):
            problems.append("a worker still running")
        reports = {}
        for name in sorted(os.listdir(logs)):
            with open(os.path.join(logs, name), errors="replace") as f:
                reports[name] = f.read()
            blame = report_blame(reports[name])
            if ".talpor-capas." not in name or blame in ("ours", "unknown", "sanitizer"):
                problems.append(f"sanitizer report {name} ({blame}): {first_error(reports[name])}")
        after, hidden = what_is_left(folder, files, problems)
        for name in sorted(after - set(files) - set(hidden)):
            path = os.path.join(folder, name)
            if name == output and status == 0:
                read = unreadable(path)
                if read:
                    problems.append(f"GDAL cannot read the output back: {read}")
            elif name == output:
                # The signal came as the output was moved into place: it must be whole.
                read = unreadable(path)
                if read:
                    problems.append(f"{output} left half written after {sent.name} at {delay:.2f} s: {read}")
            elif status != 0:
                problems.append(f"{name} left after {sent.name} at {delay:.2f} s")
        if problems:
            problems.append(f"{sent.name} at {delay:.2f} s" + (" (after the run had ended)" if late else ""))
        return (status if not late else f"{status} (ended before the signal)"), problems, err, reports
    finally:
        shutil.rmtree(top, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", default="build/fuzz-rasters", help="where failing cases are kept")
    parser.add_argument("--formats", help="only the images of these extensions, apart by commas (jp2,img,...)")
    parser.add_argument("--cases", help="only these cases of the seed, by number, apart by commas (36,816): a kept failure again")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    cache = tempfile.mkdtemp(prefix="fuzz-rasters-bases-")
    try:
        bases = make_bases(cache)
        if args.formats:
            bases = {m: f for m, f in bases.items() if m.rsplit(".", 1)[1] in args.formats.split(",")}
    finally:
        shutil.rmtree(cache, ignore_errors=True)
    statuses = collections.Counter()
    kinds = collections.Counter()
    failures = 0

    def one(index):
        c = case(args.seed, index, bases)
        if c[4] == ["interrupted"]:
            return index, c, check_signal(binary, c[1], c[5], c[6], random.Random(args.seed * 7919 + index))
        return index, c, check(binary, c[0], c[1], c[2], c[3], c[5], c[6], c[7])

    indices = [int(n) for n in args.cases.split(",")] if args.cases else range(args.files)
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for index, (main_, files, links, fifos, said, options, output, _), result in pool.map(one, indices):
            status, problems, err, reports = result
            statuses[status] += 1
            if not problems:
                continue
            failures += 1
            kept = os.path.join(args.keep, f"caso-{index}")
            shutil.rmtree(kept, ignore_errors=True)
            os.makedirs(kept)
            for name, data in files.items():
                with open(os.path.join(kept, name), "wb") as f:
                    f.write(data)
            with open(os.path.join(kept, "LEEME.txt"), "w") as f:
                f.write(f"links: {links}\nFIFOs: {fifos}\n")
            for name, text in reports.items():
                with open(os.path.join(args.keep, f"caso-{index}.{name}"), "w") as f:
                    f.write(text)
            command = " ".join(["talpor-lote"] + options + [main_, output])
            print(shown(f"{kept}: {command} ({'; '.join(said)}), status {status}: {'; '.join(problems)}"))
            for line in err.rstrip("\n").split("\n")[:6]:
                print("    " + shown(line[:200]))
            for problem in problems:
                kinds[re.sub(r"«.*?»|\d+|\(.*\)", "…", problem)[:70]] += 1
    counts = ", ".join(f"{n} with status {s}" for s, n in sorted(statuses.items(), key=lambda x: str(x[0])))
    print(f"fuzz-rasters: {len(indices)} files (seed {args.seed}): {counts}; {failures} failing")
    for kind, n in kinds.most_common():
        print(f"    {n} × {kind}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
