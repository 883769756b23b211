#!/usr/bin/env python3
"""misura-libreria as a user runs it: a short real run against the stand-in
library with every export read back by Python's own parsers, a scan with its
plot, the library named by a bare name, and the numbered errors and usage
errors. Usage: misura_test.py TOOL STAND_IN FAULTING_LIBRARY WORK_FOLDER"""
import csv
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

tool, stand_in, faulting, work = (os.path.abspath(a) for a in sys.argv[1:5])
os.makedirs(work, exist_ok=True)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(*args, cwd=work):
    return subprocess.run([tool, *args], cwd=cwd, capture_output=True, text=True, timeout=120)


FIELDS = ["conversion", "method", "bytes", "runs", "mean", "stddev", "median", "min", "max", "times"]
CASES = {(c, m) for c in ("bytes-to-text", "text-to-bytes") for m in ("library", "in-program")}

# A short run with every export.
out = {k: os.path.join(work, "r." + k) for k in ("json", "csv", "md")}
r = run("--runs", "3", "--warmup", "1", "--bytes", "64", "--export-json", out["json"],
        "--export-csv", out["csv"], "--export-markdown", out["md"], stand_in)
check(r.returncode == 0, f"short run failed: {r.returncode} {r.stderr}")
check(r.stdout.startswith("Library: " + os.path.realpath(stand_in) + "\n"), "output does not start with the path: " + r.stdout[:200])
check("of which binding" in r.stdout and "times faster" in r.stdout, "no first call or comparison: " + r.stdout)
check(r.stderr == "", "something on stderr: " + r.stderr)

data = json.load(open(out["json"]))
check(data["library"] == os.path.realpath(stand_in), "json library path")
results = data["results"]
check({(x["conversion"], x["method"]) for x in results} == CASES, "json cases")
for x in results:
    check(all(f in x for f in FIELDS), f"json fields missing in {x.keys()}")
    t = x["times"]
    check(len(t) == x["runs"] == 3 and x["bytes"] == 64, "json runs")
    check(x["min"] == min(t) and x["max"] == max(t) and x["median"] == sorted(t)[1], "json summary vs times")
    check(abs(x["mean"] - sum(t) / 3) <= 1e-9 * max(1.0, x["mean"]) + 1e-12, "json mean")
    check((x["first_call"] is not None) == (x["method"] == "library"), "json first call")
    check((x["first_call_binding"] is not None) == (x["method"] == "library")
          and (x["first_call_binding"] or 0) <= (x["first_call"] or 0), "json first call's binding")

rows = list(csv.DictReader(open(out["csv"], newline="")))
check(len(rows) == 4 and list(rows[0].keys()) == FIELDS, "csv header or rows")
for row, x in zip(rows, results):
    check((row["conversion"], row["method"]) == (x["conversion"], x["method"]), "csv order")
    check([float(v) for v in row["times"].split()] == x["times"], "csv times differ from json")
    check(all(float(row[f]) == x[f] for f in ("mean", "stddev", "median", "min", "max")), "csv summary")

table = [l for l in open(out["md"], encoding="utf-8").read().splitlines() if l.startswith("|")]
cells = [[c.strip() for c in l.strip("|").split("|")] for l in table]
check(len(cells) == 6 and all(len(c) == 9 for c in cells), "markdown table shape")
check({(c[0], c[1]) for c in cells[2:]} == CASES, "markdown cases")
# Relative to the faster method of the same conversion: 1.00 for it, "r ± u" with r >= 1 for the other.
means = {(x["conversion"], x["method"]): x["mean"] for x in results}
for c in cells[2:]:
    other = means[(c[0], "in-program" if c[1] == "library" else "library")]
    if means[(c[0], c[1])] <= other:
        check(c[8] == "1.00", f"markdown relative of the faster {c[:2]}: {c[8]}")
    else:
        value, _, uncertainty = c[8].partition(" ± ")
        check(float(value) >= 1 and float(uncertainty) >= 0, f"markdown relative of the slower {c[:2]}: {c[8]}")

# A scan with its plot: a table per size and the exponents.
svg = os.path.join(work, "q.svg")
r = run("--scan", "16:256:3", "--runs", "2", "--warmup", "0", "--plot", svg, "--export-json", out["json"], stand_in)
check(r.returncode == 0, f"scan failed: {r.stderr}")
for size in ("16 bytes", "64 bytes", "256 bytes", "Growth"):
    check(size in r.stdout, f"scan output lacks '{size}'")
data = json.load(open(out["json"]))
check(sorted({x["bytes"] for x in data["results"]}) == [16, 64, 256], "scan sizes")
check({(g["conversion"], g["method"]) for g in data["growth"]} == CASES, "scan exponents")
plot = ET.parse(svg).getroot()
check(plot.tag.endswith("svg") and len(plot.findall("{http://www.w3.org/2000/svg}polyline")) == 4, "plot series")

# A bare name is the file in the current folder.
r = run("--runs", "1", "--warmup", "0", "--bytes", "8", "--method", "library", os.path.basename(stand_in),
        cwd=os.path.dirname(stand_in))
check(r.returncode == 0 and r.stdout.startswith("Library: " + os.path.realpath(stand_in)), "bare name: " + r.stdout[:200] + r.stderr)

# Numbered errors, exit 1; usage errors, exit 2.
for args, number in ((["missing-" + os.path.basename(stand_in)], "53"), ([faulting], "51")):
    r = run("--runs", "1", "--bytes", "8", *args)
    check(r.returncode == 1 and f"Errore di run-time '{number}'" in r.stderr, f"error {number}: {r.returncode} {r.stderr}")
for args in (["--runs", "0"], ["--method", "dll"], ["--plot", svg]):
    r = run(*args)
    check(r.returncode == 2 and "Usage: misura-libreria" in r.stderr, f"usage error for {args}: {r.returncode}")

print("misura-libreria: %d failures" % len(failures))
sys.exit(1 if failures else 0)
