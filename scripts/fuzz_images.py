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
ED50 UTM 30 orthophoto as a tiled DEFLATE GeoTIFF, a plain TIFF with its .tfw and .prj, a
JPEG with its world file, a PNG with its .pgw and .prj, an elevation model as an ASCII
grid, a VRT of the GeoTIFF, a lossless JPEG 2000, an Erdas Imagine elevation model, an
ENVI and an Esri .hdr labelled raster and an XYZ grid. Each case copies one and damages it as files get
damaged, or as an attacker would make them: cut short, bits flipped, runs of zeros, bytes
changed or inserted, a header declaring huge sizes, a sidecar emptied, cut or lying, a
VRT whose band is a raw file or whose source is /proc/self/environ, a /vsisubfile/ or the
secret, a sidecar that is a link to the secret, a FIFO as the image, a sidecar or the
destination, a destination linked to standard output. The cases are drawn from a fixed
seed; a case that breaks a promise is kept in the failures folder and its command line
printed.

    scripts/fuzz_images.py TALPOR_LOTE [--files N] [--seed S] [--jobs J] [--keep DIR] [--formats jp2,img,...]
"""
import argparse
import collections
import concurrent.futures
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fuzz_layers import first_error, report_blame, run_case, shown, spanish, what_is_left  # noqa: E402

TIMEOUT = 60  # seconds a case may take; a FIFO must be refused at once, not at the watchdog
SECRET = b"SECRETO-fuzz-7f3a9c-" + bytes(range(32, 127))
W, H = 160, 120


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
    prj = subprocess.run(["gdalsrsinfo", "-o", "wkt_esri", "EPSG:23030"], capture_output=True, check=True).stdout.strip()
    for name in ("plano.prj", "mapa.prj", "mdt.prj"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(prj + b"\n")
    for extra in ("plano.tif.aux.xml", "mapa.png.aux.xml"):
        if os.path.exists(os.path.join(folder, extra)):
            os.remove(os.path.join(folder, extra))
    bases = {}
    for main in ("orto.tif", "plano.tif", "foto.jpg", "mapa.png", "mdt.asc", "orto.vrt", "vuelo.jp2", "relieve.img",
                 "escena.dat", "banda.bil", "malla.xyz"):
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
                       "fifo", "fifo-out", "stdout"])
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
    return main, files, links, fifos, said, options, output, truncated


# ---------------------------------------------------------------- checks


def pixels_hold_secret(path):
    """Whether GDAL's pixels of an image written hold the secret's bytes."""
    with tempfile.TemporaryDirectory(prefix="fuzz-images-px-") as t:
        raw = os.path.join(t, "p.raw")
        if subprocess.run(["gdal_translate", "-q", "-of", "ENVI", "-ot", "Byte", path, raw], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0 or not os.path.exists(raw):
            return False
        with open(raw, "rb") as f:
            return SECRET[:16] in f.read()


def check(binary, main, files, links, fifos, options, output, truncated):
    top = tempfile.mkdtemp(prefix="fuzz-images-")
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--files", type=int, default=500)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", default="build/fuzz-images", help="where failing cases are kept")
    parser.add_argument("--formats", help="only the images of these extensions, apart by commas (jp2,img,...)")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    cache = tempfile.mkdtemp(prefix="fuzz-images-bases-")
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
        return index, c, check(binary, c[0], c[1], c[2], c[3], c[5], c[6], c[7])

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for index, (main_, files, links, fifos, said, options, output, _), result in pool.map(one, range(args.files)):
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
    print(f"fuzz-images: {args.files} files (seed {args.seed}): {counts}; {failures} failing")
    for kind, n in kinds.most_common():
        print(f"    {n} × {kind}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
