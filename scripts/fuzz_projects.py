#!/usr/bin/python3
"""Feeds talpor-lote (best a build with AddressSanitizer and UBSan) damaged QGIS projects,
each converted alone with the files of its folder (talpor-lote --destino=etrs89-utm30
obra/PROJECT SALIDA), and checks what it promises of any project: exit status 0, 1 or
2, never a signal or a hang; no sanitizer report; a standard error in UTF-8 made of the
program's own lines; the project either refused in one line ("rechazado: ...") with
nothing written of it, or written whole as well-formed XML (xmllint; a .qgz a ZIP
whose every member reads) with its summary line; no temporary file left.

The projects are made once by QGIS (tests/batch/qgis_projects.py make: a .qgz with
relative paths and a .qgs with absolute ones, ED50 layers, a WMS layer, a view, a
bookmark, a layout). Each case damages one as projects get damaged or written by other
hands: cut short, bits flipped, a tag or a closing tag gone, a block repeated, numbers
made huge, negative, NaN or words, entities and character references spoilt, attributes
repeated or unquoted, elements nested deep, the version changed, sources pointed at
nothing, at folders, at /dev/zero or at the project itself, a .qgz's directory cut or
flipped, its .qgs member missing, doubled or stored. The cases come from a fixed seed;
one that breaks a promise is kept in the failures folder.

    scripts/fuzz_projects.py TALPOR_LOTE [--files N] [--seed S] [--jobs J] [--keep DIR]
"""
import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
TIMEOUT = 60


def damage_xml(text, rng):
    kind = rng.choice(["cut", "flip", "tag", "close", "repeat", "number", "entity", "attribute", "deep", "version",
                       "source", "srs", "empty"])
    if kind == "cut":
        return kind, text[:rng.randrange(len(text))]
    if kind == "flip":
        b = bytearray(text.encode())
        for _ in range(rng.randint(1, 20)):
            b[rng.randrange(len(b))] ^= 1 << rng.randrange(8)
        return kind, b.decode("utf-8", "surrogateescape")
    tags = [m.start() for m in re.finditer(r"<[a-zA-Z]", text)]
    if kind == "tag":
        at = rng.choice(tags)
        return kind, text[:at] + text[text.index(">", at) + 1:]
    if kind == "close":
        closes = [m.start() for m in re.finditer(r"</", text)]
        at = rng.choice(closes)
        return kind, text[:at] + text[text.index(">", at) + 1:]
    if kind == "repeat":
        a = rng.choice(tags)
        b = min(len(text), a + rng.randint(10, 5000))
        return kind, text[:b] + text[a:b] + text[b:]
    if kind == "number":
        nums = list(re.finditer(r"-?\d+(\.\d+)?", text))
        for m in rng.sample(nums, min(len(nums), rng.randint(1, 30))):
            text = text[:m.start()] + rng.choice(["1e308", "-1e308", "nan", "inf", "-0", "abc", "", "1,5",
                                                   "99999999999999999999", "0x10"]) + text[m.end():]
        return kind, text
    if kind == "entity":
        at = rng.randrange(len(text))
        return kind, text[:at] + rng.choice(["&", "&foo;", "&#0;", "&#xD800;", "&#x110000;", "&#99999999999;",
                                             "&amp", "<![CDATA[", "]]>", "<!--", "<?x"]) + text[at:]
    if kind == "attribute":
        at = text.index(">", rng.choice(tags))
        return kind, text[:at] + rng.choice([' a="1" a="2"', " b=3", ' c="<"', " =\"x\"", ' d="' + "x" * 100000 + '"',
                                             "".join(' n%d="%d"' % (i, i) for i in range(5000))]) + text[at:]
    if kind == "deep":
        at = text.index(">", rng.choice(tags)) + 1
        n = rng.choice([100, 5000, 100000])
        return kind, text[:at] + "<a>" * n + "</a>" * n + text[at:]
    if kind == "version":
        return kind, re.sub(r'version="[^"]*"', 'version="%s"' % rng.choice(["2.18.0", "4.0", "", "3.x", "ñ"]), text, 1)
    if kind == "source":
        target = rng.choice(["", "/dev/zero", ".", "..", "./nada.shp", "/", "./mapa.qgz", "./absoluto.qgs", "GPKG:x:y",
                             "/vsizip/x.zip/a.shp", "C:/datos/a.shp", "./capas/parcelas.shp|layername=" + "x" * 5000,
                             "./capas"])
        sources = list(re.finditer(r"<datasource>[^<]*</datasource>", text))
        m = rng.choice(sources)
        return kind, text[:m.start()] + "<datasource>" + target + "</datasource>" + text[m.end():]
    if kind == "srs":
        return kind, re.sub(r"EPSG:23030", rng.choice(["EPSG:", "EPSG:999999999", "IGNF:x", "EPSG:4230", "EPSG:32631"]),
                            text, count=rng.randint(1, 5))
    return kind, ""


