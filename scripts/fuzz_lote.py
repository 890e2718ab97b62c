#!/usr/bin/env python3
"""Feeds talpor-lote (best a build with AddressSanitizer and UBSan) malformed point files
and checks what it promises on any input: exit status 0, 1 or 2; no sanitizer report,
abort or hang; no temporary output left in the folder; the input untouched; and, when
it converts, an output with every line of the input in its place that Python's csv
module reads back as one record for each record of the input, each error in its own
record (tests/batch/read_back.py).

The files are mutations of realistic CSV and text point files (long digit runs, random
bytes, stray quotes, quoted fields with line breaks, CRLF mixes, NUL bytes, huge lines,
broken UTF-8, missing columns, other separators, more records than a chunk holds),
drawn from a fixed seed so that a run can be repeated. A file that breaks a promise is
kept in the failures folder and its command line printed.

    scripts/fuzz_lote.py TALPOR_LOTE [--files N] [--seed S] [--jobs J] [--keep DIR]
"""
import argparse
import collections
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

READ_BACK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "batch", "read_back.py")
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:",
                   "terminate called", "Aborted", "Segmentation fault")
NAMES = ("P1", "Sol", "Vértice 12", "hito-3", "Casa \"grande\"", "Puerta, Sol", "Cañada", "Ñ", "")
HEADERS = (["id", "Latitud", "Longitud", "cota"], ["Punto", "lat", "lon"], ["Nombre", "Este", "Norte", "Huso"],
           ["x", "y"], ["Latitud", "Longitud"], ["Punto", "Coordenadas", "Altura"])


def degrees(rnd, comma):
    lat = rnd.uniform(35.5, 43.5)
    lon = rnd.uniform(-9.5, 4.5)
    form = rnd.randrange(4)
    if form == 0:
        a, b = f"{lat:.{rnd.randrange(1, 9)}f}", f"{lon:.{rnd.randrange(1, 9)}f}"
        if comma:
            a, b = a.replace(".", ","), b.replace(".", ",")
        return [a, b]
    if form == 1:
        def dms(v, pos, neg):
            v2 = abs(v)
            d = int(v2)
            m = int((v2 - d) * 60)
            s = ((v2 - d) * 60 - m) * 60
            return f"{d}º {m}' {s:.2f}\" {pos if v >= 0 else neg}"
        return [dms(lat, "N", "N"), dms(lon, "E", "W")]
    if form == 2:
        return [f"{rnd.choice(['29', '30', '31'])}T", f"{rnd.uniform(200000, 800000):.2f}",
                f"{rnd.uniform(3900000, 4800000):.2f}"]
    return [f"{lat:.5f} {lon:.5f}"]


def realistic(rnd):
    sep = rnd.choice([";", ",", "\t", " ", "  "])
    comma = sep != "," and rnd.random() < 0.5
    end = rnd.choice(["\n", "\r\n"])
    lines = []
    if rnd.random() < 0.6:
        lines.append(sep.join(rnd.choice(HEADERS)))
    for _ in range(rnd.randrange(1, 60)):
        fields = []
        if rnd.random() < 0.5:
            name = rnd.choice(NAMES)
            if sep in name or '"' in name or rnd.random() < 0.2:
                name = '"' + name.replace('"', '""') + '"'
            fields.append(name if sep.strip() else name.replace(" ", "_"))
        fields += degrees(rnd, comma)
        if rnd.random() < 0.4:
            fields.append(f"{rnd.uniform(-100, 2500):.1f}")
        lines.append(sep.join(fields))
    text = end.join(lines) + (end if rnd.random() < 0.9 else "")
    return text.encode("utf-8")


def long_digits(rnd, data):
    run = b"9" * rnd.choice([17, 308, 309, 400, 1000, 5000])
    if rnd.random() < 0.3:
        run = rnd.choice([b"0.", b"-", b"1e", b"40."]) + run
    return insert_at_digit(rnd, data, run)


def insert_at_digit(rnd, data, piece):
    spots = [i for i, c in enumerate(data) if 48 <= c <= 57]
    at = rnd.choice(spots) if spots else rnd.randrange(len(data) + 1)
    return data[:at] + piece + data[at:]


def random_bytes(rnd, data):
    data = bytearray(data)
    for _ in range(rnd.randrange(1, 20)):
        if data:
            data[rnd.randrange(len(data))] = rnd.randrange(256)
    return bytes(data)


def stray_quote(rnd, data):
    at = rnd.randrange(len(data) + 1)
    return data[:at] + rnd.choice([b'"', b'"\n', b'\n"', b'""', b'"""']) + data[at:]


def crlf_mix(rnd, data):
    out = bytearray()
    for c in data:
        if c == 10 and rnd.random() < 0.5:
            out += rnd.choice([b"\r\n", b"\r", b"\n\r", b"\r\r\n"])
        else:
            out.append(c)
    return bytes(out)


