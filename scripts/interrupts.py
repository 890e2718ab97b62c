#!/usr/bin/env python3
"""Interrupts talpor-lote's layer runs at random moments and checks that each ends as the
signal says with nothing left behind: no temporary folder or file beside the destination,
no half-written destination, and no worker (talpor-capas) still running.

Each run converts a GeoPackage of a few thousand polygons, made once with ogr2ogr, to a
shapefile, a GeoPackage, KML, a CSV table or a folder of shapefiles, and gets SIGINT or
SIGTERM after a random delay; a third of them get the same signal again a moment later,
as a second Ctrl+C. Fixed seed, so that a run can be repeated.

    scripts/interrupts.py TALPOR_LOTE [--runs N] [--seed S]
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def workers_of(folder):
    """The talpor-capas processes whose command line names `folder`."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().decode("utf-8", "replace")
        except OSError:
            continue
        if "talpor-capas" in command and folder in command:
            found.append(pid)
    return found


def whole(folder, name):
    """Whether an output holds the 4000 features (a table, their 52000 vertices)."""
    path = os.path.join(folder, name)
    if name.endswith(".csv"):
        with open(path, encoding="utf-8") as f:
            return sum(1 for _ in f) == 1 + 4000 * 13
    listing = subprocess.run(["ogrinfo", "-ro", "-so", "-al", path], capture_output=True, text=True).stdout
    return "Feature Count: 4000" in listing


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("lote")
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    lote = os.path.realpath(args.lote)
    rnd = random.Random(args.seed)
    folder = tempfile.mkdtemp(prefix="talpor-interrupts-")
    try:
        rows = ["id,WKT"]
        for i in range(4000):
            e, n = rnd.uniform(300000, 700000), rnd.uniform(4100000, 4700000)
            ring = ",".join(f"{e + 50 * k:.2f} {n + 30 * (k % 3):.2f}" for k in range(12))
            rows.append(f'{i},"POLYGON (({ring},{e:.2f} {n:.2f}))"')
        with open(os.path.join(folder, "montes.csv"), "w") as f:
            f.write("\n".join(rows) + "\n")
        subprocess.run(["ogr2ogr", "-q", "-f", "GPKG", "montes.gpkg", "montes.csv", "-oo", "GEOM_POSSIBLE_NAMES=WKT",
                        "-a_srs", "EPSG:23030", "-nln", "montes"], cwd=folder, check=True)
        broken = []
        for run in range(args.runs):
            output = rnd.choice(["x.shp", "x.gpkg", "x.kml", "x.csv", "carpeta"])
            command = [lote, "-m", "helmert", "montes.gpkg"] + (["--formato=shp"] if output == "carpeta" else []) + [output]
            p = subprocess.Popen(command, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(rnd.uniform(0, 1.0))
            sent = rnd.choice([signal.SIGINT, signal.SIGTERM])
            p.send_signal(sent)
            if rnd.random() < 1 / 3:
                time.sleep(rnd.uniform(0, 0.05))
                try:
                    p.send_signal(sent)
                except ProcessLookupError:
                    pass
            try:
                status = p.wait(timeout=30)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                broken.append(f"run {run} ({output}): still running 30 s after {sent.name}")
                continue
            time.sleep(0.2)
            left = sorted(n for n in os.listdir(folder) if n.startswith("."))
            if left:
                broken.append(f"run {run} ({output}): left {left}")
            if status not in (0, -sent):
                broken.append(f"run {run} ({output}): ended with status {status}, not by {sent.name}")
            # A signal that came as the files were moved into place waits for them: a
            # destination there is whole.
            for name in ("x.shp", "x.gpkg", "x.kml", "x.csv"):
                if os.path.exists(os.path.join(folder, name)) and not whole(folder, name):
                    broken.append(f"run {run} ({output}): {name} left incomplete")
            if workers_of(folder):
                broken.append(f"run {run} ({output}): a worker still running")
            for name in os.listdir(folder):
                if name not in ("montes.csv", "montes.gpkg"):
                    path = os.path.join(folder, name)
                    shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        for line in broken:
            print(line)
        print(f"interrupts: {args.runs} runs interrupted, {len(broken)} broke a promise")
        return 1 if broken else 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