def damage_zip(path, text, rng):
    kind = rng.choice(["xml", "xml", "xml", "directory", "flip", "member", "stored", "two"])
    if kind in ("xml", "member", "stored", "two"):
        with zipfile.ZipFile(path) as z:
            members = {n: z.read(n) for n in z.namelist()}
        what = ""
        if kind == "xml":
            what, text = damage_xml(text, rng)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED if kind == "stored" else zipfile.ZIP_DEFLATED) as z:
            for n, data in members.items():
                if n.endswith(".qgs") and kind == "member":
                    continue
                z.writestr(n, text.encode("utf-8", "surrogateescape") if n.endswith(".qgs") else data)
                if n.endswith(".qgs") and kind == "two":
                    z.writestr("otro.qgs", data)
        return kind + (":" + what if what else "")
    b = bytearray(open(path, "rb").read())
    if kind == "directory":
        b = b[:len(b) - rng.randint(1, 60)]
    else:
        for _ in range(rng.randint(1, 10)):
            b[rng.randrange(len(b))] ^= 1 << rng.randrange(8)
    open(path, "wb").write(bytes(b))
    return kind


def well_formed(path):
    if path.endswith(".qgz"):
        try:
            with zipfile.ZipFile(path) as z:
                if z.testzip() is not None:
                    return False
                xml = z.read([n for n in z.namelist() if n.endswith(".qgs")][0])
        except Exception:
            return False
        return subprocess.run(["xmllint", "--noout", "--huge", "-"], input=xml, capture_output=True).returncode == 0
    return subprocess.run(["xmllint", "--noout", "--huge", path], capture_output=True).returncode == 0


def run_case(lote, base, i, seed, keep):
    rng = random.Random(seed * 100003 + i)
    work = tempfile.mkdtemp(prefix="talpor-fuzz-qgis-")
    try:
        shutil.copytree(base, work + "/obra")
        name = rng.choice(["mapa.qgz", "absoluto.qgs"])
        path = work + "/obra/" + name
        if name.endswith(".qgz"):
            with zipfile.ZipFile(path) as z:
                text = z.read("mapa.qgs").decode()
            kind = damage_zip(path, text, rng)
        else:
            kind, text = damage_xml(open(path, encoding="utf-8").read(), rng)
            open(path, "w", encoding="utf-8", errors="surrogateescape").write(text)
        args = [lote, "--destino=etrs89-utm30", "obra/" + name, "salida"]
        try:
            r = subprocess.run(args, cwd=work, capture_output=True, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            return fail(keep, work, i, kind, "still running after %d s" % TIMEOUT)
        err = r.stderr.decode("utf-8", "replace")
        problems = []
        if r.returncode not in (0, 1, 2):
            problems.append("exit status %d" % r.returncode)
        if "Sanitizer" in err or "runtime error:" in err:
            problems.append("a sanitizer report")
        try:
            r.stderr.decode("utf-8")
        except UnicodeDecodeError:
            problems.append("standard error is not UTF-8")
        if any(line and not line.startswith("talpor-lote: ") for line in err.split("\n")):
            problems.append("lines that are not the program's")
        out = work + "/salida/" + name
        if os.path.exists(out):
            if not well_formed(out):
                problems.append("the project written does not read")
            if "obra/%s: proyecto de QGIS: " % name not in err:
                problems.append("no summary of the project written")
        elif r.returncode != 2 and "obra/%s: rechazado: " % name not in err:
            problems.append("neither written nor refused")
        leftovers = [f for f in os.listdir(work + "/salida")] if os.path.isdir(work + "/salida") else []
        if any(f.startswith(".") for f in leftovers):
            problems.append("temporary files left: %s" % leftovers)
        if problems:
            return fail(keep, work, i, kind, "; ".join(problems) + "\n" + err[-2000:])
        return None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def fail(keep, work, i, kind, why):
    target = os.path.join(keep, "caso-%d" % i)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(work + "/obra", target)
    return "case %d (%s): %s" % (i, kind, why)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("lote")
    p.add_argument("--files", type=int, default=300)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    p.add_argument("--keep", default="build/fuzz-projects")
    a = p.parse_args()
    lote = os.path.abspath(a.lote)
    os.makedirs(a.keep, exist_ok=True)
    made = tempfile.mkdtemp(prefix="talpor-fuzz-qgis-base-")
    subprocess.run(["/usr/bin/python3", HERE + "/../tests/batch/qgis_projects.py", "make", made], check=True,
                   capture_output=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    failures = []
    with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
        for f in pool.map(lambda i: run_case(lote, made + "/obra", i, a.seed, a.keep), range(a.files)):
            if f:
                failures.append(f)
                print(f, flush=True)
    shutil.rmtree(made, ignore_errors=True)
    print("%d projects, %d failing" % (a.files, len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