def nul(rnd, data):
    at = rnd.randrange(len(data) + 1) if rnd.random() < 0.5 else len(data) + 1
    return data[:at] + b"\0" * rnd.randrange(1, 3) + data[at:]


def huge_line(rnd, data):
    size = rnd.choice([70000, 1 << 20, (2 << 20) - 10, (2 << 20) + 10, 3 << 20])
    piece = rnd.choice([b"x", b"1", b";", b" ", b'"']) * size
    at = data.find(b"\n", rnd.randrange(len(data) + 1))
    at = len(data) if at < 0 else at
    return data[:at] + piece + data[at:]


def broken_utf8(rnd, data):
    piece = rnd.choice([b"\xc3", b"\xba", b"\xff\xfe", b"\xe2\x80", b"\xc0\xaf", b"\xed\xa0\x80", b"\xf4\x90\x80\x80"])
    at = rnd.randrange(len(data) + 1)
    return data[:at] + piece + data[at:]


def missing_column(rnd, data):
    lines = data.split(b"\n")
    i = rnd.randrange(len(lines))
    for sep in (b";", b",", b"\t", b" "):
        if sep in lines[i]:
            fields = lines[i].split(sep)
            del fields[rnd.randrange(len(fields))]
            lines[i] = sep.join(fields)
            break
    return b"\n".join(lines)


def other_separator(rnd, data):
    a, b = rnd.sample([b";", b",", b"\t", b" ", b"|"], 2)
    return data.replace(a, b, rnd.randrange(1, 50))


def numbers(rnd, data):
    return insert_at_digit(rnd, data, rnd.choice([b"1e309", b"-", b"nan", b"inf", b"0x1p9999", b".", b",,",
                                                  b"\xc2\xba\xc2\xba", b"''", b"-0", b"+", b"1.7976931348623157e308"]))


def lines_shuffled(rnd, data):
    lines = data.split(b"\n")
    op = rnd.randrange(3)
    if op == 0 and lines:
        i = rnd.randrange(len(lines))
        lines[i:i] = [lines[i]] * rnd.randrange(1, 200)
    elif op == 1:
        lines = [l for l in lines if rnd.random() < 0.7]
    else:
        lines.insert(rnd.randrange(len(lines) + 1), rnd.choice([b"nota;x", b"", b"   ", b";;;;", b'"', b"\xef\xbb\xbf"]))
    return b"\n".join(lines)


def multiline_field(rnd, data):
    """A quoted field with line breaks at the start of a field."""
    spots = [i + 1 for i, c in enumerate(data) if c in b";,\t\n"] or [0]
    at = rnd.choice(spots)
    body = rnd.choice([b"\n", b"\r\n"]).join(b"linea %d" % k for k in range(rnd.randrange(2, 70)))
    return data[:at] + b'"' + body + rnd.choice([b'"', b'""', b""]) + data[at:]


def many_records(rnd, data):
    """More records than a chunk holds, so that records meet the chunks' ends."""
    lines = data.split(b"\n")
    out = []
    while len(out) < 9000:
        out.append(rnd.choice(lines))
        if rnd.random() < 0.02:
            out.append(b'P;"' + b"\n" * rnd.randrange(1, 60) + b'";40.1;-3.7')
    return b"\n".join(out)


def truncated(rnd, data):
    return data[:rnd.randrange(len(data) + 1)]


# Mutations and their weights: a NUL byte early in a file stops the run at once, and huge
# lines and many records are slow under the sanitizers, so these are rare.
MUTATIONS = {long_digits: 4, random_bytes: 2, stray_quote: 4, crlf_mix: 2, nul: 0.3, huge_line: 0.3,
             broken_utf8: 2, missing_column: 2, other_separator: 2, numbers: 3, lines_shuffled: 2, truncated: 1,
             multiline_field: 3, many_records: 0.3}
OPTIONS = ([], [], [], ["-a", "4"], ["-a", "cota"], ["--huso=30"], ["-c", "2,3"], ["-c", "Latitud,Longitud"],
           ["--separador=;"], ["--separador=espacios"], ["--sin-cabecera"], ["--cabecera"], ["--punto"],
           ["-s", "ed50-wgs84"], ["-m", "molodensky-ign"], ["--salida=gd,utm,altura", "-a", "3"], ["-e", "utm"],
           ["-m", "rejilla"], ["--salida=altitud", "-a", "4"])


def case(seed, index):
    rnd = random.Random(seed * 1000003 + index)
    data = realistic(rnd)
    for mutation in rnd.choices(list(MUTATIONS), weights=list(MUTATIONS.values()), k=rnd.randrange(1, 5)):
        data = mutation(rnd, data)
    options = list(rnd.choice(OPTIONS))
    standard = rnd.random() < 0.1
    return data, options, standard


# A count of the summary, its thousands grouped by points: "1.010.000".
COUNT = r"\d{1,3}(?:\.\d{3})*"


def number(count):
    return int(count.replace(".", ""))


def read_back(output, err):
    """What breaks in the output read back by Python's csv module: the records that are not
    blank must be the summary's rows (converted, failed and the header), each error in
    its own record and each note the summary counts in the Aviso field of a record
    without error. A comma-separated table is written with ";" where its decimal sign is
    the comma, which the summary does not say: either reading must hold then."""
    summary = err[err.rfind("talpor-lote: "):]
    if "; fichero " in summary:  # a GPS file, read as its points
        return []
    counts = re.search(rf"({COUNT}) filas? convertidas?(?:, ({COUNT}) con error)?", summary)
    converted, failed = (number(counts[1]), number(counts[2] or "0")) if counts else (0, 0)
    records = converted + failed + bool(re.search("cabecera en la fila|solo hay cabecera", summary))
    more = re.search(rf"^\.\.\. y ({COUNT}) avisos? más$", err, re.M)
    notes = len(re.findall(r"^(?:entrada\.csv|entrada estándar):\d+: aviso: ", err, re.M)) + (number(more[1]) if more else 0)
    separator = re.search("separador («.»|tabulador|espacios)", summary)
    separators = {"«;»": ";", "«,»": ",;"}.get(separator[1], "\t") if separator else ";,\t"
    said = ""
    for sep in separators:
        run = subprocess.run([sys.executable, READ_BACK, "-", sep, output, f"records {records} {failed} {notes}"],
                             capture_output=True, text=True)
        if run.returncode == 0:
            return []
        said = said or run.stdout.strip().replace("\n", "; ") or run.stderr.strip()[-300:]
    return [f"read back by Python's csv module: {said}"]


def check(binary, data, options, standard):
    """Runs one case in a fresh folder; returns its exit status, what it broke and its standard error."""
    folder = tempfile.mkdtemp(prefix="fuzz-lote-")
    try:
        source = os.path.join(folder, "entrada.csv")
        with open(source, "wb") as f:
            f.write(data)
        if standard:
            with open(source, "rb") as i, open(os.path.join(folder, "salida.csv"), "wb") as o:
                run = subprocess.run([binary] + options, stdin=i, stdout=o, stderr=subprocess.PIPE,
                                     cwd=folder, timeout=120)
        else:
            run = subprocess.run([binary] + options + ["entrada.csv", "salida.csv"], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder, timeout=120)
        err = run.stderr.decode("utf-8", "replace")
        problems = []
        if run.returncode not in (0, 1, 2):
            problems.append(f"exit status {run.returncode}")
        problems += [f"standard error says «{m}»" for m in SANITIZER_MARKS if m in err]
        with open(source, "rb") as f:
            if f.read() != data:
                problems.append("the input changed")
        left = sorted(set(os.listdir(folder)) - {"entrada.csv", "salida.csv"})
        if left:
            problems.append(f"files left behind: {left}")
        output = os.path.join(folder, "salida.csv")
        if run.returncode in (0, 1):
            if not os.path.exists(output):
                problems.append("no output")
            else:
                with open(output, "rb") as f:
                    out = f.read()
                lines_in, lines_out = data.count(b"\n"), out.count(b"\n")
                if lines_out != lines_in:
                    problems.append(f"{lines_in} line ends in, {lines_out} out")
                problems += read_back(output, err)
        elif run.returncode == 2 and not standard and os.path.exists(output):
            problems.append("output written by a run that could not convert")
        if run.returncode == 2 and len(err.strip().splitlines()) != 1:
            problems.append("a run that could not convert says more or less than one line")
        return run.returncode, problems, err
    except subprocess.TimeoutExpired:
        return None, ["still running after two minutes"], ""
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", default="build/fuzz-lote", help="where failing files are kept")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    statuses = collections.Counter()
    failures = 0

    def one(index):
        data, options, standard = case(args.seed, index)
        return index, data, options, standard, check(binary, data, options, standard)

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for index, data, options, standard, (status, problems, err) in pool.map(one, range(args.files)):
            statuses[status] += 1
            if not problems:
                continue
            failures += 1
            os.makedirs(args.keep, exist_ok=True)
            name = os.path.join(args.keep, f"caso-{index}.csv")
            with open(name, "wb") as f:
                f.write(data)
            command = " ".join(options) + (" < FILE" if standard else " FILE salida.csv")
            print(f"{name}: talpor-lote {command}: {'; '.join(problems)}")
            for line in err.splitlines()[:8]:
                print("    " + line[:200])
    counts = ", ".join(f"{n} with status {s}" for s, n in sorted(statuses.items(), key=lambda x: str(x[0])))
    print(f"fuzz-lote: {args.files} files (seed {args.seed}): {counts}; {failures} failing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
